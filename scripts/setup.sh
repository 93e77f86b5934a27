#!/bin/bash
# Installs, with apt-get, whatever this project needs that the machine lacks. Run it as
# yourself: when something is missing it asks sudo for apt-get alone, so the builds stay
# yours. Every name is one that Debian 12 and Debian 13 both have: the unversioned LLVM
# packages (clang, llvm, libclang-rt-dev) follow each release's own default version.
#
#   setup.sh [<package>...]   the given packages instead of the project's own
set -euo pipefail

PACKAGES=(
  cmake make g++ git zip unzip
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64
  clang llvm libclang-rt-dev lcov valgrind
  libstb-dev fonts-dejavu-core tmux
  python3-pefile
)

[ $# -eq 0 ] || PACKAGES=("$@")
missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo DEBIAN_FRONTEND=noninteractive)
  command -v sudo >/dev/null && sudo -v || {
    echo "setup: cannot install as root with sudo; run this once with root's password:" \
      "su -c $0, then make again as yourself" >&2
    exit 1
  }
fi
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
