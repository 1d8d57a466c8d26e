# Kindra.app, the application, laid out as a macOS bundle:
#   Kindra.app/Contents/Info.plist
#   Kindra.app/Contents/MacOS/Kindra           (this program)
#   Kindra.app/Contents/PlugIns/Kindra.vst     (the plug-in, Plugin/)
#   Kindra.app/Contents/Resources/
# vtkindraapp holds every window class and the interface, everything but
# main, so the tests drive the same windows the program shows.
set(_vt_app ${CMAKE_CURRENT_LIST_DIR})
add_library(vtkindraapp STATIC
  ${_vt_app}/PluginWindow.cpp ${_vt_app}/PluginWindowKeys.cpp ${_vt_app}/PluginWindowBounce.cpp
  ${_vt_app}/VKeys.cpp ${_vt_app}/AutomaticDeviceChoice.cpp
  ${_vt_app}/Menu.cpp ${_vt_app}/AppDelegate.cpp ${_vt_app}/MainInterface.cpp)
vt_target_defaults(vtkindraapp)
target_include_directories(vtkindraapp PUBLIC ${_vt_app})
target_link_libraries(vtkindraapp PUBLIC vtengine vtbounce vtappkit vtpreferences vtplayerrecorder)

add_executable(KindraApp ${_vt_app}/main.cpp)
vt_target_defaults(KindraApp)
target_link_libraries(KindraApp PRIVATE vtkindraapp)
set_target_properties(KindraApp PROPERTIES OUTPUT_NAME Kindra
                                           RUNTIME_OUTPUT_DIRECTORY ${KINDRA_APP_DIR}/Contents/MacOS)
# The application is nothing without its plug-in (Plugin/, added later).
add_dependencies(KindraApp Kindra)

set(VT_APP_NAME Kindra)
configure_file(${_vt_app}/Info.plist.in ${KINDRA_APP_DIR}/Contents/Info.plist @ONLY)
file(MAKE_DIRECTORY ${KINDRA_APP_DIR}/Contents/Resources)

# kindra-defaults: one string of a preferences domain, read or written the
# way the application stores it; the install and run steps of ./dev use it.
add_executable(kindra-defaults ${_vt_app}/install/Defaults.cpp)
vt_target_defaults(kindra-defaults)
target_link_libraries(kindra-defaults PRIVATE vtplatform)
set_target_properties(kindra-defaults PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
