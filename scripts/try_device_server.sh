#!/usr/bin/env bash
# A device server tried without hardware: ser2net on this machine, in front of the simulated
# instrument's line, puts it on a TCP port with RFC 2217, and `vornset 7.05` reaches it there.
# Shows ser2net's configuration, what vornset printed, and what the instrument received at
# the rate and format ser2net set on the line for vornset.
#
#   usage: scripts/try_device_server.sh [PORT]     (the TCP port, 4000 when not given)
#
# vornset and vornset-instrument-sim are taken from PATH, else from build/default.
set -euo pipefail
port=${1:-4000}
top=$(cd "$(dirname "$0")/.." && pwd)
find_program() { command -v "$1" || echo "$top/build/default/$2"; }
program=$(find_program vornset vornset)
simulator=$(find_program vornset-instrument-sim tools/instrument_sim/vornset-instrument-sim)
command -v ser2net >/dev/null || { echo "ser2net is not installed: sudo apt install ser2net" >&2; exit 1; }

work=$(mktemp -d)
ser2net_pid=
cleanup() {
  [ -z "$ser2net_pid" ] || kill "$ser2net_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator returns once its line is ready; its second line names the line's device.
"$simulator" --count 3 --timeout 10 --background >"$work/instrument"
device=$(sed -n 2p "$work/instrument")

# Bound to 127.0.0.1: "tcp,4000" alone would open the transmitter to the whole network.
cat >"$work/ser2net.yaml" <<EOF
%YAML 1.1
---
connection: &instrument
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$device,9600n81,local
EOF
echo "== ser2net -n -c $work/ser2net.yaml"
sed 's/^/   /' "$work/ser2net.yaml"
ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
ser2net_pid=$!
# It reads its configuration once, at start; the port is open once it listens.
for _ in $(seq 100); do
  ss -Hltn "sport = :$port" | grep -q . && break
  kill -0 "$ser2net_pid" 2>/dev/null || { echo "ser2net ended:" >&2; cat "$work/ser2net.log" >&2; exit 1; }
  sleep 0.1
done

printf 'COMrfc2217://127.0.0.1:%s\r\nBAUD 19200\r\n' "$port" >"$work/VornSet.ini"
echo "== VornSet.ini: COMrfc2217://127.0.0.1:$port, BAUD 19200"
echo "== vornset 7.05"
status=0
(cd "$work" && "$program" 7.05) || status=$?
echo "== exit code $status"
# The simulator ends after the third command, once the line is closed.
for _ in $(seq 100); do
  [ "$(wc -l <"$work/instrument")" -ge 5 ] && break
  sleep 0.1
done
echo "== the instrument received:"
tail -n +3 "$work/instrument" | sed 's/^/   /'
exit "$status"
