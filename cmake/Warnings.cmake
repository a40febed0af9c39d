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
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" ENVIRONMENT "${T_ENV}")
endfunction()
