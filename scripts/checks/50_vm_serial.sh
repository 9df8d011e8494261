#!/usr/bin/env bash
# The Linux program on the kernel's real serial drivers (8250 UART and FTDI USB-serial) in a
# qemu guest, the instrument played on the host: tests/vm/run_vm_suite.py. Uses the program
# that the default build made; builds nothing.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${VORNSET_NATIVE_BUILD:-build/default}
if [ ! -x "$native/vornset" ]; then
  echo "$native/vornset is missing: build the default preset first" >&2
  exit 1
fi
exec python3 tests/vm/run_vm_suite.py --program "$native/vornset"
