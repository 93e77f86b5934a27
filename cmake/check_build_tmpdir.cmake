# A build of the Windows preset from nothing leaves nothing in the TMPDIR it is given,
# which for a build run by hand is /tmp: the product is configured and built in a
# scratch folder, every tool of its build (the compiler, windres, dlltool and the
# assembler it starts, the linker, objcopy) with an empty TMPDIR of its own, and that
# folder must still be empty at the end.
#
#   cmake -DSCRATCH=<folder> -P cmake/check_build_tmpdir.cmake
#
# <folder> is made anew (scripts/fresh-folder.sh: only a folder an earlier run of this
# check made is removed); the build and its logs stay there for a look.
if(NOT SCRATCH)
  message(FATAL_ERROR "usage: cmake -DSCRATCH=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
get_filename_component(source ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(build ${SCRATCH}/build)
set(tmpdir ${SCRATCH}/tmp)
execute_process(COMMAND ${source}/scripts/fresh-folder.sh ${SCRATCH} check-build-tmpdir RESULT_VARIABLE status)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "check-build-tmpdir: ${SCRATCH} cannot be made anew (above)")
endif()
file(MAKE_DIRECTORY ${tmpdir})
set(ENV{TMPDIR} ${tmpdir})

# run(<what> <log> <command>...): the command in the source folder, its output in
# <SCRATCH>/<log>; a failure shows that output and stops the check.
function(run what log)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${source}
                  OUTPUT_FILE ${SCRATCH}/${log} ERROR_FILE ${SCRATCH}/${log} RESULT_VARIABLE status)
  if(NOT status STREQUAL "0")
    file(READ ${SCRATCH}/${log} output)
    message(FATAL_ERROR "${output}\ncheck-build-tmpdir: ${what} failed (${status}); "
                        "its output is above and in ${SCRATCH}/${log}")
  endif()
endfunction()

run("configuring the Windows preset in ${build}" configure.log
    ${CMAKE_COMMAND} --preset windows -B ${build})
run("building Horavane.asi in ${build}" build.log
    ${CMAKE_COMMAND} --build ${build} --target Horavane -j 2 --verbose)

file(GLOB_RECURSE left LIST_DIRECTORIES true RELATIVE ${tmpdir} ${tmpdir}/*)
if(left)
  set(listing "")
  foreach(name IN LISTS left)
    if(IS_DIRECTORY ${tmpdir}/${name})
      string(APPEND listing "\n  ${name}/")
    else()
      file(SIZE ${tmpdir}/${name} size)
      string(APPEND listing "\n  ${name} (${size} bytes)")
    endif()
  endforeach()
  list(LENGTH left count)
  message(FATAL_ERROR "check-build-tmpdir: expected the build of Horavane.asi to leave nothing in "
                      "its TMPDIR ${tmpdir}, got ${count} left there (the build's commands are in "
                      "${SCRATCH}/build.log):${listing}")
endif()
message("check-build-tmpdir: a build of Horavane.asi from nothing left nothing in its TMPDIR ${tmpdir}")
