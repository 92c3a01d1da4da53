# Conventions shared by every folder:
#  - a library is every *.cpp/*.c of its folders except *_test.cpp, *_fuzz.cpp and *_bench.cpp;
#  - its unit tests are the *_test.cpp beside the sources, one GoogleTest program per library.
include(GoogleTest)

function(zl_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    list(FILTER found EXCLUDE REGEX "_(test|fuzz|bench)\\.cpp$")
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(zl_test_sources out)
  set(result)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    list(APPEND result ${found})
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# zl_library(name DIRS d... [PUBLIC_INCLUDES i...] [DEPS l...])
function(zl_library name)
  cmake_parse_arguments(A "" "" "DIRS;PUBLIC_INCLUDES;DEPS" ${ARGN})
  zl_sources(srcs ${A_DIRS})
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${A_PUBLIC_INCLUDES})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
  else()  # headers only
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${A_PUBLIC_INCLUDES})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# zl_tests(name DIRS d... DEPS l... [LABELS x...] [ENV k=v...] [TIMEOUT s] [FILTER gtest-filter]
#          [PEER_TESTS gtest-patterns])
# FILTER keeps cases out of ctest (measurements that are run by hand, not tests). PEER_TESTS
# (patterns joined by ':') names the cases that run a real peer such as tshark: they are
# labelled peer instead of LABELS, from the same program (one build, two discoveries).
function(zl_tests name)
  cmake_parse_arguments(A "" "TIMEOUT;FILTER;PEER_TESTS" "DIRS;DEPS;LABELS;ENV;EXTRA_SOURCES" ${ARGN})
  zl_test_sources(tests ${A_DIRS})
  if(NOT tests)
    return()
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_executable(${name} ${tests} ${A_EXTRA_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Test bodies need no optimisation (the code under test keeps its own flags); this halves
  # the build of the test programs.
  target_compile_options(${name} PRIVATE -O0 -g1)
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <string> <vector>)
  # An empty value would shift the property list (a test labelled "TIMEOUT").
  set(properties TIMEOUT ${A_TIMEOUT})
  list(LENGTH A_LABELS label_count)
  if(label_count EQUAL 1)
    list(APPEND properties LABELS "${A_LABELS}")
  endif()
  if(A_ENV)
    list(APPEND properties ENVIRONMENT "${A_ENV}")
  endif()
  set(filter)
  if(A_FILTER)
    set(filter TEST_FILTER "${A_FILTER}")
  endif()
  if(A_PEER_TESTS)
    if(A_FILTER)
      message(FATAL_ERROR "zl_tests(${name}): FILTER and PEER_TESTS do not combine")
    endif()
    set(peer_properties TIMEOUT ${A_TIMEOUT} LABELS peer)
    if(A_ENV)
      list(APPEND peer_properties ENVIRONMENT "${A_ENV}")
    endif()
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_FILTER "${A_PEER_TESTS}"
      PROPERTIES ${peer_properties})
    set(filter TEST_FILTER "-${A_PEER_TESTS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    ${filter}
    PROPERTIES ${properties})
  if(label_count GREATER 1)
    # Several labels cannot pass through the discovery's property list (the second would
    # become a property name): a script run after the discovered tests labels them all.
    set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
    file(WRITE ${label_script} "set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${A_LABELS}\")\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
  endif()
endfunction()

# zl_fuzzer(name SOURCE f DEPS l... [MAX_LEN n]): a libFuzzer harness, built where ZL_FUZZ is
# on (presets asan, fuzz). Its seeds are fuzz/corpus/<name>; a test replays them (a harness
# without seeds fails it). MAX_LEN lets inputs grow past libFuzzer's 4 KB (file parsers);
# scripts/fuzz reads it from fuzz/<name>.options in the build.
function(zl_fuzzer name)
  cmake_parse_arguments(A "" "SOURCE;MAX_LEN" "DEPS" ${ARGN})
  if(NOT ZL_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCE})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  set_property(GLOBAL APPEND PROPERTY ZL_FUZZERS ${name})
  set(options "")
  if(A_MAX_LEN)
    set(options "-max_len=${A_MAX_LEN}")
  endif()
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.options "${options}\n")
  add_test(NAME ${name}_seeds
           COMMAND ${name} -runs=0 ${options} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  set_tests_properties(${name}_seeds PROPERTIES TIMEOUT 120)
endfunction()

# zl_bench(name SOURCE f DEPS l...): a Google Benchmark program under bench/.
function(zl_bench name)
  cmake_parse_arguments(A "" "SOURCE" "DEPS" ${ARGN})
  if(NOT ZL_BENCH)
    return()
  endif()
  add_executable(${name} ${A_SOURCE})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
  set_property(GLOBAL APPEND PROPERTY ZL_BENCHES ${name})
endfunction()
