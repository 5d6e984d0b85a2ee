# Helpers that keep the per-folder CMake files one line long: every folder's sources are globbed, so
# adding a file never means editing a shared list.

# orbel_glob_sources(<out-var> <dir> [EXCLUDE <regex>]): the .cpp files below <dir>.
function(orbel_glob_sources out dir)
  cmake_parse_arguments(ARG "" "EXCLUDE" "" ${ARGN})
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(ARG_EXCLUDE)
    list(FILTER found EXCLUDE REGEX "${ARG_EXCLUDE}")
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# orbel_time_limit(<out-var> <seconds>): a test's time limit, `seconds` in a plain build. Sanitizer builds
# run several times slower (the whole game played in-process takes about a minute under ThreadSanitizer),
# so every test gets five times as long there.
function(orbel_time_limit out seconds)
  if(ORBEL_SANITIZE OR ORBEL_SANITIZE_THREAD OR ORBEL_SANITIZE_UNDEFINED)
    math(EXPR seconds "${seconds} * 5")
  endif()
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()
orbel_time_limit(ORBEL_TEST_TIMEOUT 60)

# orbel_add_test_suite(<name> <dir> [LIBS ...]): one GoogleTest executable from the .cpp files of <dir>,
# registered with CTest test by test, run headless on the virtual clock, labelled with the suite's name
# (ctest -L core_tests runs one suite; ctest -L _tests$ runs every suite).
function(orbel_add_test_suite name dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT tests)
    return()
  endif()
  add_executable(${name} ${tests})
  target_link_libraries(${name} PRIVATE orbel_test_support ${ARG_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES ENVIRONMENT "ORBEL_HOST=headless" TIMEOUT ${ORBEL_TEST_TIMEOUT} LABELS ${name}
    DISCOVERY_TIMEOUT 30)
endfunction()
