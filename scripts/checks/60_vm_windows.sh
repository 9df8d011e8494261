#!/usr/bin/env bash
# The shipped 32-bit VornSet.exe end to end: wine in a Debian 12 guest under qemu (TCG),
# COM2 on the guest kernel's 8250 driver, the host playing the instrument. The guest image
# is built on the first run and kept in a cache outside the clone (see
# tests/vm-windows/build_vm_image.py); skipped, saying so, where qemu is not installed.
set -euo pipefail
cd "$(dirname "$0")/../.."
windows=${VORNSET_WINDOWS_BUILD:-build/mingw-i686}

if [ ! -f "$windows/CMakeCache.txt" ]; then
  cmake --preset "$(basename "$windows")" >/dev/null
fi
cmake --build "$windows" -j "$(nproc)" >/dev/null

python3 tests/vm-windows/run_vm_windows_suite.py --exe "$windows/VornSet.exe"
