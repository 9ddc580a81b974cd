# GoogleTest for a cross build: no packaged library exists for the target, so it is compiled here
# from Debian's source package (googletest, /usr/src/googletest) with the target's compiler.
# Defines the same GTest::gtest and GTest::gtest_main targets as find_package(GTest).
set(VELK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for cross builds")
if(NOT EXISTS ${VELK_GTEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${VELK_GTEST_SOURCE}: install the googletest package")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELK_GTEST_SOURCE}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own warnings are not ours to fix; ours stay errors under CMAKE_COMPILE_WARNING_AS_ERROR.
set_target_properties(gtest gtest_main PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
if(NOT TARGET GTest::gtest)  # older releases do not define the namespaced names themselves
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()
