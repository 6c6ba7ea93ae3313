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

find_package(Python3 REQUIRED COMPONENTS Interpreter)
# The include views below are made from the layering table: a change to it
# configures again.
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/scripts/check_layering.py)

# ombrix_include_view(<view name> <dirs...>): sets OMBRIX_INCLUDE_VIEW in the
# caller to a folder that holds, under their source-root paths, links to
# only the folders that files in <dirs> may include (the table in
# scripts/check_layering.py). A library exports its view instead of the
# source root, so an include that points up the layers does not compile.
# A library's users see the views of everything it links; those sit lower
# still, so the union stays within the users' own rule.
function(ombrix_include_view view)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/check_layering.py --allowed ${ARGN}
    OUTPUT_VARIABLE allowed RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "No layering rule for ${ARGN}: ${err}")
  endif()
  string(STRIP "${allowed}" allowed)
  string(REPLACE "\n" ";" allowed "${allowed}")
  set(root ${CMAKE_BINARY_DIR}/include-views/${view})
  if(allowed STREQUAL ".")
    set(OMBRIX_INCLUDE_VIEW ${CMAKE_SOURCE_DIR} PARENT_SCOPE)
    return()
  endif()
  file(REMOVE_RECURSE ${root})
  foreach(folder ${allowed})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  set(OMBRIX_INCLUDE_VIEW ${root} PARENT_SCOPE)
endfunction()

# ombrix_library(NAME DIRS <dirs...> DEPS <targets...> [PRIVATE_DEPS <targets...>])
function(ombrix_library name)
  cmake_parse_arguments(A "" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(srcs)
  foreach(d ${A_DIRS})
    file(GLOB s CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${d}/*.cc)
    list(APPEND srcs ${s})
  endforeach()
  add_library(${name} STATIC ${srcs})
  ombrix_include_view(${name} ${A_DIRS})
  target_include_directories(${name} PUBLIC ${OMBRIX_INCLUDE_VIEW})
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
  ombrix_include_view(${target} ${A_DIRS})
  target_include_directories(${target} PRIVATE ${OMBRIX_INCLUDE_VIEW})
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
  # Benchmarks sit on top of everything, as tests do.
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
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
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
endfunction()
