# The native (Linux) build: the plug-in's sources over platform/'s stand-ins,
# the simulated host, and everything that tests or measures them.

add_library(horavane_platform STATIC
  platform/posix/tick.cpp
  platform/posix/local_time.cpp
  platform/posix/profile.cpp
)
target_include_directories(horavane_platform PUBLIC platform)
target_compile_options(horavane_platform PRIVATE ${HORAVANE_WARNINGS})

add_library(horavane_plugin STATIC ${HORAVANE_PLUGIN_SOURCES})
target_include_directories(horavane_plugin PUBLIC src)
target_link_libraries(horavane_plugin PUBLIC horavane_platform)
target_compile_options(horavane_plugin PRIVATE ${HORAVANE_WARNINGS})

find_package(Threads REQUIRED)
add_subdirectory(sim)

enable_testing()
foreach(dir tests bench fuzz)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
