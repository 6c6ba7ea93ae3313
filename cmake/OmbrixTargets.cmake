# Helpers that keep every subsystem's CMakeLists.txt a few lines long.
# Sources are globbed per folder so that adding a file never touches CMake.

add_library(ombrix_warnings INTERFACE)
target_compile_options(ombrix_warnings INTERFACE
  -Wall -Wextra -Werror -Wno-missing-field-initializers)
# g++ 12 at -O2/-O3 reports a false -Wrestrict inside std::string's own
# copy for plain concatenations such as "x" + std::string(...) (a known
# false positive of that release, gone in 13), which stops every optimised
# build wherever such a line is inlined. g++ before 13 goes without it.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(ombrix_warnings INTERFACE -Wno-restrict)
endif()

# ombrix_library(NAME DIRS <dirs...> DEPS <targets...>)
function(ombrix_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cc)
    list(APPEND srcs ${s})
  endforeach()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS} ombrix_warnings)
endfunction()

# ombrix_program(TARGET OUTPUT <file name> DIRS <dirs...> DEPS <targets...>)
# The program is written into the dist folder under its installed file name.
function(ombrix_program target)
  cmake_parse_arguments(A "" "OUTPUT" "DIRS;DEPS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cc)
    list(APPEND srcs ${s})
  endforeach()
  add_executable(${target} ${srcs})
  target_link_libraries(${target} PRIVATE ${A_DEPS} ombrix_warnings)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${A_OUTPUT} SUFFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${OMBRIX_DIST_DIR})
endfunction()

# ombrix_test(NAME DIRS <dirs...> DEPS <targets...> LABELS <labels...> [TIMEOUT s] [SERIAL])
# One GoogleTest program per test folder; every test case becomes a ctest entry.
# SERIAL: its cases run while no other test runs.
function(ombrix_test name)
  cmake_parse_arguments(A "SERIAL" "TIMEOUT" "DIRS;DEPS;LABELS" ${ARGN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cc)
    list(APPEND srcs ${s})
  endforeach()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_DEPS} ombrix_test_support GTest::gmock GTest::gtest_main ombrix_warnings)
  set(serial)
  if(A_SERIAL)
    set(serial RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT} ${serial})
endfunction()

# ombrix_bench(name DEPS <targets...>): bench/<name>.cc as a program in
# build*/bench/. Benchmarks print their figures; they are not tests.
function(ombrix_bench name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  add_executable(${name} ${CMAKE_SOURCE_DIR}/bench/${name}.cc)
  target_link_libraries(${name} PRIVATE ${A_DEPS} ombrix_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# ombrix_fuzz(name DEPS <targets...>): tests/fuzz/<name>.cc as a libFuzzer
# target in build*/fuzz/ (clang only; scripts/fuzz.sh builds and runs them).
function(ombrix_fuzz name)
  cmake_parse_arguments(A "" "" "DEPS" ${ARGN})
  add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/${name}.cc)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
