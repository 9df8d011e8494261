# Sources are found by name, so that the layout alone says what goes where:
#   foo.cpp            logic, built on every platform
#   foo_posix.cpp      platform layer for POSIX systems
#   foo_linux.cpp      platform layer that only Linux has
#   foo_win32.cpp      platform layer for Windows
#   foo_test.cpp       unit test of foo (a *_posix_test.cpp only runs on POSIX, and so on)
#   fake_foo.cpp       a fake platform layer for tests: built into the tests, never the program
#   main.cpp           a program's entry point, never part of the library
function(vornset_collect_sources dir out_sources out_tests)
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  set(sources "")
  set(tests "")
  foreach(file IN LISTS all)
    get_filename_component(name ${file} NAME_WE)
    if(name STREQUAL "main")
      continue()
    endif()
    if(name MATCHES "_win32(_test)?$" AND NOT WIN32)
      continue()
    endif()
    if(name MATCHES "_posix(_test)?$" AND WIN32)
      continue()
    endif()
    if(name MATCHES "_linux(_test)?$" AND NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
      continue()
    endif()
    if(name MATCHES "_test$" OR name MATCHES "^fake_")
      list(APPEND tests ${file})
    else()
      list(APPEND sources ${file})
    endif()
  endforeach()
  set(${out_sources} ${sources} PARENT_SCOPE)
  set(${out_tests} ${tests} PARENT_SCOPE)
endfunction()
