# The installer hosts of hosts/. NSIS: the sample installer and the header's own test installer,
# built by makensis for the three kinds of NSIS installer (x86-ansi and x86-unicode compiled only,
# as 32-bit code cannot run here; amd64-unicode with the 64-bit DLLs), and the two amd64 ones run
# silently under Wine: the sample with the real DLL through qxhostrun, which answers its message
# boxes, its log and files checked; the header test with a stand-in DLL that records what each
# macro passes. The Inno Setup include is checked statically (tests/static/test_inno.py).
find_program(QX_MAKENSIS makensis REQUIRED)
set(QX_HOSTS_DIR ${CMAKE_BINARY_DIR}/hosts)
file(MAKE_DIRECTORY ${QX_HOSTS_DIR})
set(QX_NSIS_DIR ${QX_SOURCE_DIR}/hosts/nsis)

foreach(target IN ITEMS x86-ansi x86-unicode amd64-unicode)
  if(target STREQUAL "amd64-unicode")
    set(bin ${QX_WIN64_BIN})
  else()
    set(bin ${QX_WIN32_BIN})
  endif()
  # -WX: a warning in the header or a script fails the build.
  set(makensis ${QX_MAKENSIS} -V2 -WX -DQXINST_TARGET=${target})
  add_test(NAME hosts.nsis.sample.${target}
    COMMAND ${makensis} -DQXINST_DLL=${bin}/QXINST.dll -DQXINST_SERVICE=${bin}/qxtestservice.exe
      -DOUTFILE=${QX_HOSTS_DIR}/sample-${target}.exe ${QX_NSIS_DIR}/sample.nsi)
  # The stand-in DLL is 64-bit; the x86 builds only compile against it.
  add_test(NAME hosts.nsis.header.${target}
    COMMAND ${makensis} -DFAKE_DLL=${QX_WIN64_BIN}/fake/QXINST.dll
      -DOUTFILE=${QX_HOSTS_DIR}/header-test-${target}.exe ${QX_NSIS_DIR}/test/header_test.nsi)
  set_tests_properties(hosts.nsis.sample.${target} hosts.nsis.header.${target} PROPERTIES LABELS hosts)
endforeach()
set_tests_properties(hosts.nsis.sample.amd64-unicode PROPERTIES FIXTURES_SETUP nsis-sample)
set_tests_properties(hosts.nsis.header.amd64-unicode PROPERTIES FIXTURES_SETUP nsis-header)

add_test(NAME hosts.nsis.header-run
  COMMAND ${QX_PYTHON} ${QX_NSIS_DIR}/test/check_header.py
    --installer ${QX_HOSTS_DIR}/header-test-amd64-unicode.exe --wine-run ${QX_SOURCE_DIR}/scripts/wine-run
    --work ${QX_HOSTS_DIR}/header-run --expected ${QX_NSIS_DIR}/test/header-expected)
add_test(NAME hosts.nsis.sample-run
  COMMAND ${QX_PYTHON} ${QX_NSIS_DIR}/test/check_sample.py
    --installer ${QX_HOSTS_DIR}/sample-amd64-unicode.exe --runner ${QX_WIN64_BIN}/qxhostrun.exe
    --wine-run ${QX_SOURCE_DIR}/scripts/wine-run --work ${QX_HOSTS_DIR}/sample-run
    --expected ${QX_NSIS_DIR}/test/sample-expected)
set_tests_properties(hosts.nsis.header-run PROPERTIES FIXTURES_REQUIRED "wine;nsis-header")
set_tests_properties(hosts.nsis.sample-run PROPERTIES FIXTURES_REQUIRED "wine;nsis-sample")
set_tests_properties(hosts.nsis.header-run hosts.nsis.sample-run PROPERTIES
  RESOURCE_LOCK wine LABELS "hosts;wine" TIMEOUT 600 ENVIRONMENT QX_WINE_DIR=${CMAKE_BINARY_DIR}/wine)
