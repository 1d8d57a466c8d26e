find_package(PkgConfig REQUIRED)
pkg_check_modules(VT_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswresample libavutil)
target_sources(vtplatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/ExtAudioFile.cpp ${CMAKE_CURRENT_LIST_DIR}/FFmpegDecoder.cpp)
target_link_libraries(vtplatform PRIVATE PkgConfig::VT_FFMPEG)
