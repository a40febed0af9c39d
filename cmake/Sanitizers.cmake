# DW_SANITIZE=address,undefined or thread: applied to every target so that the
# libraries and the tests agree.
if(DW_SANITIZE)
  set(_san "-fsanitize=${DW_SANITIZE}")
  add_compile_options(${_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(${_san})
  add_compile_definitions(DW_SANITIZED=1)
endif()
