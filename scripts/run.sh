#!/usr/bin/env bash
# Installs what is missing, builds, and shows the program at work on a sample protocol.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cli=build/src/kelvastra-cli
echo "== A sample protocol (resources/samples/sample.tmt) =="
"$cli" protocol show resources/samples/sample.tmt || true
