# ASan + UBSan for the whole tree when KINDRA_SANITIZE is on.
if(KINDRA_SANITIZE)
  set(_vt_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${_vt_san})
  add_link_options(-fsanitize=address,undefined)
endif()
