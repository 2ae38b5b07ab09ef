# Common warning set for every target of the project.
function(tagsink_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()

# tagsink_add_gtest(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [ENV VAR=VALUE ...] [LABELS l1 l2])
# Builds one GoogleTest executable and registers its cases with CTest.
function(tagsink_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  tagsink_warnings(${name})
  include(GoogleTest)
  # Properties passed through gtest_discover_tests lose empty values (which swallow the next keyword) and
  # split list values into property names (a second ENV entry became a property of its own), so the
  # environment and the labels are applied by a script of our own that ctest runs after the discovered
  # tests are defined.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  if("threaded" IN_LIST T_LABELS)
    add_dependencies(tagsink_threaded_tests ${name})
  endif()
  if(T_LABELS OR T_ENV)
    set(properties "")
    if(T_LABELS)
      string(APPEND properties " LABELS \"${T_LABELS}\"")
    endif()
    if(T_ENV)
      string(APPEND properties " ENVIRONMENT \"${T_ENV}\"")
    endif()
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(WRITE ${script}
      "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES${properties})\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
  endif()
endfunction()

# Debug information as line tables only (-g1, after the build type's -g): backtraces, sanitizer reports
# and profiles keep their files and lines, without variables and types; a whole build takes about a
# fifth less time (a third less for a template-heavy file). The test script builds this way; configure a
# folder of your own for a debugger.
option(TAGSINK_LINE_TABLES_ONLY "Debug information as line tables only (-g1)" OFF)
if(TAGSINK_LINE_TABLES_ONLY)
  add_compile_options(-g1)
endif()
