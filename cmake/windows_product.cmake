# The product: Horavane.asi, a 64-bit Windows DLL bound to the runtime's decorated exports.

enable_language(RC)

# The import library that maps the names the plug-in calls to the runtime's decorated
# export names. ScriptHookV.def is the one list of those names; each toolchain's import
# library is made from it.
set(HORAVANE_RUNTIME_DEF ${PROJECT_SOURCE_DIR}/src/host/ScriptHookV.def)
if(MINGW)
  # dlltool names its symbols after the output path, so it runs in the build folder on a
  # relative name: no folder name reaches the DLL. Each run of the assembler it starts
  # leaves an empty file (ccXXXXXX) in its TMPDIR, which it never removes (binutils
  # 2.40), so it gets a TMPDIR of its own in the build folder, removed once the library
  # is made; a failed run leaves that folder in the build folder, not its files in /tmp.
  set(HORAVANE_RUNTIME_IMPORT ${CMAKE_CURRENT_BINARY_DIR}/libScriptHookV.a)
  set(dlltool_tmpdir ${CMAKE_CURRENT_BINARY_DIR}/dlltool-tmp)
  find_program(HORAVANE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
  add_custom_command(
    OUTPUT ${HORAVANE_RUNTIME_IMPORT}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dlltool_tmpdir}
    COMMAND ${CMAKE_COMMAND} -E env TMPDIR=${dlltool_tmpdir}
            ${HORAVANE_DLLTOOL} -d ${HORAVANE_RUNTIME_DEF} -l libScriptHookV.a
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dlltool_tmpdir}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS ${HORAVANE_RUNTIME_DEF}
    COMMENT "Import library for ScriptHookV.dll"
    VERBATIM)
