#!/usr/bin/env python3
"""End-to-end suite of the shipped 32-bit VornSet.exe, run by wine in a Debian 12 guest
under qemu-system-x86_64, on the guest kernel's 8250 driver (COM2 = /dev/ttyS1), with
the host playing the instrument on the UART's socket. One boot runs the whole table.

usage: run_vm_windows_suite.py --exe build/mingw-i686/VornSet.exe [--only TEXT]
Prints one line per scenario and closes with "N passed, N failed".
"""
import argparse
import base64
import os
import re
import sys
import threading
import time

sys.dont_write_bytecode = True  # the suite leaves nothing in the work tree
import build_vm_image
import guest_session
import vm_machine
from instrument import XOFF, XON
from vm_windows_scenarios import SCENARIOS

START_SETTINGS = "1200 cs7 parenb cstopb inpck"


def shell_bytes(data, path):
    return "printf '%%s' %s | base64 -d > %s\n" % (base64.b64encode(data).decode(), path)


def prepare_script(case):
    # A holder left by the scenario before goes first: the port starts from no opener.
    script = "[ -f /tmp/holder.pid ] && kill $(cat /tmp/holder.pid) && sleep 0.1; rm -f /tmp/holder.pid\n"
    script += "rm -rf /tmp/vs && mkdir /tmp/vs && cp /payload/VornSet.exe /tmp/vs/\n"
    if case["settings"] is not None:
        script += shell_bytes(case["settings"], "/tmp/vs/VornSet.ini")
    if case["unreadable"]:
        script += "chmod 000 /tmp/vs/VornSet.ini\n"
    script += "stty -F /dev/ttyS1 %s %s%s\n" % (START_SETTINGS, "ixon" if case["xoff"] else "-ixon",
                                               "" if case["lines"] is None else " -hupcl")
    if case["xoff"]:
        # A second opener keeps the port open, so the XOFF that the instrument sends before
        # the program starts is taken by the driver and holds the line.
        script += "sleep 300 </dev/ttyS1 >/dev/null 2>&1 & echo $! >/tmp/holder.pid\n"
    return script


def run_script(case):
    command = "wine VornSet.exe %s" % case["arguments"]
    if case["redirect"]:
        command += " >out.txt"
    script = ""
    if case["xoff"]:
        script += "sleep 0.3\n/payload/watch_queue /dev/ttyS1 60 & watcher=$!\n"
    script += "echo @@pane\n/payload/run_in_pane %d \"$(printf '%%s' %s | base64 -d)\"\n" % (
        case["columns"], base64.b64encode(command.encode()).decode())
    if case["xoff"]:
        script += "kill $watcher 2>/dev/null\n"
    if case["lines"] is not None:
        script += "echo @@lines\ncat /tmp/pane.lines\n"
    script += "echo @@stty\nstty -a -F /dev/ttyS1\n"
    if case["redirect"]:
        script += "echo @@out\nbase64 -w0 /tmp/vs/out.txt; echo\n"
    return script


def sections(output):
    parts, name = {}, None
    for line in output.split("\n"):
        if line.startswith("@@"):
            name = line[2:]
            parts[name] = []
        elif name:
            parts[name].append(line)
    return parts


def pane_result(lines):
    header = dict(word.split("=", 1) for word in lines[0].split())
    shown = "\n".join(lines[2:])
    screen, found, _ = shown.rpartition("exit=")
    return header, screen if found else shown


