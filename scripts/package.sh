#!/usr/bin/env bash
# Builds the Debian package: the three programs, their man pages, the desktop entry, the icon,
# the udev rule and the sample protocol. Prints the path of the .deb.
#   scripts/package.sh [--no-build] [--build-dir DIR] [--out DIR]
# --no-build packages what DIR (default build/) already holds; --out defaults to DIR/packages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
out=""
compile=1
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) compile=0 ;;
    --build-dir) build="$2"; shift ;;
    --out) out="$2"; shift ;;
    *) echo "usage: scripts/package.sh [--no-build] [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done
out="${out:-$build/packages}"

if [ "$compile" = 1 ]; then
  scripts/setup.sh
  [ -f "$build/CPackConfig.cmake" ] || cmake --preset default >/dev/null
  cmake --build "$build" --target kelvastra_installables >&2
fi
for tool in dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (apt-get install dpkg-dev)" >&2; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/*.deb
cpack --config "$build/CPackConfig.cmake" -B "$out" >&2
ls "$out"/*.deb
