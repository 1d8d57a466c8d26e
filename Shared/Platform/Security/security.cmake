# The line protocol is its own small library: the privileged helper links it
# without the rest of the stand-ins.
add_library(vtprivilegedrequest STATIC ${CMAKE_CURRENT_LIST_DIR}/PrivilegedRequest.cpp)
vt_target_defaults(vtprivilegedrequest)
target_include_directories(vtprivilegedrequest PUBLIC ${CMAKE_CURRENT_LIST_DIR})

target_sources(vtplatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Authorization.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrivilegedHelper.cpp)
target_link_libraries(vtplatform PRIVATE vtprivilegedrequest)
