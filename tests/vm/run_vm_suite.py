#!/usr/bin/env python3
"""Runs the Linux program on real kernel serial drivers in a qemu-system-x86_64 guest:
the 8250 UART as /dev/ttyS1 (and /dev/ttyS2, whose CTS is off) and the FTDI USB-serial
driver as /dev/ttyUSB0, each wired to the host, where the host plays the instrument, and
cdc-acm (/dev/ttyACM0) and the usb-serial core's generic driver (/dev/ttyUSB1) on a USB
gadget in the guest, whose ports relay to the host's instrument. One
boot runs the whole table of scenarios.py; one line per scenario, then "N passed, N failed"
(", N skipped").

usage: run_vm_suite.py --program build/default/vornset [--work-dir DIR] [--cache-dir DIR]
                       [--only KIND[,KIND...]]

Skipped, saying so, without qemu-system-x86_64. The kernel comes from Debian's package
archive once and is kept in the cache (default ${XDG_CACHE_HOME:-~/.cache}/vornset/vm-linux).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import guest_image  # noqa: E402
import guest_kernel  # noqa: E402
import scenarios  # noqa: E402
from guest_machine import GuestError, GuestMachine  # noqa: E402
from instrument import Instrument  # noqa: E402

QEMU = "qemu-system-x86_64"
SETUP = """
for i in $(seq 300); do [ -c /dev/ttyUSB0 ] && break; sleep 0.1; done
for port in /dev/ttyS1 /dev/ttyS2 /dev/ttyUSB0; do
  chgrp dialout $port && chmod 660 $port || exit 1
done
# After the FTDI adapter, so that the generic USB port is ttyUSB1.
usb_gadget plug && usb_gadget relay || exit 1
uname -r
"""


def closing_line(passed, failed, skipped):
    line = "%d passed, %d failed" % (passed, failed)
    return line + (", %d skipped" % skipped if skipped else "")


def default_cache():
    base = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return os.path.join(base, "vornset", "vm-linux")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--work-dir")
    parser.add_argument("--cache-dir", default=default_cache())
    parser.add_argument("--only", help="run only the rows of these kinds (sent,held,...)")
    options = parser.parse_args()
    kinds = options.only.split(",") if options.only else None
    table = [row for row in scenarios.TABLE if kinds is None or row.kind in kinds]
    program = os.path.abspath(options.program)
    work_dir = os.path.abspath(options.work_dir or
                               os.path.join(os.path.dirname(program), "vm-linux"))
    started = time.monotonic()

    qemu = shutil.which(QEMU)
    if qemu is None:
        print("skipped: %s is not installed (package qemu-system-x86)" % QEMU)
        print(closing_line(0, 0, len(table)))
        return 0
    file_type = subprocess.run(["file", "-b", program], capture_output=True, text=True).stdout
    if "statically linked" not in file_type:
        print("%s is not a statically linked program: %s" % (program, file_type.strip()))
        print(closing_line(0, len(table), 0))
        return 1

    os.makedirs(work_dir, exist_ok=True)
    try:
        kernel = guest_kernel.prepare_kernel(options.cache_dir, guest_image.GUEST_MODULES)
        initramfs = guest_image.build_initramfs(program, kernel, work_dir)
    except (guest_kernel.KernelUnavailable, guest_image.ImageUnavailable) as failure:
        print("no guest: %s" % failure)
        print(closing_line(0, len(table), 0))
        return 1

    # Socket paths are short on purpose: a unix socket's path has at most 107 bytes.
    socket_dir = tempfile.mkdtemp(prefix="vornset-vm-")
    guest = None
    lines = {}
    passed = failed = 0
    try:
        cts_off, terminal = Instrument.on_pseudo_terminal()
        lines["/dev/ttyS2"] = cts_off
        guest = GuestMachine(qemu, kernel["kernel"], initramfs, work_dir, socket_dir, terminal)
        for name in ("ttyS1", "ttyUSB0"):
            lines["/dev/" + name] = Instrument(guest.sockets[name])
        for port in scenarios.GADGET_PORTS:
            lines[port.device] = Instrument(guest.sockets[port.relay])
        boot = guest.wait_ready()
        status, release = guest.run(SETUP)
        if status != 0:
            raise GuestError("the guest's ports are not there: " + release.strip())
        print("guest: Linux %s (package %s), up in %.1f s; kernel log in %s"
              % (release.strip(), kernel["version"], boot, guest.console_log))
        for row in table:
            problems, note = scenarios.run_row(guest, lines, row)
            if problems:
                failed += 1
                print("FAIL %s: %s" % (row.name, "; ".join(problems)))
            else:
                passed += 1
                print("ok   %s%s" % (row.name, "  (%s)" % note if note else ""))
            sys.stdout.flush()
    except (GuestError, OSError) as failure:
        print("the guest failed: %s (kernel log in %s)"
              % (failure, os.path.join(work_dir, "console.log")))
        failed = len(table) - passed
    finally:
        if guest is not None:
            guest.power_off()
        for line in lines.values():
            line.close()
        shutil.rmtree(socket_dir, ignore_errors=True)
    print("suite: %.1f s" % (time.monotonic() - started))
    print(closing_line(passed, failed, 0))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
