# The native build uses the installed GoogleTest; the Windows build compiles
# Debian's GoogleTest sources with the cross compiler.
if(WIN32)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# corvane_add_test(name SOURCES... LIBS...): one test program, its cases found
# at test time (so the build never runs a Windows program) and named after the
# program, e.g. platform_files_test.PlatformFiles.CreateNewRefusesAnExistingFile.
# Under Wine each case is its own process; with a warm wineserver that costs
# about a tenth of a second per case.
function(corvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main corvane::warnings)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "${name}."
                       PROPERTIES ENVIRONMENT "CORVANE_TEST_TMP=${CMAKE_CURRENT_BINARY_DIR}/tmp")
endfunction()
