target_sources(vtplatform PRIVATE ${CMAKE_CURRENT_LIST_DIR}/NullAudioProvider.cpp)
# The provider registers itself; this keeps its object in every program.
target_link_options(vtplatform INTERFACE "LINKER:--undefined=vt_null_audio_provider_linked")
