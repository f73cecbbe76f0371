#!/usr/bin/env bash
# Installs what is missing, builds everything (warnings are errors in every preset built here),
# checks the layer table and the layout of the sources, and runs every test: the suite as built for use,
# then the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and the
# link, worker and desktop tests under ThreadSanitizer, and last the layers below Qt cross-built
# for Windows and tested under Wine. Arguments go to the first ctest run; KELVASTRA_SANITIZERS=0
# leaves the sanitizer runs out and KELVASTRA_WINDOWS=0 the Windows check (for a quick run at a
# desk).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
scripts/check-layers.sh
scripts/check-format.sh
mkdir -p test-artifacts
export KELVASTRA_ARTIFACTS="$PWD/test-artifacts"
jobs="$(nproc)"
ctest --preset default -j "$jobs" --timeout 300 "$@"

if [ "${KELVASTRA_SANITIZERS:-1}" != 0 ]; then
  echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  ctest --preset asan -j "$jobs" --timeout 600

  echo "== ThreadSanitizer (link, worker and desktop tests)"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan --target test_devicelink test_document test_ui
  ctest --preset tsan -j "$jobs" --timeout 600
fi

if [ "${KELVASTRA_WINDOWS:-1}" != 0 ]; then
  echo "== Windows: the layers below Qt under Wine"
  scripts/windows-check.sh
fi
