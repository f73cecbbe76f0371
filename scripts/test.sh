#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
mkdir -p test-artifacts
export KELVASTRA_ARTIFACTS="$PWD/test-artifacts"
ctest --preset default -j "$(nproc)" --timeout 300 "$@"
