# The driving build: the win32 deliverable and the win64 twin as external builds of this same source
# tree, and the tests that check them: static checks of the 32-bit DLL, the Wine tests of both, and
# the demo session.
include(ExternalProject)

foreach(twin IN ITEMS win32 win64)
  if(twin STREQUAL "win32")
    set(toolchain ${QX_SOURCE_DIR}/cmake/mingw-i686.cmake)
  else()
    set(toolchain ${QX_SOURCE_DIR}/cmake/mingw-x86_64.cmake)
  endif()
  ExternalProject_Add(${twin}
    SOURCE_DIR ${QX_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${twin}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${toolchain}
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    BUILD_ALWAYS TRUE
    INSTALL_COMMAND ""
    USES_TERMINAL_BUILD TRUE)
endforeach()

set(QX_WIN32_BIN ${CMAKE_BINARY_DIR}/win32/bin)
set(QX_WIN64_BIN ${CMAKE_BINARY_DIR}/win64/bin)

find_program(QX_PYTHON python3 REQUIRED)
add_test(NAME static.win32
  COMMAND ${QX_PYTHON} ${QX_SOURCE_DIR}/tests/static/check_dll.py
    --dll ${QX_WIN32_BIN}/QXINST.dll --machine i386
    --def ${QX_SOURCE_DIR}/src/frame/QXINST.def
    --header ${QX_SOURCE_DIR}/include/qxinst.h
    --objdump i686-w64-mingw32-objdump
    --exe ${QX_WIN32_BIN}/qxcall.exe)
set_tests_properties(static.win32 PROPERTIES LABELS static)
# The platform floor (Windows NT 4.0 SP6a on a Pentium Pro): every import of the 32-bit DLL and
# qxcall.exe exists there, and every instruction of their code runs there.
add_test(NAME static.floor
  COMMAND ${QX_PYTHON} ${QX_SOURCE_DIR}/tests/static/import_floor.py --objdump i686-w64-mingw32-objdump
    ${QX_WIN32_BIN}/QXINST.dll ${QX_WIN32_BIN}/qxcall.exe)
set_tests_properties(static.floor PROPERTIES LABELS static)

# The Wine suite on the deliverable first, then on the twin.
qx_add_wine_tests(PATH_MODE ${QX_WIN32_BIN} win32)
qx_add_wine_tests(PATH_MODE ${QX_WIN64_BIN} win64)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/demo)
add_test(NAME demo.session
  COMMAND ${QX_SOURCE_DIR}/scripts/demo-session ${CMAKE_BINARY_DIR}/demo
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/demo)
set_tests_properties(demo.session PROPERTIES
  FIXTURES_REQUIRED wine RESOURCE_LOCK wine LABELS demo
  ENVIRONMENT "QX_WINE_DIR=${CMAKE_BINARY_DIR}/wine;QX_BUILD_DIR=${CMAKE_BINARY_DIR}")

# Further static tests of the built DLLs: every tests/static/test_*.py, given the output folders.
file(GLOB QX_STATIC_TESTS CONFIGURE_DEPENDS ${QX_SOURCE_DIR}/tests/static/test_*.py)
foreach(script IN LISTS QX_STATIC_TESTS)
  get_filename_component(name ${script} NAME_WE)
  string(REGEX REPLACE "^test_" "" name ${name})
  add_test(NAME static.${name}
    COMMAND ${QX_PYTHON} ${script} --win32-bin ${QX_WIN32_BIN} --win64-bin ${QX_WIN64_BIN}
      --source ${QX_SOURCE_DIR} --output ${CMAKE_BINARY_DIR}/artifacts)
  set_tests_properties(static.${name} PROPERTIES LABELS static)
endforeach()

add_test(NAME static.selftest COMMAND ${QX_SOURCE_DIR}/tests/static/selftest.sh)
set_tests_properties(static.selftest PROPERTIES LABELS static)

include(${QX_SOURCE_DIR}/cmake/QxHosts.cmake)

# The distributable package (cmake --build build --target package): the 32-bit QXINST.dll and
# qxcall.exe stripped of their symbols, the import library, the .def file, the host header, the
# NSIS header and the Inno Setup include with their sample installers, the guide for installer
# authors and LICENSE, as build/qxinst-<version>-win32.zip. The guide (not README.md, which is about
# the source tree) is the package's own documentation: its version filled in, with CR LF line ends
# for Notepad.
set(QX_STAGE ${CMAKE_BINARY_DIR}/stage)
configure_file(${QX_SOURCE_DIR}/hosts/README-hosts.txt ${QX_STAGE}/README-hosts.txt @ONLY NEWLINE_STYLE CRLF)
add_custom_target(stage ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QX_STAGE}
  COMMAND i686-w64-mingw32-strip --strip-unneeded -o ${QX_STAGE}/QXINST.dll ${QX_WIN32_BIN}/QXINST.dll
  COMMAND i686-w64-mingw32-strip --strip-unneeded -o ${QX_STAGE}/qxcall.exe ${QX_WIN32_BIN}/qxcall.exe
  DEPENDS win32
  VERBATIM)
install(FILES
  ${QX_STAGE}/QXINST.dll ${QX_STAGE}/qxcall.exe ${QX_WIN32_BIN}/libQXINST.dll.a
  ${QX_SOURCE_DIR}/src/frame/QXINST.def ${QX_SOURCE_DIR}/include/qxinst.h
  ${QX_SOURCE_DIR}/hosts/nsis/qxinst.nsh ${QX_SOURCE_DIR}/hosts/nsis/sample.nsi
  ${QX_SOURCE_DIR}/hosts/inno/qxinst.iss ${QX_SOURCE_DIR}/hosts/inno/sample.iss
  ${QX_STAGE}/README-hosts.txt ${QX_SOURCE_DIR}/LICENSE
  DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qxinst)
set(CPACK_PACKAGE_FILE_NAME qxinst-${PROJECT_VERSION}-win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)

# The package is built and its DLL checked as the host would receive it.
add_test(NAME static.package
  COMMAND ${QX_PYTHON} ${QX_SOURCE_DIR}/tests/static/check_package.py
    --build ${CMAKE_BINARY_DIR} --cpack ${CMAKE_CPACK_COMMAND}
    --zip ${CMAKE_BINARY_DIR}/qxinst-${PROJECT_VERSION}-win32.zip
    --source ${QX_SOURCE_DIR})
set_tests_properties(static.package PROPERTIES LABELS static)
