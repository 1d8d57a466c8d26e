target_sources(vtplatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/OutputUnit.cpp)
