#!/usr/bin/env bash
# Lints the .deb as Debian would (no error, no warning), unpacks it into a scratch root,
# checks what it installs, and runs the installed program against the installed simulated
# instrument with the settings file beside it. A package for another architecture
# (ARCHITECTURE, in dpkg's names; this machine's by default) runs its programs under
# qemu-user.
# usage: deb_runs_the_instrument.sh PACKAGE.deb [ARCHITECTURE]
set -euo pipefail
deb=$1
architecture=${2:-$(dpkg --print-architecture)}

fail() { echo "deb: $*" >&2; exit 1; }

case $architecture in
  "$(dpkg --print-architecture)") emulator=() ;;
  arm64) emulator=(qemu-aarch64) ;;
  armhf) emulator=(qemu-arm) ;;
  *) fail "no emulator for $architecture" ;;
esac

root=$(mktemp -d)
decoded=$root/decoded.txt
simulator_pid=
cleanup() {
  [ -z "$simulator_pid" ] || kill "$simulator_pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

[ "$(dpkg-deb -f "$deb" Package)" = vornset ] || fail "package name is not vornset"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$architecture" ] || fail "wrong architecture"
# Lintian warns when it runs as root; that is about this machine, not the package.
lintian --fail-on error,warning --display-info "$deb" 2> >(grep -v "running with root privileges" >&2) ||
  fail "lintian finds errors or warnings"
dpkg-deb -x "$deb" "$root"

program=$root/usr/bin/vornset
simulator=$root/usr/bin/vornset-instrument-sim
doc=$root/usr/share/doc/vornset
for file in usr/bin/vornset usr/bin/vornset-instrument-sim usr/share/man/man1/vornset.1.gz \
            usr/share/man/man1/vornset-instrument-sim.1.gz usr/share/doc/vornset/examples/VornSet.ini; do
  [ -f "$root/$file" ] || fail "$file is missing"
done
[ -x "$program" ] && [ -x "$simulator" ] || fail "a program in usr/bin is not executable"
# COM1 would be /dev/ttyS0, on most machines no instrument's port.
[ "$(head -n 1 "$doc/examples/VornSet.ini")" = $'COM/dev/ttyUSB0\r' ] ||
  fail "the example settings file does not name a USB adapter's device"
# Lintian does not compare the changelog with the package: its newest entry must be this version.
version=$(dpkg-deb -f "$deb" Version)
[ "$(zcat "$doc/changelog.gz" | head -n 1)" = "vornset ($version) unstable; urgency=medium" ] ||
  fail "packaging/changelog has no entry for $version at its top"
# Every line of the example ends in CR LF: the program takes a lone LF for a byte of the line.
python3 - "$doc/examples/VornSet.ini" <<'PY' || fail "the example settings file does not end its lines in CR LF"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if data and data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n") else 1)
PY
for page in vornset vornset-instrument-sim; do
  man --warnings -l "$root/usr/share/man/man1/$page.1.gz" >/dev/null 2>"$root/man-warnings.txt"
  [ ! -s "$root/man-warnings.txt" ] || fail "installed manual page $page: $(cat "$root/man-warnings.txt")"
done
"${emulator[@]}" "$program" --version | grep -q '^vornset [0-9]' || fail "the installed program does not tell its version"
"${emulator[@]}" "$simulator" --help | grep -q '^usage: vornset-instrument-sim' || fail "the simulator's --help fails"

: >"$decoded"
"${emulator[@]}" "$simulator" --count 3 --timeout 10 --settings-file "$(dirname "$program")/VornSet.ini" >"$decoded" &
simulator_pid=$!
# The simulator writes the settings file, then prints the two lines that name its line.
for _ in $(seq 100); do
  [ "$(wc -l <"$decoded")" -ge 2 ] && break
  sleep 0.1
done
[ "$(wc -l <"$decoded")" -ge 2 ] || fail "the simulator did not start"

status=0
(cd "$root" && env -i PATH=/usr/bin:/bin HOME="$root" "${emulator[@]}" "$program" 7.05) || status=$?
wait "$simulator_pid" || fail "the simulator did not receive three commands: $(cat "$decoded")"
simulator_pid=
[ "$status" -eq 0 ] || fail "the installed program ended with $status"

expected=$'LP1;  9600 8N1  low-pass filter in\nTT0;  9600 8N1  power output\nFA00007050000;  9600 8N1  frequency 7050000 Hz'
received=$(tail -n +3 "$decoded")
[ "$received" = "$expected" ] || fail "the instrument received: $received"
echo "deb: $(basename "$deb") passes lintian, installs, and its program sent the instrument${emulator:+ (under ${emulator[0]})}:"
echo "$received" | sed 's/^/  /'
