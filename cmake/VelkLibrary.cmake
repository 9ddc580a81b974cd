# velk_library(NAME DIR DEPS...): one static library per subsystem, built from every .cpp of
# DIR except the platform files of other platforms (*_posix.cpp / *_win32.cpp).
function(velk_library name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  foreach(plat posix win32)
    if(NOT plat STREQUAL VELK_PLATFORM)
      list(FILTER srcs EXCLUDE REGEX "_${plat}\\.cpp$")
    endif()
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC velk_warnings ${ARGN})
endfunction()
