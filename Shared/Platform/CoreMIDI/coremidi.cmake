target_sources(vtplatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MidiServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MidiPacketList.cpp)
