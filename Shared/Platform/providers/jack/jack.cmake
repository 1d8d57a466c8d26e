# vtplatform_jack: real audio and MIDI devices from a running JACK server.
# An object library, so its providers' registrations reach every program
# that links it (the application, the JACK tests and benchmark); the other
# programs keep only the virtual and null devices.
find_package(PkgConfig REQUIRED)
pkg_check_modules(JACK REQUIRED IMPORTED_TARGET jack)
add_library(vtplatform_jack OBJECT
  ${CMAKE_CURRENT_LIST_DIR}/JackServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JackAudioProvider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JackMidiProvider.cpp)
vt_target_defaults(vtplatform_jack)
target_link_libraries(vtplatform_jack PUBLIC vtplatform PkgConfig::JACK)
