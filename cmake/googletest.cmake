# Both builds compile GoogleTest from Debian's source package, so they test with
# the same version.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# One test executable per source folder: a Wine start costs seconds, a test
# inside a running executable does not.
function(qilark_add_tests name)
  cmake_parse_arguments(ARG "" "TEST_FILTER" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT ARG_TEST_FILTER)
    set(ARG_TEST_FILTER "*")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
  set(environment "")
  if(QILARK_SANITIZE MATCHES "thread")
    set(environment "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp halt_on_error=1")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_FILTER "${ARG_TEST_FILTER}"
                       PROPERTIES ENVIRONMENT "${environment}")
endfunction()
