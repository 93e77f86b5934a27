# The checks of the whole project are CTest tests of the native build, each with a label:
#   native   the native tests, scenarios and corpus replays          (this build)
#   asan     the same, from the AddressSanitizer+UBSan build         (build/asan)
#   tsan     the threaded tests, from the ThreadSanitizer build      (build/tsan)
#   fuzz     each libFuzzer target for HORAVANE_FUZZ_SECONDS         (build/fuzz)
#   bench    the frames' call and allocation checks, a timing pass   (build/bench)
#   product  the shipped DLL's budgets                               (build/windows)
#   wine     the real DLL and the Windows profile functions, under Wine
#   release  the players' package, and play mode in a real terminal
#   docs     the README's generated sections
# The other builds are made by their workflow presets first (`make test` runs them all);
# a check whose build is missing is reported as not run, naming the file it needs.

# Any report fails the run: UBSan stops at the first (-fno-sanitize-recover=all), TSan
# is told to.
set(HORAVANE_SANITIZER_ENV
  ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:check_initialization_order=1
  UBSAN_OPTIONS=print_stacktrace=1
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1)

# The checks' TMPDIR (the test presets name it): what a check stopped halfway leaves
# behind, a test's scratch folder or a compiler's temporary file, stays in the build
# folder, never in /tmp.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tmp)

# The folder of this CMakeLists.txt's outputs inside another build of the same sources.
function(horavane_build_path out build)
  file(RELATIVE_PATH where ${CMAKE_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  set(${out} ${build}/${where} PARENT_SCOPE)
endfunction()

# horavane_test_from(<label> <build dir> <name> <target> [args...]): the check
# <label>.<name>, running <target> as the build in <build dir> made it.
function(horavane_test_from label build name target)
  if(NOT build)
    return()
  endif()
  horavane_build_path(folder ${build})
  add_test(NAME ${label}.${name} COMMAND ${folder}/${target} ${ARGN})
  set_tests_properties(${label}.${name} PROPERTIES
    LABELS ${label} ENVIRONMENT "${HORAVANE_SANITIZER_ENV}" REQUIRED_FILES ${folder}/${target})
endfunction()

# horavane_check(<label> <name> COMMAND ... [PROPERTIES ...]): a check run by a script
# or a tool, labelled.
function(horavane_check label name)
  cmake_parse_arguments(CHECK "" "" "COMMAND;PROPERTIES" ${ARGN})
  add_test(NAME ${label}.${name} COMMAND ${CHECK_COMMAND} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(${label}.${name} PROPERTIES LABELS ${label} ${CHECK_PROPERTIES})
endfunction()

# Every check under Wine runs in the one prefix that the fixture wine.prefix makes for
# the run (wine/checks.cmake), with its server kept running until wine.prefix.stop
# (wine.restarted_server, which ends a server, makes a prefix of its own),
# through `wine/wine-prefix.sh run`, which gives Wine its environment and the folder for
# its server beside the prefix. The checks' own TMPDIR is an empty folder of the build
# that no Wine process may write to: wine.tmpdir and wine.tmpdir.after check it, so a
# Wine run that escapes the prefix's server folder fails them instead of leaving its
# folder in /tmp.
set(HORAVANE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(HORAVANE_WINE_CALLER_TMPDIR ${CMAKE_BINARY_DIR}/wine-caller-tmp)

function(horavane_wine_check name)
  cmake_parse_arguments(CHECK "" "" "COMMAND" ${ARGN})
  horavane_check(wine ${name} COMMAND ${PROJECT_SOURCE_DIR}/wine/wine-prefix.sh run ${HORAVANE_WINE_PREFIX}
                                      ${CHECK_COMMAND})
  set_tests_properties(wine.${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix ENVIRONMENT TMPDIR=${HORAVANE_WINE_CALLER_TMPDIR} SKIP_RETURN_CODE 77
    REQUIRED_FILES ${HORAVANE_WINDOWS_DIR}/Horavane.asi)
endfunction()
