# vt_add_vst_bundle(<target> NAME <bundle name> DIR <folder holding Name.vst>
#                   SOURCES ... [INFO_PLIST <template>])
# Builds a loadable module laid out as a macOS plug-in bundle:
#   <DIR>/<NAME>.vst/Contents/Info.plist
#   <DIR>/<NAME>.vst/Contents/MacOS/<NAME>
function(vt_add_vst_bundle target)
  cmake_parse_arguments(ARG "" "NAME;DIR;INFO_PLIST;IDENTIFIER" "SOURCES" ${ARGN})
  set(bundle ${ARG_DIR}/${ARG_NAME}.vst)
  add_library(${target} MODULE ${ARG_SOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX "" OUTPUT_NAME ${ARG_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${bundle}/Contents/MacOS
    CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden)
  if(NOT ARG_INFO_PLIST)
    set(ARG_INFO_PLIST ${KINDRA_ROOT}/cmake/VSTInfo.plist.in)
  endif()
  if(NOT ARG_IDENTIFIER)
    set(ARG_IDENTIFIER com.veltrane.${ARG_NAME})
  endif()
  set(VT_BUNDLE_NAME ${ARG_NAME})
  set(VT_BUNDLE_IDENTIFIER ${ARG_IDENTIFIER})
  configure_file(${ARG_INFO_PLIST} ${bundle}/Contents/Info.plist @ONLY)
endfunction()
