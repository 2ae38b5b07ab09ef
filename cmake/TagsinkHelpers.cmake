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
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "${T_ENV}" LABELS "${T_LABELS}")
endfunction()