elseif(MSVC)
  set(HORAVANE_RUNTIME_MSVC_DEF ${CMAKE_CURRENT_BINARY_DIR}/ScriptHookV-msvc.def)
  set(HORAVANE_RUNTIME_IMPORT ${CMAKE_CURRENT_BINARY_DIR}/ScriptHookV.lib)
  add_custom_command(
    OUTPUT ${HORAVANE_RUNTIME_IMPORT}
    COMMAND ${CMAKE_COMMAND} -DDEF=${HORAVANE_RUNTIME_DEF} -DOUT=${HORAVANE_RUNTIME_MSVC_DEF}
            -P ${PROJECT_SOURCE_DIR}/cmake/msvc_runtime_def.cmake
    COMMAND ${CMAKE_AR} /nologo /machine:x64 /def:${HORAVANE_RUNTIME_MSVC_DEF}
            /out:${HORAVANE_RUNTIME_IMPORT}
    DEPENDS ${HORAVANE_RUNTIME_DEF} ${PROJECT_SOURCE_DIR}/cmake/msvc_runtime_def.cmake
    COMMENT "Import library for ScriptHookV.dll")
  # The DLL links no C runtime (below). The static runtime's headers all the same, so
  # that no declaration asks for the runtime's DLL; kernel32 alone, named below; and
  # neither type information nor exceptions, as with MinGW. Release only: Debug's
  # run-time checks (/RTC1) call into the C runtime.
  set(CMAKE_MSVC_RUNTIME_LIBRARY MultiThreaded)
  set(CMAKE_CXX_STANDARD_LIBRARIES "")
  string(REGEX REPLACE "/GR|/EHsc" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
  get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
  if(multi_config)
    set(CMAKE_CONFIGURATION_TYPES Release)
  elseif(NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    message(FATAL_ERROR "Horavane.asi with Visual Studio is built as Release only "
                        "(the configure preset msvc, or -DCMAKE_BUILD_TYPE=Release): Debug's "
                        "run-time checks need the C runtime, which the DLL does not link")
  endif()
endif()
add_custom_target(horavane_runtime_import DEPENDS ${HORAVANE_RUNTIME_IMPORT})

configure_file(packaging/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/version.rc @ONLY)

add_library(Horavane SHARED ${HORAVANE_PLUGIN_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/version.rc)
target_include_directories(Horavane PRIVATE src platform)
target_compile_options(Horavane PRIVATE ${HORAVANE_WARNINGS})
set_target_properties(Horavane PROPERTIES PREFIX "" SUFFIX ".asi" OUTPUT_NAME Horavane)
add_dependencies(Horavane horavane_runtime_import)
target_link_libraries(Horavane PRIVATE ${HORAVANE_RUNTIME_IMPORT})
if(MINGW)
  # Only what the plug-in uses: no exception or type-information runtime, and every
  # function nothing refers to dropped at the link. (Not -fdata-sections: it would move
  # the zero-filled key table out of .bss into the file.) -O2 is the level the benchmarks
  # measure. -g feeds the debug copy below and changes no code; its file names start at
  # the top of the source tree, wherever that is.
  target_compile_options(Horavane PRIVATE -O2 -g -ffunction-sections -fno-exceptions -fno-rtti
                         -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
                         -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
  # No C runtime: the plug-in has no static constructor, no thread-local data and no
  # C-library call, so the DLL's entry is DllMain itself and it links the runtime's import
  # library and kernel32 only. Whatever would need more (a constructor, a heap, a stack
  # probe, a compiler-emitted memcpy) fails this link or product.imports. It exports
  # nothing of its own; no link time in the header, so the same sources give the same file;
  # the GUI subsystem, as for any DLL loaded into a game. Address-space randomisation,
  # high-entropy addresses and no-execute data are today's defaults, written out so that
  # an older binutils cannot drop them; with no run-time fix-ups to apply, every address
  # the loader cannot relocate fails the link.
  target_link_libraries(Horavane PRIVATE kernel32)
  target_link_options(Horavane PRIVATE -nostdlib -Wl,--entry,DllMain
                      -Wl,--exclude-all-symbols -Wl,--gc-sections -Wl,--no-insert-timestamp
                      -Wl,--subsystem,windows -Wl,--dynamicbase -Wl,--nxcompat
                      -Wl,--high-entropy-va -Wl,--disable-auto-import
                      -Wl,--disable-runtime-pseudo-reloc)
  # The linked file keeps its symbols and debug information as Horavane.debug, to read
  # a player's crash address with addr2line; the shipped file has neither. objcopy would
  # stamp the time of day into the header; SOURCE_DATE_EPOCH=0 keeps it 0, as linked.
  set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
  add_custom_command(TARGET Horavane POST_BUILD
    COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE_NAME:Horavane> $<TARGET_FILE_BASE_NAME:Horavane>.debug
    COMMAND ${objcopy} --strip-all $<TARGET_FILE_NAME:Horavane>
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "Horavane.debug: symbols and debug information of Horavane.asi, which loses them"
    VERBATIM)
elseif(MSVC)
  # The same design with Visual Studio: no C runtime, entry DllMain, the runtime's import
  # library and kernel32 only. No security cookie (/GS-) and no default library names in
  # the objects (/Zl). An MSVC link still asks for _fltused and memcpy, which
  # platform/msvc/no_crt.cpp supplies; anything more it asks for fails the link.
  target_sources(Horavane PRIVATE platform/msvc/no_crt.cpp)
  target_compile_options(Horavane PRIVATE /O2 /GS- /Zl /GR- /EHs-c-)
  target_link_libraries(Horavane PRIVATE kernel32.lib)
  target_link_options(Horavane PRIVATE /NODEFAULTLIB /ENTRY:DllMain /DLL /SUBSYSTEM:WINDOWS
                      /DYNAMICBASE /NXCOMPAT /HIGHENTROPYVA)
endif()

# The test programs around the DLL are built with MinGW only.
if(MINGW AND EXISTS ${PROJECT_SOURCE_DIR}/wine/CMakeLists.txt)
  add_subdirectory(wine)
endif()
