# Warnings every Kindra target is built with.
add_library(vt_warnings INTERFACE)
target_compile_options(vt_warnings INTERFACE
  $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra>
  $<$<BOOL:${KINDRA_WERROR}>:-Werror>)

# vt_target_defaults(<target>): the warning set and C++20 for one of our targets.
function(vt_target_defaults target)
  target_link_libraries(${target} PRIVATE vt_warnings)
  target_compile_features(${target} PUBLIC cxx_std_20)
endfunction()
