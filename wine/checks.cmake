# The checks under Wine, run from the native build over the Windows build's programs:
# one Wine prefix for the whole run (a fixture), the settings-file differential, and
# (registered with the scenarios in tests/) every scenario against the real DLL.
if(NOT HORAVANE_WINDOWS_DIR)
  return()
endif()

horavane_check(wine prefix COMMAND ${PROJECT_SOURCE_DIR}/wine/wine-prefix.sh start ${HORAVANE_WINE_PREFIX}
  PROPERTIES FIXTURES_SETUP wine_prefix)
horavane_check(wine prefix.stop COMMAND ${PROJECT_SOURCE_DIR}/wine/wine-prefix.sh stop ${HORAVANE_WINE_PREFIX}
  PROPERTIES FIXTURES_CLEANUP wine_prefix)

horavane_wine_check(profile_differential
  COMMAND ${PROJECT_SOURCE_DIR}/tests/profile_differential/run.sh $<TARGET_FILE:profile_cases>
          ${HORAVANE_WINDOWS_DIR}/wine/profile_cases.exe ${CMAKE_CURRENT_BINARY_DIR}/profile_differential)
