# vtappkit: the AppKit, Foundation and AVFoundation stand-in on Qt 6 Widgets.
# Only the window classes link it; Qt stays inside its own sources.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
find_package(PkgConfig REQUIRED)
pkg_check_modules(VT_XCB REQUIRED IMPORTED_TARGET xcb)

add_library(vtappkit STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Foundation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Application.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Panels.cpp)
vt_target_defaults(vtappkit)
target_link_libraries(vtappkit PUBLIC vtplatform PRIVATE Qt6::Widgets PkgConfig::VT_XCB)

# vtappkit_testing: the scripted user that answers modals and drives
# controls in tests. System code never links it.
if(KINDRA_BUILD_TESTS)
  find_package(GTest REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  file(GLOB _vt_appkit_testing CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../testing/appkit/*.cpp)
  add_library(vtappkit_testing STATIC ${_vt_appkit_testing})
  vt_target_defaults(vtappkit_testing)
  target_include_directories(vtappkit_testing PUBLIC ${CMAKE_CURRENT_LIST_DIR}/../testing/appkit)
  target_link_libraries(vtappkit_testing PUBLIC vtappkit PRIVATE Qt6::Widgets Qt6::Test GTest::gtest)
endif()
