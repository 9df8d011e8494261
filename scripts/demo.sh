#!/usr/bin/env bash
# Builds the program and the instrument simulator (default preset), puts a settings file
# naming the simulator's line beside build/default/vornset, runs `vornset 7.05` and shows
# what the simulated instrument received.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install_packages.sh --demo

build=build/default
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target vornset vornset-instrument-sim

settings=$build/VornSet.ini
decoded=$(mktemp)
simulator_pid=
cleanup() {
  [ -z "$simulator_pid" ] || kill "$simulator_pid" 2>/dev/null || true
  # It names a line that ends with the simulator.
  rm -f "$decoded" "$settings"
}
trap cleanup EXIT

"$build/tools/instrument_sim/vornset-instrument-sim" --count 3 --timeout 10 \
  --settings-file "$settings" >"$decoded" &
simulator_pid=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$decoded")" -ge 2 ] && break
  sleep 0.1
done

echo "== $settings: $(head -n 1 "$decoded")"
echo "== $build/vornset 7.05"
status=0
"$build/vornset" 7.05 || status=$?
echo "== exit code $status"
wait "$simulator_pid" || true
simulator_pid=
echo "== the instrument received:"
tail -n +3 "$decoded" | sed 's/^/   /'
exit "$status"
