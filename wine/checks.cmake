# The checks under Wine, run from the native build over the Windows build's programs:
# one Wine prefix for the whole run (a fixture), the settings-file differential, and
# (registered with the scenarios in tests/) every scenario against the real DLL; and a
# prefix of its own for the one check that ends its server.
if(NOT HORAVANE_WINDOWS_DIR)
  return()
endif()

# The fixture's own checks run with the Wine checks' TMPDIR too, so that a Wine process
# of theirs that took it would be found; that folder is made empty before them.
set(check_tmpdir ${PROJECT_SOURCE_DIR}/wine/check-tmpdir.sh)
set(caller_tmpdir ENVIRONMENT TMPDIR=${HORAVANE_WINE_CALLER_TMPDIR})
horavane_check(wine tmpdir.clear COMMAND ${check_tmpdir} clear ${HORAVANE_WINE_CALLER_TMPDIR}
  PROPERTIES FIXTURES_SETUP wine_prefix)
horavane_check(wine prefix COMMAND ${PROJECT_SOURCE_DIR}/wine/wine-prefix.sh start ${HORAVANE_WINE_PREFIX}
  PROPERTIES FIXTURES_SETUP wine_prefix DEPENDS wine.tmpdir.clear ${caller_tmpdir})
horavane_check(wine prefix.stop COMMAND ${PROJECT_SOURCE_DIR}/wine/wine-prefix.sh stop ${HORAVANE_WINE_PREFIX}
  PROPERTIES FIXTURES_CLEANUP wine_prefix ${caller_tmpdir})

# The server's folder is beside the prefix, one server serves every client whatever
# its caller's TMPDIR, and no Wine process of the run writes to /tmp or that TMPDIR,
# while the server runs and once it is stopped.
horavane_check(wine tmpdir
  COMMAND ${check_tmpdir} server ${HORAVANE_WINE_PREFIX} ${HORAVANE_WINE_CALLER_TMPDIR}
  PROPERTIES FIXTURES_REQUIRED wine_prefix ${caller_tmpdir})
horavane_check(wine tmpdir.after
  COMMAND ${check_tmpdir} after ${HORAVANE_WINE_PREFIX} ${HORAVANE_WINE_CALLER_TMPDIR}
  PROPERTIES FIXTURES_CLEANUP wine_prefix DEPENDS wine.prefix.stop ${caller_tmpdir})

horavane_wine_check(profile_differential
  COMMAND ${PROJECT_SOURCE_DIR}/tests/profile_differential/run.sh $<TARGET_FILE:profile_cases>
          ${HORAVANE_WINDOWS_DIR}/wine/profile_cases.exe ${CMAKE_CURRENT_BINARY_DIR}/profile_differential)

# As root, a server that a Wine process starts anew, after the prefix's server ended,
# refuses a read-only settings file too; in a prefix of its own, whose server it ends.
horavane_check(wine restarted_server
  COMMAND ${PROJECT_SOURCE_DIR}/wine/check-restarted-server.sh ${CMAKE_CURRENT_BINARY_DIR}/restarted-server-prefix
          $<TARGET_FILE:horavane-scenario> ${HORAVANE_WINDOWS_DIR}
          ${PROJECT_SOURCE_DIR}/tests/scenarios/remember_read_only.scn ${CMAKE_CURRENT_BINARY_DIR}/restarted-server
  PROPERTIES FIXTURES_REQUIRED wine_prefix ${caller_tmpdir} SKIP_RETURN_CODE 77
             REQUIRED_FILES ${HORAVANE_WINDOWS_DIR}/Horavane.asi)
