# vrax_add_test_suite(NAME <name> SOURCES <files...> LIBS <targets...> [ENV <VAR=value...>]
#                     [TIMEOUT <s>] [SHARDS <n>] [LONG])
# Makes one GoogleTest executable and registers it with ctest under the same
# name. With SHARDS, ctest runs it as n entries <name>_1 ... <name>_n, each
# with a share of its tests (GoogleTest's sharding), so that a suite that
# mostly waits on sensors' time-outs runs beside itself. LONG suites are
# started first, so that a parallel run does not end waiting on one of them.
find_package(GTest QUIET)

# vrax_test_build(<target>): test code is compiled for a quick build rather
# than a quick run (it mostly waits, and the code it checks keeps its own
# optimisation), with line tables for the traces.
function(vrax_test_build target)
  target_compile_options(${target} PRIVATE -O0 -g1)
endfunction()

function(vrax_add_test_suite)
  cmake_parse_arguments(T "LONG" "NAME;TIMEOUT;SHARDS" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT GTest_FOUND)
    message(WARNING "GoogleTest not found; ${T_NAME} is not built")
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  vrax_test_build(${T_NAME})
  # The std-only layers' tests stay without Qt.
  set(qt_libs ${T_LIBS})
  list(REMOVE_ITEM qt_libs protocol store sim)
  if(qt_libs)
    vrax_pch(${T_NAME} QT TEST)
  else()
    vrax_pch(${T_NAME} TEST)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(cost 1)
  if(T_LONG)
    set(cost 100)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1;${T_ENV}")
  if(NOT T_SHARDS OR T_SHARDS LESS 2)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} COST ${cost} ENVIRONMENT "${env}")
    return()
  endif()
  math(EXPR last "${T_SHARDS} - 1")
  foreach(index RANGE ${last})
    math(EXPR number "${index} + 1")
    add_test(NAME ${T_NAME}_${number} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME}_${number} PROPERTIES TIMEOUT ${T_TIMEOUT} COST ${cost}
      ENVIRONMENT "${env};GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${index}")
  endforeach()
endfunction()
