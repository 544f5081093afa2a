# The installer hosts of hosts/. NSIS: the sample installer and the header's own test installer,
# built by makensis for the three kinds of NSIS installer (x86-ansi and x86-unicode with the 32-bit
# DLLs, amd64-unicode with the 64-bit ones), and each run silently under Wine: the sample with the
# real DLL through qxhostrun, its log and files checked, once keeping the DLL's message boxes, which
# qxhostrun answers (sample-run), and once with the boxes left out, none answered (silent-run); the
# header test with a stand-in DLL that records what each macro passes.
find_program(QX_MAKENSIS makensis REQUIRED)
set(QX_HOSTS_DIR ${CMAKE_BINARY_DIR}/hosts)
file(MAKE_DIRECTORY ${QX_HOSTS_DIR})
set(QX_NSIS_DIR ${QX_SOURCE_DIR}/hosts/nsis)
# The two runs of each sample installer and check_sample.py's option for each.
set(QX_SAMPLE_RUNS sample-run silent-run)
set(QX_SAMPLE_BOXES --boxes "")

foreach(target IN ITEMS x86-ansi x86-unicode amd64-unicode)
  if(target STREQUAL "amd64-unicode")
    set(bin ${QX_WIN64_BIN})
    set(need)
  else()
    set(bin ${QX_WIN32_BIN})
    set(need ${QX_SOURCE_DIR}/scripts/wine-env need32)  # skipped where 32-bit code cannot run
  endif()
  # -WX: a warning in the header or a script fails the build.
  set(makensis ${QX_MAKENSIS} -V2 -WX -DQXINST_TARGET=${target})
  add_test(NAME hosts.nsis.sample.${target}
    COMMAND ${makensis} -DQXINST_DLL=${bin}/QXINST.dll -DQXINST_SERVICE=${bin}/qxtestservice.exe
      -DOUTFILE=${QX_HOSTS_DIR}/sample-${target}.exe ${QX_NSIS_DIR}/sample.nsi)
  add_test(NAME hosts.nsis.header.${target}
    COMMAND ${makensis} -DFAKE_DLL=${bin}/fake/QXINST.dll
      -DOUTFILE=${QX_HOSTS_DIR}/header-test-${target}.exe ${QX_NSIS_DIR}/test/header_test.nsi)
  set_tests_properties(hosts.nsis.sample.${target} hosts.nsis.header.${target} PROPERTIES LABELS hosts)
  set_tests_properties(hosts.nsis.sample.${target} PROPERTIES FIXTURES_SETUP nsis-sample-${target})
  set_tests_properties(hosts.nsis.header.${target} PROPERTIES FIXTURES_SETUP nsis-header-${target})

  # Each installer run silently under Wine: the x86 ones (32-bit code) with the 32-bit DLLs, the
  # amd64 one with the 64-bit twin.
  add_test(NAME hosts.nsis.header-run.${target}
    COMMAND ${need} ${QX_PYTHON} ${QX_NSIS_DIR}/test/check_sample.py
      --installer ${QX_HOSTS_DIR}/header-test-${target}.exe --wine-run ${QX_SOURCE_DIR}/scripts/wine-run
      --work ${QX_HOSTS_DIR}/header-run-${target} --expected ${QX_NSIS_DIR}/test/header-expected)
  set_tests_properties(hosts.nsis.header-run.${target} PROPERTIES FIXTURES_REQUIRED "wine;nsis-header-${target}")
  foreach(run boxes IN ZIP_LISTS QX_SAMPLE_RUNS QX_SAMPLE_BOXES)
    add_test(NAME hosts.nsis.${run}.${target}
      COMMAND ${need} ${QX_PYTHON} ${QX_NSIS_DIR}/test/check_sample.py ${boxes}
        --installer ${QX_HOSTS_DIR}/sample-${target}.exe --runner ${bin}/qxhostrun.exe
        --wine-run ${QX_SOURCE_DIR}/scripts/wine-run --work ${QX_HOSTS_DIR}/${run}-${target}
        --expected ${QX_NSIS_DIR}/test/sample-expected)
    set_tests_properties(hosts.nsis.${run}.${target} PROPERTIES FIXTURES_REQUIRED "wine;nsis-sample-${target}")
  endforeach()
  set(runs hosts.nsis.header-run.${target} hosts.nsis.sample-run.${target} hosts.nsis.silent-run.${target})
  set_tests_properties(${runs} PROPERTIES
    RESOURCE_LOCK wine LABELS "hosts;wine" TIMEOUT 600 ENVIRONMENT QX_WINE_DIR=${CMAKE_BINARY_DIR}/wine)
  if(need)
    set_tests_properties(${runs} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endforeach()

# Inno Setup 6: the sample (hosts/inno/sample.iss, which includes qxinst.iss) compiled by ISCC.exe
# under Wine's 32-bit loader with the 32-bit DLLs, and run /VERYSILENT /SUPPRESSMSGBOXES through
# qxhostrun, its log and files checked against the NSIS sample's, with the DLL's boxes kept and
# with them left out, as the NSIS sample. Skipped where ISCC.exe is not installed or this machine
# runs no 32-bit code.
set(QX_ISCC ${CMAKE_BINARY_DIR}/npm/node_modules/innosetup/bin/ISCC.exe)
add_test(NAME hosts.inno.sample
  COMMAND ${QX_SOURCE_DIR}/hosts/inno/test/iscc ${QX_ISCC} ${QX_HOSTS_DIR}/inno-sample.exe
    ${QX_SOURCE_DIR}/hosts/inno/sample.iss /DQXINST_DLL=${QX_WIN32_BIN}/QXINST.dll
    /DQXINST_SERVICE=${QX_WIN32_BIN}/qxtestservice.exe)
set_tests_properties(hosts.inno.sample PROPERTIES FIXTURES_SETUP inno-sample)
foreach(run boxes IN ZIP_LISTS QX_SAMPLE_RUNS QX_SAMPLE_BOXES)
  add_test(NAME hosts.inno.${run}
    COMMAND ${QX_SOURCE_DIR}/scripts/wine-env need32 ${QX_PYTHON} ${QX_NSIS_DIR}/test/check_sample.py --host inno
      ${boxes}
      --installer ${QX_HOSTS_DIR}/inno-sample.exe --runner ${QX_WIN32_BIN}/qxhostrun.exe
      --wine-run ${QX_SOURCE_DIR}/scripts/wine-run --work ${QX_HOSTS_DIR}/inno-${run}
      --expected ${QX_NSIS_DIR}/test/sample-expected)
  set_tests_properties(hosts.inno.${run} PROPERTIES FIXTURES_REQUIRED "wine;inno-sample")
endforeach()
set_tests_properties(hosts.inno.sample hosts.inno.sample-run hosts.inno.silent-run PROPERTIES
  RESOURCE_LOCK wine LABELS "hosts;wine" TIMEOUT 600 SKIP_RETURN_CODE 77
  ENVIRONMENT QX_WINE_DIR=${CMAKE_BINARY_DIR}/wine)
