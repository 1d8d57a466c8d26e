target_sources(vtplatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/FileSystemRoot.cpp)
