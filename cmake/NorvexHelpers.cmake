# norvex_add_gtest(<name> SOURCES ... [LIBS ...] [WINDOWS_ONLY] [NATIVE_ONLY] [GUI]
#                  [TIMEOUT seconds] [LABELS ...])
# One test program is one ctest test. Under the windows preset ctest runs it through the
# Wine runner (the cross-compiling emulator). GUI tests are labelled "gui" and take the
# resource "desktop": they find their windows by title and need the foreground, so no two run
# at once (norvex_test_locks adds other shared resources).
function(norvex_add_gtest name)
  cmake_parse_arguments(T "WINDOWS_ONLY;NATIVE_ONLY;GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(T_NATIVE_ONLY AND WIN32)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} norvex_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  # A test program's own code is compiled without optimisation: the assertion macros make it
  # slow to optimise, and the time a test takes goes to the libraries it calls, which keep theirs.
  target_compile_options(${name} PRIVATE -O0)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(labels ${T_LABELS})
  if(T_GUI)
    list(APPEND labels gui)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  if(T_GUI)
    norvex_test_locks(${name} desktop)
  endif()
endfunction()

# norvex_test_locks(<test> <resource>...)
# Resources a test changes for the whole machine or needs to itself ("desktop" for windows
# found by title, "registry" for keys and values other tests read), so that ctest -j never runs
# two tests that hold the same one together. A test that does not exist in this build is passed.
function(norvex_test_locks name)
  if(TEST ${name})
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK ${ARGN})
  endif()
endfunction()

# Windows-only libraries and programs are skipped in the native build.
macro(norvex_windows_only)
  if(NOT WIN32)
    return()
  endif()
endmacro()

# norvex_link_component_classes(<target>)
# Component classes register themselves from static objects that nothing else references;
# linking their libraries whole keeps those objects, so form data can name every class.
function(norvex_link_component_classes target)
  foreach(lib norvex_components norvex_resources)
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
  endforeach()
endfunction()
