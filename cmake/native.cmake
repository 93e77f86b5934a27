# The native (Linux) build: the plug-in's sources over platform/'s stand-ins,
# the simulated host, and everything that tests or measures them.

add_library(horavane_platform STATIC
  platform/posix/tick.cpp
  platform/posix/local_time.cpp
  platform/posix/profile.cpp
  platform/profile_text.cpp
  platform/posix/sleep.cpp
)
target_include_directories(horavane_platform PUBLIC platform)
target_compile_options(horavane_platform PRIVATE ${HORAVANE_WARNINGS})

add_library(horavane_plugin STATIC ${HORAVANE_PLUGIN_SOURCES})
target_include_directories(horavane_plugin PUBLIC src)
target_link_libraries(horavane_plugin PUBLIC horavane_platform)
target_compile_options(horavane_plugin PRIVATE ${HORAVANE_WARNINGS})
# The state resets that start each simulated process afresh; Horavane.asi leaves them out.
target_compile_definitions(horavane_plugin PRIVATE HORAVANE_RESETTABLE)

find_package(Threads REQUIRED)
enable_testing()
include(cmake/checks.cmake)

add_subdirectory(sim)
add_subdirectory(scenario)
add_subdirectory(tools)
add_subdirectory(tests)
add_subdirectory(bench)
add_subdirectory(fuzz)
add_subdirectory(wine)
add_subdirectory(packaging)

# The contributors' script that runs as root and tries a fresh Debian release: it touches
# only what it made, also when two runs meet or one is stopped as a person stops it, on
# a terminal. With stand-ins for debootstrap, mktemp and rm, and no network. Skipped unless the tests run as root, as CI's do, and
# skipped where the machine cannot make namespaces (a chroot, a container), saying why.
horavane_check(scripts try_debian COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-try-debian.sh
  PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
# The one way the scripts that may run as root make a folder anew: only a folder they
# made is removed, and nothing mounted inside it.
horavane_check(scripts fresh_folder COMMAND ${PROJECT_SOURCE_DIR}/scripts/test-fresh-folder.sh)
