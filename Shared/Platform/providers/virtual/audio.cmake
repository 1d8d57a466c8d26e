target_sources(vtplatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/VirtualAudioProvider.cpp)
