# Test programs, their support libraries and the test-only tools of a test
# build: compiled with -Og (a test run builds them from scratch, and they
# spend their time in Wine, not in their own code; -Og costs no more than
# -O0 here and keeps the warnings that need data flow analysis) and with one
# precompiled header of the system and GoogleTest headers, made once per
# build tree by korvel_test_support and reused by every other test target.
# GCC takes a precompiled header only under the options and definitions it
# was made with, so every test target gets the same set: the Windows
# defaults (korvel_windows_defaults) and these, GoogleTest's included
# whether or not the target links GoogleTest. A product build (no tests)
# leaves every target as it is.
set(KORVEL_TEST_OPTIMISATION -Og)

function(korvel_test_options target)
  if(NOT KORVEL_BUILD_TESTS)
    return()
  endif()
  target_compile_options(${target} PRIVATE ${KORVEL_TEST_OPTIMISATION}
                         $<TARGET_PROPERTY:gtest,INTERFACE_COMPILE_OPTIONS>)
  target_include_directories(${target} SYSTEM PRIVATE $<TARGET_PROPERTY:gtest,INTERFACE_INCLUDE_DIRECTORIES>)
endfunction()

function(korvel_test_code target)
  if(NOT KORVEL_BUILD_TESTS)
    return()
  endif()
  korvel_test_options(${target})
  target_precompile_headers(${target} REUSE_FROM korvel_test_support)
endfunction()
