# The product: Horavane.asi, a 64-bit Windows DLL bound to the runtime's decorated exports.

enable_language(RC)

# The import library that maps the plain names the plug-in calls to the runtime's
# decorated export names.
set(HORAVANE_RUNTIME_DEF ${PROJECT_SOURCE_DIR}/src/host/ScriptHookV.def)
set(HORAVANE_RUNTIME_IMPORT ${CMAKE_CURRENT_BINARY_DIR}/libScriptHookV.a)
if(MINGW)
  find_program(HORAVANE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
  add_custom_command(
    OUTPUT ${HORAVANE_RUNTIME_IMPORT}
    COMMAND ${HORAVANE_DLLTOOL} -d ${HORAVANE_RUNTIME_DEF} -l ${HORAVANE_RUNTIME_IMPORT}
    DEPENDS ${HORAVANE_RUNTIME_DEF}
    COMMENT "Import library for ScriptHookV.dll")
  add_custom_target(horavane_runtime_import DEPENDS ${HORAVANE_RUNTIME_IMPORT})
endif()

configure_file(packaging/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)

add_library(Horavane SHARED ${HORAVANE_PLUGIN_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
target_include_directories(Horavane PRIVATE src platform)
target_compile_options(Horavane PRIVATE ${HORAVANE_WARNINGS})
set_target_properties(Horavane PROPERTIES PREFIX "" SUFFIX ".asi" OUTPUT_NAME Horavane)
if(MINGW)
  add_dependencies(Horavane horavane_runtime_import)
  target_link_libraries(Horavane PRIVATE ${HORAVANE_RUNTIME_IMPORT})
  # A player's machine has Windows, the game and the runtime, nothing more: the GCC
  # and C++ runtimes go into the DLL, and the library exports nothing of its own.
  target_link_options(Horavane PRIVATE -static -static-libgcc -static-libstdc++
                      -Wl,--exclude-all-symbols)
endif()

if(EXISTS ${PROJECT_SOURCE_DIR}/wine/CMakeLists.txt)
  add_subdirectory(wine)
endif()
