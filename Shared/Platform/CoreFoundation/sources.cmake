find_package(PkgConfig REQUIRED)
pkg_check_modules(VT_PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
target_sources(vtplatform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CFBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFString.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFNumber.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFCollections.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFURL.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFPropertyList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFBundle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFRunLoop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFUserNotification.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MachTime.cpp)
target_link_libraries(vtplatform PRIVATE PkgConfig::VT_PLIST)
