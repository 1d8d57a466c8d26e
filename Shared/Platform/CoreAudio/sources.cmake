target_sources(vtplatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AudioHardware.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AudioServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PacedIO.cpp)
