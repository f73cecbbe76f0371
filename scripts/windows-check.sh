#!/usr/bin/env bash
# Cross-builds the layers below Qt (common, mathematics, core) and their unit tests for 64-bit
# Windows with MinGW-w64, runs every test program under Wine and prints how many tests ran.
# Installs what is missing from Debian's packages first (run as root, or with sudo at hand).
# Any build error or failing test fails the script; a test skipped there is listed with its
# reason.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="$root/build-windows"
wine=/usr/lib/wine/wine64

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
[ -x "$wine" ] || missing+=(wine64)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

echo "== cross-building common, mathematics and core with MinGW-w64"
cmake --preset windows-core >/dev/null
cmake --build --preset windows-core

# A prefix of its own inside the build folder, no window, no offer to install Mono or Gecko.
export WINEPREFIX="$build/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== making the Wine prefix"
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi

# Process ids repeat under Wine, so a test folder left by an earlier run could be met again.
rm -rf "$WINEPREFIX"/drive_c/users/*/Temp/kelvastra-*
logs="$build/test-logs"
mkdir -p "$logs"
total=0
skipped=0
failed=()
for name in test_common test_mathematics test_protocol test_hardware test_recordings \
  test_calibration; do
  program="$build/tests/$name.exe"
  if [ ! -f "$program" ]; then
    echo "$name: not built" >&2
    failed+=("$name")
    continue
  fi
  log="$logs/$name.log"
  # Run from the build folder, which Wine sees on drive Z:, so that the source paths compiled
  # into the tests resolve. The console's line ends are taken back to LF.
  status=0
  (cd "$build" && "$wine" "$program" --gtest_color=no) 2>&1 | tr -d '\r' >"$log" || status=$?
  ran="$(sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' "$log" | tail -1)"
  skips="$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below:.*/\1/p' "$log" | tail -1)"
  ran="${ran:-0}"
  skips="${skips:-0}"
  total=$((total + ran))
  skipped=$((skipped + skips))
  if [ "$status" != 0 ] || [ "$ran" = 0 ]; then
    echo "$name: FAILED (exit status $status), output in $log"
    grep -E '^\[  FAILED  \]|Failure$' "$log" | sort -u | head -40 || true
    failed+=("$name")
  else
    echo "$name: $ran tests, $skips skipped"
  fi
  # Each skip with the reason the test gave.
  awk '/: Skipped$/ { getline reason; pending = reason; next }
       /^\[  SKIPPED \] [A-Za-z_]/ && pending != "" { print "  skipped " $4 ": " pending; pending = "" }' "$log"
done

echo "== Windows (Wine): $total tests ran, $skipped of them skipped"
if [ ${#failed[@]} -gt 0 ]; then
  echo "windows-check: failed: ${failed[*]}" >&2
  exit 1
fi
echo "windows-check: every test of common, mathematics and core passed under Wine"
