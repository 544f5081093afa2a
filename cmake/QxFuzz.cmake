# The fuzzers: built with clang as an external build of this source tree, and each run for a short
# time by the tests (QX_FUZZ_SECONDS, default 60) from its seed corpus in fuzz/corpus/<name>.
include(ExternalProject)
find_program(QX_CLANGXX clang++ REQUIRED)
find_program(QX_CLANG clang REQUIRED)
set(QX_FUZZ_SECONDS 60 CACHE STRING "How long each fuzzer runs in the tests")

ExternalProject_Add(fuzz
  SOURCE_DIR ${QX_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_GENERATOR ${CMAKE_GENERATOR}
  CMAKE_ARGS
    -DCMAKE_CXX_COMPILER=${QX_CLANGXX}
    -DCMAKE_C_COMPILER=${QX_CLANG}
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DQX_FUZZ=ON
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND ""
  USES_TERMINAL_BUILD TRUE)

file(GLOB QX_FUZZ_SOURCES CONFIGURE_DEPENDS ${QX_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(source IN LISTS QX_FUZZ_SOURCES)
  get_filename_component(name ${source} NAME_WE)
  add_test(NAME fuzz.${name}
    COMMAND ${QX_SOURCE_DIR}/scripts/fuzz-run ${CMAKE_BINARY_DIR}/fuzz/fuzz/${name}
      ${QX_SOURCE_DIR}/fuzz/corpus/${name} ${CMAKE_BINARY_DIR}/fuzz-work/${name} ${QX_FUZZ_SECONDS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endforeach()
