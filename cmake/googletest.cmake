# GoogleTest built from the sources Debian ships, so the same version serves the native, sanitized
# and Windows builds (each with its own flags).
set(UPDATE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${UPDATE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# update_add_test(name SOURCES ... LIBS ...): one unit-test executable, its cases registered
# one by one with CTest (discovered when the tests run, which also works under Wine).
function(update_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
  # Where the tests find the project's fixtures and the archives made by other tools.
  target_compile_definitions(${name} PRIVATE UPDATE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             UPDATE_TOOL_ARCHIVES="${CMAKE_BINARY_DIR}/tool-archives")
endfunction()

# GoogleTest is not ours to keep warning-free (GCC 12 at -O3 warns inside gtest-all.cc).
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()
