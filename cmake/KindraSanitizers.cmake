# ASan + UBSan for the whole tree when KINDRA_SANITIZE is on; ThreadSanitizer
# when KINDRA_TSAN is on (the two cannot be combined).
if(KINDRA_SANITIZE AND KINDRA_TSAN)
  message(FATAL_ERROR "KINDRA_SANITIZE and KINDRA_TSAN exclude each other")
endif()
if(KINDRA_SANITIZE)
  set(_vt_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_vt_san})
  add_link_options(-fsanitize=address,undefined)
endif()
if(KINDRA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
