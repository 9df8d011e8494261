#!/usr/bin/env python3
"""Runs the Linux program on real kernel serial drivers in a qemu guest (guests.py): the
8250 UART and the FTDI USB-serial driver on x86-64, with cdc-acm and the usb-serial core's
generic driver on a USB gadget in the same guest, whose ports relay to the host; the mini
UART on a Raspberry Pi 3 B; the PL011 on the ARM virt machines. Each port is wired to the
host, where the host plays the instrument. One boot runs the guest's rows of scenarios.py;
one line per row, then "N passed, N failed" (", N skipped").

usage: run_vm_suite.py --program build/default/vornset [--guest x86-64] [--work-dir DIR]
                       [--cache-dir DIR] [--only KIND[,KIND...]]

The program is a static one for the guest's architecture. Skipped, saying so, without the
guest's qemu. The kernel and busybox come from Debian's package archive once and are kept
in the cache (default ${XDG_CACHE_HOME:-~/.cache}/vornset/vm-linux).
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
from guests import CONTROL, GUESTS  # noqa: E402
from instrument import Instrument  # noqa: E402

SETUP = """
for port in {devices}; do
  for i in $(seq 300); do [ -c $port ] && break; sleep 0.1; done
  chgrp dialout $port && chmod 660 $port || exit 1
done
{setup}
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
    parser.add_argument("--guest", choices=sorted(GUESTS), default="x86-64")
    parser.add_argument("--work-dir")
    parser.add_argument("--cache-dir", default=default_cache())
    parser.add_argument("--only", help="run only the rows of these kinds (sent,held,...)")
    options = parser.parse_args()
    guest_kind = GUESTS[options.guest]
    kinds = options.only.split(",") if options.only else None
    table = [row for row in scenarios.TABLE
             if (kinds is None or row.kind in kinds) and row.port in guest_kind.ports]
    program = os.path.abspath(options.program)
    work_dir = os.path.abspath(options.work_dir or os.path.join(
        os.path.dirname(program), "vm-linux-" + options.guest))
    started = time.monotonic()

    qemu = guest_kind.qemu[0]
    if shutil.which(qemu) is None:
        print("skipped: %s is not installed" % qemu)
        print(closing_line(0, 0, len(table)))
        return 0
    file_type = subprocess.run(["file", "-b", program], capture_output=True, text=True).stdout
    if "statically linked" not in file_type:
        print("%s is not a statically linked program: %s" % (program, file_type.strip()))
        print(closing_line(0, len(table), 0))
        return 1

    os.makedirs(work_dir, exist_ok=True)
    try:
        kernel = guest_kernel.prepare_kernel(options.cache_dir, guest_kind)
        busybox = guest_kernel.prepare_busybox(options.cache_dir, guest_kind.architecture)
        initramfs = guest_image.build_initramfs(guest_kind, program, kernel, busybox, work_dir)
        if guest_kind.dtb:
            guest_image.device_tree(guest_kind, kernel, work_dir)
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
        terminals = {}
        for port in guest_kind.ports:
            if port.on_terminal:
                lines[port.device], terminals[port.device] = Instrument.on_pseudo_terminal()
        guest = GuestMachine(guest_kind, kernel["kernel"], initramfs, work_dir, socket_dir,
                             terminals)
        for name, path in guest.sockets.items():
            if name != CONTROL and name not in guest_kind.relays:
                lines["/dev/" + name] = Instrument(path)
        for port in guest_kind.ports:
            if port.relay:
                lines[port.device] = Instrument(guest.sockets[port.relay])
        boot = guest.wait_ready()
        status, release = guest.run(SETUP.format(
            devices=" ".join(port.device for port in guest_kind.ports if not port.relay),
            setup=guest_kind.setup + " || exit 1" if guest_kind.setup else ""))
        if status != 0:
            raise GuestError("the guest's ports are not there: " + release.strip())
        print("guest %s: Linux %s (package %s), up in %.1f s; kernel log in %s"
              % (options.guest, release.strip(), kernel["version"], boot, guest.console_log))
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
