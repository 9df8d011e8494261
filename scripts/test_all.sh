#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test suite:
# natively, with sanitizers, the Windows build under wine64, the aarch64 and armhf builds under qemu.
set -euo pipefail
cd "$(dirname "$0")/.."

# The wine server and the prefix's system processes outlive the suites that start them
# and would keep the build tree busy: they are ended when the script ends, passed or not.
stop_wine() {
  command -v wineserver >/dev/null || return 0
  for prefix in build/mingw-x64/wine-prefix; do
    if [ -d "$prefix" ]; then WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true; fi
  done
}
trap stop_wine EXIT

scripts/install_packages.sh

jobs=$(nproc)
for preset in default sanitize mingw-i686 mingw-x64 aarch64 armhf; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

for preset in default sanitize mingw-x64 aarch64 armhf; do
  echo "== tests: $preset"
  ctest --preset "$preset"
done

# Further checks (static analysis, fuzzing, packages, benchmark smoke run), one script each.
# Each normally takes minutes; one that hangs fails after half an hour instead.
for check in scripts/checks/*.sh; do
  [ -e "$check" ] || continue
  echo "== $(basename "$check" .sh)"
  timeout --kill-after=60 1800 "$check"
done
