#!/usr/bin/env bash
# Installs what is missing, builds, starts the simulated controller and opens the desktop
# program connected to it. Without a display it says so and runs the same workflow through the
# command-line program: program a protocol, run a test on the simulated device, download and
# convert its data.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh --target kelvastra kelvastra-cli kelvastra-sim

bin=build
cli="$bin/src/kelvastra-cli"
sim="$bin/sim/kelvastra-sim"
app="$bin/src/kelvastra"

work="$(mktemp -d -t kelvastra-run.XXXXXX)"
export KELVASTRA_PORTS_DIR="$work/ports"
card="$work/card"
control="$work/sim-control"
mkdir -p "$KELVASTRA_PORTS_DIR"

"$sim" --card "$card" --ports-dir "$KELVASTRA_PORTS_DIR" --control "$control" --quiet \
    >"$work/sim.log" 2>&1 </dev/null &
sim_pid=$!
cleanup() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Wait for the simulator to register its port.
for _ in $(seq 1 100); do
  grep -q "kelvastra-sim: port" "$work/sim.log" 2>/dev/null && break
  sleep 0.1
done
echo "Simulated controller: $(grep -m1 'kelvastra-sim: port' "$work/sim.log" | sed 's/.*port //')"
echo "  card folder: $card   (control: echo COMMAND > $control, e.g. 'start', 'finish')"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$app" ]; then
  echo "Starting the desktop program; it connects to the simulated controller within a second."
  "$app"
  exit 0
fi

echo
echo "No display found (DISPLAY is not set): running the workflow with kelvastra-cli instead."
out="$work/out"
mkdir -p "$out"
step() { echo; echo "== $* =="; }

step "The protocol (resources/samples/sample.tmt)"
"$cli" protocol show resources/samples/sample.tmt || true

step "Controller"
"$cli" info

step "Program the protocol into the controller"
"$cli" program resources/samples/sample.tmt --name "Demo run"

step "Read the program back"
"$cli" read

step "Run a test on the simulated device"
echo start >"$control"
sleep 1
echo finish >"$control"
sleep 1
"$cli" list

data="$("$cli" list | awk -F '\t' '$3 ~ /^DATA[0-9]+\.CSV$/ {print $3}' | tail -n 1)"
if [ -z "$data" ]; then
  echo "No test data found on the card." >&2
  exit 1
fi

step "Download $data with its protocol copy and convert it to CSV"
converted="$("$cli" download "$data" --to "$out")"
echo "First lines of $converted:"
head -n 5 "$converted"
echo
echo "Outputs are in $out"
trap - EXIT
cleanup
