"""One boot of the test guest: the control channel to its agent (the Linux guests' own,
tests/vm/guest_machine.py), and the instrument on its second UART (tests/vm/instrument.py).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import unix_listener
import vm_machine

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "vm"))
from guest_machine import Control  # noqa: E402
from instrument import Instrument  # noqa: E402

BOOT_TIMEOUT = 240
STEP_TIMEOUT = 150


class GuestSession(Control):
    """Boots the guest with `exe` on its payload disk; `step` runs a bash script in it."""

    def __init__(self, image_folder, exe):
        self.work = tempfile.mkdtemp(prefix="vornset-vm-windows-")
        payload = os.path.join(self.work, "payload")
        os.makedirs(payload)
        shutil.copy(os.path.join(HERE, "guest_agent.sh"), os.path.join(payload, "agent.sh"))
        shutil.copy(os.path.join(HERE, "guest_run_in_pane.sh"), os.path.join(payload, "run_in_pane"))
        shutil.copy(os.path.join(HERE, "guest_watch_queue.pl"), os.path.join(payload, "watch_queue"))
        shutil.copy(exe, os.path.join(payload, "VornSet.exe"))
        disk = os.path.join(self.work, "payload.img")
        vm_machine.make_payload_disk(payload, disk)
        self.console_log = os.path.join(self.work, "console.log")
        control = unix_listener.UnixListener(os.path.join(self.work, "control.sock"))
        line = unix_listener.UnixListener(os.path.join(self.work, "line.sock"))
        self.listeners = (control, line)
        started = time.monotonic()
        self.machine = vm_machine.start(image_folder, disk, control.path, line.path, self.console_log)
        self.channel = self.instrument = None
        try:
            self.channel = control.accept(60)
            Control.__init__(self, self.channel, started)
            self.instrument = Instrument.on_socket(line.accept(60))
            self.boot_seconds = self.wait_ready(BOOT_TIMEOUT)
        except Exception:
            print(self.console_tail(), file=sys.stderr)
            self.close()
            raise

    def console_tail(self):
        tail = ""
        for log in (self.console_log, self.console_log + ".qemu"):
            try:
                with open(log, errors="replace") as f:
                    tail += f.read()[-3000:]
            except OSError:
                pass
        return tail

    def step(self, script, timeout=STEP_TIMEOUT, on_line=None):
        """Runs the script with bash in the guest; returns (exit code, output text).
        Lines the script itself writes to /dev/hvc0 while it runs go to `on_line`."""
        return self.run(script, timeout, on_line)

    def close(self):
        try:
            if self.channel:
                self.channel.sendall(b"QUIT\n")
                self.machine.wait(60)
        except (OSError, subprocess.TimeoutExpired):
            pass
        if self.machine.poll() is None:
            self.machine.kill()
            self.machine.wait()
        if self.instrument:
            self.instrument.close()
        for listener in self.listeners:
            listener.close()
        shutil.rmtree(self.work, ignore_errors=True)
