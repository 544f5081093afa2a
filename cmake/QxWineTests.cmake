# The Wine tests of the 64-bit twin, defined once for two places:
#   - in the win64 build itself (ctest runs qxwinetests.exe through CMAKE_CROSSCOMPILING_EMULATOR);
#   - in the native build that drives the cross builds (the same commands with explicit paths).
# Each group is one Wine process running the test suites whose names begin with the group name.
# A fixture starts the build's own Wine prefix, X server and persistent wineserver, and stops them.
# Suites are named after their group: HarnessDll, EngineFiles, ConfigIni, ServicesControl, ...
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

# qx_add_wine_tests(TARGET_MODE)            inside the win64 build
# qx_add_wine_tests(PATH_MODE <win64 bin>)  from the driving build
function(qx_add_wine_tests mode)
  set(env_script ${QX_SOURCE_DIR}/scripts/wine-env)
  set(wine_dir ${CMAKE_BINARY_DIR}/wine)
  if(mode STREQUAL "TARGET_MODE")
    set(runner qxwinetests)
  else()
    set(runner ${QX_SOURCE_DIR}/scripts/wine-run ${ARGV1}/qxwinetests.exe)
  endif()
  add_test(NAME wine.setup COMMAND ${env_script} start)
  add_test(NAME wine.teardown COMMAND ${env_script} stop)
  set_tests_properties(wine.setup PROPERTIES FIXTURES_SETUP wine ENVIRONMENT QX_WINE_DIR=${wine_dir} LABELS wine)
  set_tests_properties(wine.teardown PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT QX_WINE_DIR=${wine_dir} LABELS wine)
  foreach(group IN LISTS QX_WINE_TEST_GROUPS)
    add_test(NAME wine.${group} COMMAND ${runner} --gtest_filter=${group}*)
    set_tests_properties(wine.${group} PROPERTIES
      FIXTURES_REQUIRED wine RESOURCE_LOCK wine LABELS wine TIMEOUT 600
      ENVIRONMENT QX_WINE_DIR=${wine_dir})
  endforeach()
  # The Japanese group in its own Wine process under the Japanese locale: ANSI code page 932. The
  # locale must exist on the machine (scripts/run makes it).
  add_test(NAME wine.Japanese COMMAND ${runner} --gtest_filter=Japanese*)
  set_tests_properties(wine.Japanese PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine LABELS wine TIMEOUT 600
    ENVIRONMENT "QX_WINE_DIR=${wine_dir};LC_ALL=ja_JP.UTF-8")
endfunction()
