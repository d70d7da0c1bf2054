# Native builds use Debian's GoogleTest; cross builds compile it from Debian's
# source package with the cross toolchain.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Test sources include each other by their path under tests/.
add_library(hammerlyn2_tests_root INTERFACE)
hammerlyn2_expose(hammerlyn2_tests_root tests)

# One test program: native builds list each case in CTest, cross builds run the
# program as one test under the emulator.
function(hammerlyn2_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  hammerlyn2_target(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} hammerlyn2_tests_root GTest::gtest_main GTest::gtest)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 900)
  endif()
endfunction()
