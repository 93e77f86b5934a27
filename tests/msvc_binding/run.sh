#!/bin/bash
# Checks that a Visual Studio build binds to the runtime, without Visual Studio:
# host/runtime.h, compiled by clang as MSVC compiles it (against windows.h here, the
# SDK's type definitions), must refer to exactly the decorated names of
# src/host/ScriptHookV.def; and the .def that the MSVC build hands to its librarian
# (cmake/msvc_runtime_def.cmake) must give an import library that defines each. LLVM's
# dlltool stands in for `lib /def` there: it reads the same .def syntax and writes the
# same short import objects (Debian 12's llvm-lib has no /def). And what that build supplies in
# place of the C runtime (platform/msvc/no_crt.cpp), compiled by clang in cl mode with
# the branch's flags, defines exactly the two names an MSVC link asks for and calls
# nothing.
#
#   tests/msvc_binding/run.sh <build folder>
set -euo pipefail
usage="usage: tests/msvc_binding/run.sh <build folder>"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?$usage}/msvc_binding
def=src/host/ScriptHookV.def
mkdir -p "$out"

need() {  # the program, when it is installed
  command -v "$1" >/dev/null || { echo "msvc-binding: $1 is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
  echo "$1"
}
clang=$(need clang++)
nm=$(need llvm-nm)
dlltool=$(need llvm-dlltool)
objdump=$(need llvm-objdump)

"$clang" --target=x86_64-pc-windows-msvc -fms-compatibility -fms-extensions -std=c++17 \
  -nostdinc -Werror -I"$here" -I"$root/platform" -I"$root/src" \
  -c "$here/calls_runtime.cpp" -o "$out/calls_runtime.obj"
referenced=$("$nm" --undefined-only --just-symbol-name "$out/calls_runtime.obj" | LC_ALL=C sort)
decorated=$(sed -n 's/^[^;].* == //p' "$root/$def" | LC_ALL=C sort)
if [ "$referenced" != "$decorated" ]; then
  echo "msvc-binding: host/runtime.h under MSVC refers to other names than $def gives" \
    "(< referenced, > in $def):" >&2
  diff <(echo "$referenced") <(echo "$decorated") | grep '^[<>]' >&2
  exit 1
fi

cmake -DDEF="$root/$def" -DOUT="$out/ScriptHookV-msvc.def" -P "$root/cmake/msvc_runtime_def.cmake"
"$dlltool" -m i386:x86-64 -d "$out/ScriptHookV-msvc.def" -l "$out/ScriptHookV.lib"
defined=$("$nm" --defined-only --just-symbol-name "$out/ScriptHookV.lib" 2>/dev/null)
status=0
while read -r name; do
  grep -qxF -- "$name" <<< "$defined" ||
    { echo "msvc-binding: $out/ScriptHookV.lib does not define $name" >&2; status=1; }
done <<< "$referenced"

# A memcpy that the optimiser turned into a call of memcpy would never return.
no_crt=platform/msvc/no_crt.cpp
"$clang" --driver-mode=cl /nologo --target=x86_64-pc-windows-msvc /O2 /GS- /Zl /GR- /EHs-c- /W4 /WX -c \
  "/Fo$out/no_crt.obj" -- "$root/$no_crt"
supplied=$("$nm" --defined-only --extern-only --just-symbol-name "$out/no_crt.obj" | LC_ALL=C sort)
# The targets of its code's relocations: any is a call, memcpy's own name among them.
called=$("$objdump" -r "$out/no_crt.obj" | awk '/^RELOCATION RECORDS FOR / { code = $4 ~ /^\[\.text/ }
                                               code && /^[0-9a-f]+ / { print $3 }' | sort -u)
if [ "$supplied" != "$(printf '_fltused\nmemcpy')" ]; then
  echo "msvc-binding: $no_crt defines $(echo $supplied), not _fltused and memcpy" >&2
  status=1
fi
if [ -n "$called" ]; then
  echo "msvc-binding: $no_crt, which stands in for the C runtime, calls $(echo $called)" >&2
  status=1
fi

[ $status -eq 0 ] &&
  echo "msvc-binding: an MSVC build refers to the $(wc -l <<< "$referenced") decorated names of $def, and its import library defines them; $no_crt supplies _fltused and memcpy and calls nothing"
exit $status
