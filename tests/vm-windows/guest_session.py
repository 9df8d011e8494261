"""One boot of the test guest: the control channel to its agent, and the instrument on
its second UART.

The instrument records every byte that reaches it with the time it came, and can put
bytes on the line (XOFF, XON) as a real instrument would.
"""
import base64
import os
import shutil
import subprocess
import tempfile
import threading
import time

import unix_listener
import vm_machine

HERE = os.path.dirname(os.path.abspath(__file__))
BOOT_TIMEOUT = 240
STEP_TIMEOUT = 150


class Instrument:
    def __init__(self, connection):
        self.connection = connection
        self.lock = threading.Lock()
        self.arrivals = []  # (monotonic time, bytes)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while True:
            try:
                data = self.connection.recv(4096)
            except OSError:
                return
            if not data:
                return
            with self.lock:
                self.arrivals.append((time.monotonic(), data))

    def clear(self):
        with self.lock:
            self.arrivals = []

    def send(self, data):
        self.connection.sendall(data)

    def received(self, quiet=0.3):
        """Waits until the line has been silent for `quiet` seconds from now on or from
        the last byte; returns the arrivals."""
        asked = time.monotonic()
        while True:
            with self.lock:
                last = max(asked, self.arrivals[-1][0]) if self.arrivals else asked
                if time.monotonic() - last >= quiet:
                    return list(self.arrivals)
            time.sleep(0.05)


class GuestSession:
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
        self.channel = None
        self.pending = b""
        self.next_id = 0
        try:
            self.channel = control.accept(60)
            self.instrument = Instrument(line.accept(60))
            booted = self._line(BOOT_TIMEOUT)
            if not booted.startswith("BOOTED"):
                raise RuntimeError("guest did not boot: %r" % booted)
        except Exception:
            self.close()
            raise
        self.boot_seconds = time.monotonic() - started

    def _line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError("no answer from the guest in %d s" % timeout)
            self.channel.settimeout(remaining)
            data = self.channel.recv(65536)
            if not data:
                raise RuntimeError("the guest closed its control channel; console:\n" + self.console_tail())
            self.pending += data
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode(errors="replace").rstrip("\r")

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
        self.next_id += 1
        encoded = base64.b64encode(script.encode()).decode()
        self.channel.sendall(("RUN %d %s\n" % (self.next_id, encoded)).encode())
        while True:
            line = self._line(timeout)
            words = line.split(" ")
            if words[0] == "DONE" and words[1] == str(self.next_id):
                output = base64.b64decode(words[3]) if len(words) > 3 else b""
                return int(words[2]), output.decode(errors="replace")
            if on_line:
                on_line(line)

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
        for listener in self.listeners:
            listener.close()
        shutil.rmtree(self.work, ignore_errors=True)
