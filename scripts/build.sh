#!/usr/bin/env bash
# Configures and builds into build/ (the default preset).
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/setup.sh"
cmake --preset default >/dev/null
cmake --build --preset default "$@"
