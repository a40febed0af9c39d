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

# Qt headers as system headers, so our strict warnings stay about our code.
function(dw_qt_system target)
  foreach(mod Core Gui Widgets Test)
    if(TARGET Qt6::${mod})
      get_target_property(_inc Qt6::${mod} INTERFACE_INCLUDE_DIRECTORIES)
      if(_inc)
        target_include_directories(${target} SYSTEM PRIVATE ${_inc})
      endif()
    endif()
  endforeach()
endfunction()

# A GoogleTest executable with its tests discovered.
# Use: dw_add_gtest(NAME name SOURCES ... LIBS ... LABELS core [tsan] [ENV VAR=value] [GUI])
# GUI tests run under the window kit's main (one QApplication for the run,
# gui/kit/testing) instead of GoogleTest's own.
function(dw_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} dw_ui_testing GTest::gtest GTest::gmock dw_warnings)
    dw_qt_system(${T_NAME})
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock dw_warnings)
  endif()
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
