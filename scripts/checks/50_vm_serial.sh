#!/usr/bin/env bash
# The Linux program on the kernel's real serial drivers in qemu guests, the instrument played
# on the host (tests/vm/run_vm_suite.py): x86-64 (8250 UART, FTDI USB-serial) with the
# default build's program, a Raspberry Pi 3 B (mini UART) and arm64 virt (PL011) with the
# aarch64 preset's, armhf virt (PL011) with the armhf preset's, built here when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${VORNSET_NATIVE_BUILD:-build/default}
if [ ! -x "$native/vornset" ]; then
  echo "$native/vornset is missing: build the default preset first" >&2
  exit 1
fi
failed=0
for guest in x86-64:"$native" raspi3b:build/aarch64 arm64-virt:build/aarch64 armhf-virt:build/armhf; do
  build=${guest#*:}
  if [ ! -x "$build/vornset" ]; then
    preset=$(basename "$build")
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" --target vornset >/dev/null
  fi
  echo "== guest ${guest%%:*}"
  python3 tests/vm/run_vm_suite.py --guest "${guest%%:*}" --program "$build/vornset" || failed=1
done
exit "$failed"
