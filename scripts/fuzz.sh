#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang 14 and runs each for SECONDS (default 60)
# from a scratch copy of its seed corpus (tests/fuzz/corpus/<name>, never written to).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 600 fuzz_convert fuzz_magcal
#
# FUZZ_BUILD is the build folder (default build-fuzz); each run keeps its corpus, log and
# reproducers in $FUZZ_BUILD/runs/<target>/. Exits non-zero when a target finds a crash, a leak,
# a time-out or any sanitizer report. Two invocations may run side by side on other targets:
# they take turns at the build.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi
build=$(realpath -m "${FUZZ_BUILD:-build-fuzz}")

# What the fuzz build needs, installed only when something is missing.
scripts/setup.sh clang-14 libclang-rt-14-dev cmake ninja-build qt6-base-dev qt6-serialport-dev

mkdir -p "$build"
(
  flock 9
  cmake -S . -B "$build" -G Ninja -DKELVASTRA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
  cmake --build "$build" -j 2 >"$build/build.log" 2>&1 || { cat "$build/build.log" >&2; exit 1; }
) 9>"$build/.build-lock"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

failed=()
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  binary="$build/tests/fuzz/fuzz_$name"
  seeds="tests/fuzz/corpus/$name"
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    echo "fuzz_$name: no such target (or no seed corpus in $seeds)" >&2
    failed+=("fuzz_$name")
    continue
  fi
  run="$build/runs/fuzz_$name"
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/artifacts" "$run/tmp"
  cp "$seeds"/* "$run/corpus/"
  # The converter and the plot take whole test files; every other input is a few lines.
  max_len=4096
  [ "$name" = convert ] || [ "$name" = plot ] && max_len=16384

  status=0
  TMPDIR="$run/tmp" \
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}" \
    "$binary" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$run/artifacts/" "$run/corpus" >"$run/log" 2>&1 ||
    status=$?
  rm -rf "$run/tmp"

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$run/log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  files=$(find "$run/corpus" -type f | wc -l)
  kb=$(du -sk --apparent-size "$run/corpus" | cut -f1)
  printf '%-26s %10s execs %7s/s  cov %5s  ft %6s  corpus %5s files %6s kB\n' "fuzz_$name" \
    "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$files" "$kb"

  reproducers=$(find "$run/artifacts" -type f | head -5)
  if [ $status -ne 0 ] || [ -n "$reproducers" ] ||
    grep -qE 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|SUMMARY: ' "$run/log"; then
    echo "fuzz_$name FAILED (exit $status): $(grep -m1 -E 'runtime error:|ERROR: ' "$run/log" || true)" >&2
    echo "  log: $run/log" >&2
    for r in $reproducers; do
      echo "  reproducer: $r  (replay: $binary $r)" >&2
    done
    failed+=("fuzz_$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
