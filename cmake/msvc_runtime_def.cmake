# Writes the .def from which MSVC's librarian makes the runtime's import library: the
# LIBRARY line of ScriptHookV.def and, as exports, the decorated name of each of its
# `plain == decorated` lines. MSVC code calls the runtime by those decorated names
# (host/runtime.h declares the functions as C++ there); the plain names are MinGW's.
#
#   cmake -DDEF=<ScriptHookV.def> -DOUT=<.def to write> -P msvc_runtime_def.cmake
file(STRINGS ${DEF} lines)
set(library "")
set(exports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^LIBRARY +([^ ]+)$")
    set(library ${CMAKE_MATCH_1})
  elseif(line MATCHES "^[A-Za-z_][A-Za-z0-9_]* *== *([^ ]+)$")
    string(APPEND exports "  ${CMAKE_MATCH_1}\n")
  endif()
endforeach()
if(library STREQUAL "" OR exports STREQUAL "")
  message(FATAL_ERROR "${DEF}: expected a LIBRARY line and `plain == decorated` lines")
endif()
file(WRITE ${OUT} "LIBRARY ${library}\nEXPORTS\n${exports}")
