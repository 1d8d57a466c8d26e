# vtplayerrecorder: the player and recorder window with its window resource
# (built in code), the rules it follows and the saving of a take. The main
# window links it.
set(_vt_mac ${CMAKE_CURRENT_LIST_DIR})
add_library(vtplayerrecorder STATIC
  ${_vt_mac}/PlayerRecorderRules.cpp ${_vt_mac}/RecordingFile.cpp
  ${_vt_mac}/PlayerRecorder.cpp ${_vt_mac}/PlayerRecorderWindow.cpp)
vt_target_defaults(vtplayerrecorder)
target_include_directories(vtplayerrecorder PUBLIC ${_vt_mac})
# It tells the tempo window when the sample sets the tempo.
target_link_libraries(vtplayerrecorder PUBLIC vtengine vtappkit vtpreferences)
