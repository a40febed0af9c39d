# dw_warnings: the warning flags every target of ours links.
add_library(dw_warnings INTERFACE)
target_compile_options(dw_warnings INTERFACE
  -Wall            # the usual suspects
  -Wextra          # unused parameters, sign comparisons, missing initialisers
  -Wshadow         # a local that hides a member or outer name
  -Wnon-virtual-dtor
  -Wcast-align
  -Woverloaded-virtual
  -Wnull-dereference
  -Wimplicit-fallthrough
  -Wformat=2
)
option(DW_WERROR "Treat warnings as errors" OFF)
if(DW_WERROR)
  target_compile_options(dw_warnings INTERFACE -Werror)
endif()

# dw_tests_common: what every GoogleTest executable links.
# Use: dw_add_gtest(NAME name SOURCES ... LIBS ... LABELS core [tsan])
function(dw_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock dw_warnings)
  target_compile_definitions(${T_NAME} PRIVATE DW_TEST_DATA_DIR="${DW_TEST_DATA_DIR}")
  # Labels and environment are set by a script of our own after discovery:
  # gtest_discover_tests writes its PROPERTIES unquoted, so a list (two labels,
  # two variables) would lose all but its first entry.
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${T_NAME}_TESTS)
  set(_props "")
  if(T_LABELS)
    string(APPEND _props " LABELS \"${T_LABELS}\"")
  endif()
  if(T_ENV)
    string(APPEND _props " ENVIRONMENT \"${T_ENV}\"")
  endif()
  if(_props)
    set(_script "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake")
    file(WRITE "${_script}"
      "foreach(t IN LISTS ${T_NAME}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES${_props})\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_script}")
  endif()
endfunction()
