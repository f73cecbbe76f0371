#!/usr/bin/env bash
# Fails when a tracked C++ source is not laid out as .clang-format says (Debian's clang-format).
# `scripts/check-format.sh --fix` rewrites the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
format="$(command -v clang-format-14 || command -v clang-format || true)"
if [ -z "$format" ]; then
  echo "clang-format is missing: scripts/setup.sh installs it" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
if ! "$format" --dry-run --Werror "${files[@]}"; then
  echo "Some sources are not formatted; scripts/check-format.sh --fix lays them out." >&2
  exit 1
fi
echo "format: ${#files[@]} sources laid out as .clang-format says"