def check(case, output, sent, seconds):
    problems = []
    parts = sections(output)
    if "pane" not in parts:
        return ["no pane output: %r" % output[-500:]]
    header, screen = pane_result(parts["pane"])
    code = header.get("exit")
    if code != str(case["exit_code"]):
        problems.append("exit code %s, expected %d" % (code, case["exit_code"]))
    # A run is over when its bytes have left, or when it has given them up.
    if header.get("queued") != "0":
        problems.append("%s bytes still queued in the driver when the program ended" % header.get("queued"))
    if case["screen"] is not None and screen != case["screen"]:
        problems.append("screen %r, expected %r" % (screen, case["screen"]))
    if case["screen_starts"] is not None and not screen.startswith(case["screen_starts"]):
        problems.append("screen %r does not start with %r" % (screen[:120], case["screen_starts"]))
    if sent != case["sent"]:
        problems.append("instrument received %r, expected %r" % (sent, case["sent"]))
    if seconds < case["at_least"]:
        problems.append("took %.2f s, expected at least %.1f s" % (seconds, case["at_least"]))
    stty = " ".join(parts.get("stty", []))
    if case["speed"] is not None:
        found = re.search(r"speed (\d+) baud", stty)
        if not found or int(found.group(1)) != case["speed"]:
            problems.append("final speed %s, expected %d" % (found and found.group(1), case["speed"]))
        flags = stty.split()
        for flag in ("cs8", "-parenb", "-cstopb", "-inpck", "ixon" if case["xoff"] else "-ixon"):
            if flag not in flags:
                problems.append("final line settings lack %s" % flag)
    if case["lines"] is not None:
        # "... tx:22 rx:0 RTS|CTS|DTR": the output lines raised and the input lines seen.
        last = (" ".join(parts.get("lines", [])).split() or [""])[-1]
        raised = tuple(name for name in last.split("|") if name in ("DTR", "RTS"))
        if raised != case["lines"]:
            problems.append("lines raised after the run %r, expected %r" % (raised, case["lines"]))
    if case["redirect"]:
        written = base64.b64decode("".join(parts.get("out", [])))
        if not written.startswith(case["out_starts"]) or (case["out_starts"] == b"" and written):
            problems.append("standard output %r, expected it to start with %r" % (written[:80], case["out_starts"]))
        if written.count(b"\n") != written.count(b"\r\n"):
            problems.append("standard output lines do not end in CR LF")
    return problems


def run_case(session, case):
    """Runs one scenario; returns (problems, the run's seconds)."""
    instrument = session.instrument
    held, timers = [], []

    def on_line(line):
        if line.startswith("HELD "):
            held.append(line)
            if case["xon_after"] is not None:
                timers.append(threading.Timer(case["xon_after"], instrument.send, (XON,)))
                timers[-1].start()

    if case["xoff"]:
        code, output = session.step(prepare_script(case))
        if code != 0:
            return ["guest preparation failed: " + output], 0.0
        instrument.clear()
        instrument.send(XOFF)
        code, output = session.step(run_script(case), on_line=on_line)
    else:
        instrument.clear()
        code, output = session.step(prepare_script(case) + run_script(case))
    for timer in timers:
        timer.join()
    if case["xoff"] and case["xon_after"] is None:
        # What the driver still holds comes out now; a run that gave up must have dropped it.
        instrument.send(XON)
    sent = instrument.wait_quiet(0.3, timeout=30.0)
    header, _ = pane_result(sections(output).get("pane", ["exit=none ms=0", ""]))
    seconds = int(header.get("ms", "0")) / 1000.0
    problems = check(case, output, sent, seconds)
    if case["xoff"] and not held:
        problems.append("the driver never held the program's bytes: the scenario did not hold the line")
    return problems, seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--only", default="", help="run only the scenarios whose name has this text")
    args = parser.parse_args()
    cases = [case for case in SCENARIOS if args.only in case["name"]]
    if not vm_machine.qemu_present():
        print("vm-windows: skipped, qemu-system-x86_64 or mkfs.ext4 is not installed")
        print("0 passed, 0 failed, %d skipped" % len(cases))
        return 0
    suite_started = time.monotonic()
    image = build_vm_image.ensure_image()
    session = guest_session.GuestSession(image, os.path.abspath(args.exe))
    print("vm-windows: guest booted in %.1f s" % session.boot_seconds, flush=True)
    passed = failed = 0
    try:
        warm_started = time.monotonic()
        session.step("for _ in $(seq 600); do pgrep -f services.exe >/dev/null && exit 0; sleep 0.1; done; exit 1")
        print("vm-windows: wine's services up %.1f s after boot" % (time.monotonic() - warm_started), flush=True)
        # Every scenario writes to COM2: it must be the UART under test, never the console.
        _, com2 = session.step("readlink /root/.wine/dosdevices/com2")
        if com2.strip() != "/dev/ttyS1":
            raise SystemExit("wine maps COM2 to %r, not to /dev/ttyS1" % com2.strip())
        warm_started = time.monotonic()
        session.step("cd /payload && wine VornSet.exe --help >/dev/null")
        print("vm-windows: first run (help) took %.1f s" % (time.monotonic() - warm_started), flush=True)
        for case in cases:
            started = time.monotonic()
            problems, seconds = run_case(session, case)
            timing = "run %.2f s, step %.1f s" % (seconds, time.monotonic() - started)
            if problems:
                failed += 1
                print("FAIL %s (%s): %s" % (case["name"], timing, "; ".join(problems)), flush=True)
            else:
                passed += 1
                print("PASS %s (%s)" % (case["name"], timing), flush=True)
    finally:
        session.close()
    print("vm-windows: suite took %.0f s" % (time.monotonic() - suite_started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
