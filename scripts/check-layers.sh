#!/usr/bin/env bash
# Checks every project include against the layer table in ARCHITECTURE.md: a file may include
# headers of its own folder and of the folders its row names, and Qt headers only of the Qt
# modules its row names. Prints each include that breaks the table and fails when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

qt_root=""
for candidate in /usr/include/x86_64-linux-gnu/qt6 /usr/include/qt6 /usr/include/aarch64-linux-gnu/qt6; do
  if [ -d "$candidate/QtCore" ]; then
    qt_root="$candidate"
    break
  fi
done

# The rows of the table: | `folder` | `target` | project folders | Qt modules |
rules="$(awk '
  /^## Layers and targets/ { inside = 1; next }
  inside && /^## / { inside = 0 }
  inside && /^\| `/ {
    n = split($0, cell, "|")
    folder = cell[2]; gsub(/[` ]/, "", folder)
    allowed = cell[4]; gsub(/[` ]/, "", allowed)
    qt = cell[5]; gsub(/[` ]/, "", qt)
    if (allowed == "-" || allowed == "—") allowed = ""
    if (qt == "-" || qt == "—") qt = ""
    print folder "\t" allowed "\t" qt
  }' ARCHITECTURE.md)"
if [ -z "$rules" ]; then
  echo "check-layers: no layer table found in ARCHITECTURE.md" >&2
  exit 2
fi

rule_for() { # folder of a file, relative to the root -> its row
  local dir="$1" pattern
  while IFS=$'\t' read -r pattern allowed qt; do
    if [ "$pattern" = "$dir" ]; then
      printf '%s\t%s\n' "$allowed" "$qt"
      return 0
    fi
  done <<<"$rules"
  while IFS=$'\t' read -r pattern allowed qt; do
    # shellcheck disable=SC2053
    if [[ "$dir" == $pattern ]]; then
      printf '%s\t%s\n' "$allowed" "$qt"
      return 0
    fi
  done <<<"$rules"
  return 1
}

qt_module_of() { # header name -> Qt module without the Qt prefix, or nothing
  local header="$1" dir
  [ -n "$qt_root" ] || return 0
  for dir in "$qt_root"/Qt*; do
    if [ -e "$dir/$header" ]; then
      basename "$dir" | sed 's/^Qt//'
      return 0
    fi
  done
}

declare -A qt_cache=()
faults=0
while IFS= read -r file; do
  dir="$(dirname "$file")"
  if ! row="$(rule_for "$dir")"; then
    echo "$file: its folder $dir has no row in the layer table of ARCHITECTURE.md"
    faults=$((faults + 1))
    continue
  fi
  allowed="${row%%$'\t'*}"
  qt="${row#*$'\t'}"
  own="${dir#src/}"
  while IFS= read -r include; do
    [ -n "$include" ] || continue
    target_dir="$(dirname "$include")"
    if [ "$target_dir" = "." ] || [ "$target_dir" = "$own" ]; then
      continue
    fi
    ok=0
    IFS=',' read -ra names <<<"$allowed"
    for name in "${names[@]}"; do
      if [ "$name" = "$target_dir" ] || [ "$name" = "$include" ]; then
        ok=1
        break
      fi
    done
    if [ $ok = 0 ]; then
      echo "$file: includes \"$include\", but $dir may not use $target_dir"
      faults=$((faults + 1))
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/p' "$file")
  while IFS= read -r header; do
    [ -n "$header" ] || continue
    if [ -z "${qt_cache[$header]+x}" ]; then
      qt_cache[$header]="$(qt_module_of "$header")"
    fi
    module="${qt_cache[$header]}"
    [ -n "$module" ] || continue
    case ",$qt," in
      *",$module,"*) ;;
      *)
        echo "$file: includes <$header> of Qt $module, which $dir may not use"
        faults=$((faults + 1))
        ;;
    esac
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+<(Q[A-Za-z0-9]+)>.*/\1/p' "$file")
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'sim/*.cpp' 'sim/*.h')

if [ $faults -gt 0 ]; then
  echo "check-layers: $faults include(s) break the layer table" >&2
  exit 1
fi
echo "check-layers: every include keeps to the layer table"
