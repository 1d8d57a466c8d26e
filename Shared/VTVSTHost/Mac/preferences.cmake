# vtpreferences: the preferences window and the tempo window, with their
# window resources (built in code) and the rules they share. The main
# window links it.
set(_vt_mac ${CMAKE_CURRENT_LIST_DIR})
add_library(vtpreferences STATIC
  ${_vt_mac}/WindowRules.cpp
  ${_vt_mac}/Preferences.cpp ${_vt_mac}/PreferencesWindow.cpp
  ${_vt_mac}/Tempo.cpp ${_vt_mac}/TempoWindow.cpp)
vt_target_defaults(vtpreferences)
target_include_directories(vtpreferences PUBLIC ${_vt_mac})
target_link_libraries(vtpreferences PUBLIC vtengine vtappkit)

# The readout "no server", linked right after the platform layer wherever
# that goes, so it is taken only while the platform has no readout of its
# own.
add_library(vtaudioserverfallback STATIC ${_vt_mac}/AudioServerFallback.cpp)
vt_target_defaults(vtaudioserverfallback)
target_include_directories(vtaudioserverfallback PRIVATE ${KINDRA_ROOT}/Shared/Platform/include)
target_link_libraries(vtplatform INTERFACE vtaudioserverfallback)

# The MIDI input table's state images (drawn by
# Resources/draw_state_images.py), for the bundle and for the tests' own
# bundle folder.
set(KINDRA_PREFERENCES_IMAGES ${_vt_mac}/Resources/enabledsync.png ${_vt_mac}/Resources/enabled.png
    ${_vt_mac}/Resources/disabled.png CACHE INTERNAL "")
foreach(image ${KINDRA_PREFERENCES_IMAGES})
  get_filename_component(name ${image} NAME)
  configure_file(${image} ${KINDRA_APP_DIR}/Contents/Resources/${name} COPYONLY)
endforeach()
