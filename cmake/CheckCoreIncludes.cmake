# Fails when a file of the core wing (DW_CORE) includes Qt or a header of the
# windows wing: the core must build and test without a display.
#   cmake -DDW_CORE=<root>/core -P cmake/CheckCoreIncludes.cmake
file(GLOB_RECURSE _files LIST_DIRECTORIES false
  "${DW_CORE}/*.h" "${DW_CORE}/*.hpp" "${DW_CORE}/*.cpp" "${DW_CORE}/*.cc")
set(_bad "")
foreach(_f ${_files})
  file(STRINGS "${_f}" _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(_l ${_lines})
    if(_l MATCHES "[<\"](Q[A-Za-z]+|Qt[A-Za-z]*/[^>\"]*|gui/[^>\"]*)[>\"]")
      file(RELATIVE_PATH _rel "${DW_CORE}/.." "${_f}")
      string(STRIP "${_l}" _l)
      string(APPEND _bad "  ${_rel}: ${_l}\n")
    endif()
  endforeach()
endforeach()
list(LENGTH _files _n)
if(_n EQUAL 0)
  message(FATAL_ERROR "No source file found under ${DW_CORE}")
endif()
if(_bad)
  message(FATAL_ERROR "The core wing includes Qt or the windows wing:\n${_bad}")
endif()
message(STATUS "${_n} files of the core wing include neither Qt nor the windows wing")
