# The Wine tests of the 32-bit deliverable and the 64-bit twin, defined once for two places:
#   - in a Windows build itself (ctest runs qxwinetests.exe through CMAKE_CROSSCOMPILING_EMULATOR);
#   - in the native build that drives the cross builds (the same commands with explicit paths).
# Each group is one Wine process running the test suites whose names begin with the group name.
# A fixture starts the build's own Wine prefix, X server and persistent wineserver, and stops them.
# Suites are named after their group: HarnessDll, EngineFiles, ConfigFiles, ServicesInstall, ...
# (JapaneseLocale runs apart, in the Japanese locale.)
set(QX_WINE_TEST_GROUPS
  Harness   # the test host itself
  Engine    # settings engine and progress windows
  Config    # qxmgr.ini and REPL.BAT
  Services  # service control, installation, probes
  Shares    # shares, share security, share path lookup, replication share search
  Domain    # domain role, servers, language, server picker, folder picker, dialog templates
  Differential  # the simulated platform against the real calls, scenario by scenario
  )

# qx_add_wine_tests(TARGET_MODE)                 inside a Windows build (its own architecture)
# qx_add_wine_tests(PATH_MODE <bin> <arch>)       from the driving build, arch win32 or win64
# Tests are named wine32.<group> and wine64.<group>. The fixture (wine.setup, wine.teardown) is one
# Wine directory for both: one prefix made by wine64, one wineserver, one X server. A 32-bit test on
# a machine that cannot run 32-bit code exits 77 and is reported skipped (scripts/wine-env need32).
function(qx_add_wine_tests mode)
  set(env_script ${QX_SOURCE_DIR}/scripts/wine-env)
  set(wine_dir ${CMAKE_BINARY_DIR}/wine)
  if(mode STREQUAL "TARGET_MODE")
    set(runner qxwinetests)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(arch win64)
    else()
      set(arch win32)
    endif()
  else()
    set(runner ${QX_SOURCE_DIR}/scripts/wine-run ${ARGV1}/qxwinetests.exe)
    set(arch ${ARGV2})
  endif()
  string(REPLACE "win" "wine" prefix ${arch})
  if(NOT TEST wine.setup)
    add_test(NAME wine.setup COMMAND ${env_script} start)
    add_test(NAME wine.teardown COMMAND ${env_script} stop)
    set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine ENVIRONMENT QX_WINE_DIR=${wine_dir} LABELS wine)
    set_tests_properties(wine.teardown PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT QX_WINE_DIR=${wine_dir} LABELS wine)
  endif()
  foreach(group IN LISTS QX_WINE_TEST_GROUPS)
    add_test(NAME ${prefix}.${group} COMMAND ${runner} --gtest_filter=${group}*)
    set_tests_properties(${prefix}.${group} PROPERTIES ENVIRONMENT QX_WINE_DIR=${wine_dir})
  endforeach()
  # The Japanese group in its own Wine process under the Japanese locale: ANSI code page 932. The
  # locale must exist on the machine (scripts/run makes it).
  add_test(NAME ${prefix}.Japanese COMMAND ${runner} --gtest_filter=Japanese*)
  set_tests_properties(${prefix}.Japanese PROPERTIES
    ENVIRONMENT "QX_WINE_DIR=${wine_dir};LC_ALL=ja_JP.UTF-8")
  set(names ${QX_WINE_TEST_GROUPS} Japanese)
  list(TRANSFORM names PREPEND ${prefix}.)
  set_tests_properties(${names} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine LABELS "wine;${arch}" TIMEOUT 600)
  if(arch STREQUAL "win32")
    # Only a 32-bit run may be skipped: a 64-bit one that says 77 has failed.
    set_tests_properties(${names} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
