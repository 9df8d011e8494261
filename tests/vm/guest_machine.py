"""One qemu-system-x86_64 guest (TCG) booted from an initramfs, its serial ports wired to
the host (unix sockets, one pseudo-terminal), and the control port over which the host runs
shell scripts in it.

The guest's ports:
  /dev/ttyS0    the first 8250, wired to nothing, never used
  /dev/ttyS1    the second 8250, socket ttyS1.sock
  /dev/ttyS2    the third 8250, on a host pseudo-terminal, so that its CTS is off for good
  /dev/ttyUSB0  an FTDI adapter on an xHCI controller, socket ttyUSB0.sock
  ttyGS0/1      virtio serial ports, sockets ttyGS0.sock and ttyGS1.sock: the relays of
                the guest's USB gadget ports (usb_gadget.sh) to the host
  control       a virtio serial port, socket control.sock (guest_init.sh answers on it)
  hvc0          the kernel's console (virtio), written to console.log
"""
import base64
import os
import select
import socket
import subprocess
import time

SERIAL_SOCKETS = ("ttyS1", "ttyUSB0")
RELAY_SOCKETS = ("ttyGS0", "ttyGS1")


class GuestError(Exception):
    pass


class GuestMachine:
    def __init__(self, qemu, kernel, initramfs, work_dir, socket_dir, ttys2_terminal):
        self.work_dir = work_dir
        self.console_log = os.path.join(work_dir, "console.log")
        sockets = {name: os.path.join(socket_dir, name + ".sock")
                   for name in SERIAL_SOCKETS + RELAY_SOCKETS + ("control",)}
        for path in sockets.values():
            if os.path.exists(path):
                os.unlink(path)
        self.sockets = sockets
        command = [
            qemu, "-accel", "tcg", "-m", "256", "-nographic", "-nodefaults", "-no-reboot",
            "-kernel", kernel, "-initrd", initramfs,
            "-append", "console=hvc0 8250.nr_uarts=3 quiet panic=-1",
            "-chardev", "null,id=s0", "-serial", "chardev:s0",
            "-chardev", "socket,id=s1,path=%s,server=on,wait=off" % sockets["ttyS1"],
            "-serial", "chardev:s1",
            "-chardev", "serial,id=s2,path=%s" % ttys2_terminal, "-serial", "chardev:s2",
            "-device", "qemu-xhci",
            "-chardev", "socket,id=u0,path=%s,server=on,wait=off" % sockets["ttyUSB0"],
            "-device", "usb-serial,chardev=u0",
            "-device", "virtio-serial",
            "-chardev", "file,id=log,path=%s" % self.console_log,
            "-device", "virtconsole,chardev=log",
            "-chardev", "socket,id=ctl,path=%s,server=on,wait=off" % sockets["control"],
            "-device", "virtserialport,chardev=ctl,name=control",
        ]
        for name in RELAY_SOCKETS:
            command += ["-chardev", "socket,id=%s,path=%s,server=on,wait=off" % (name, sockets[name]),
                        "-device", "virtserialport,chardev=%s,name=%s" % (name, name)]
        self.started = time.monotonic()
        self._log = open(os.path.join(work_dir, "qemu.log"), "w")
        self._process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=self._log)
        try:
            self._control = self._connect(sockets["control"])
        except BaseException:
            self._process.kill()
            self._process.wait()
            self._log.close()
            raise
        self._buffer = b""

    def _connect(self, path, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            if self._process.poll() is not None:
                raise GuestError("qemu ended at once (see %s/qemu.log)" % self.work_dir)
            control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                control.connect(path)
                return control
            except (FileNotFoundError, ConnectionRefusedError):
                control.close()
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)

    def _line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise GuestError("the guest did not answer within %.0f s" % timeout)
            self._control.settimeout(left)
            try:
                data = self._control.recv(65536)
            except socket.timeout:
                continue
            if not data:
                raise GuestError("the guest closed its control port")
            self._buffer += data
        line, self._buffer = self._buffer.split(b"\n", 1)
        return line.decode()

    def wait_ready(self, timeout=120.0):
        """Waits for the guest's runner; returns the seconds since qemu started."""
        line = self._line(timeout)
        if line != "ready":
            raise GuestError("unexpected first line from the guest: %r" % line)
        return time.monotonic() - self.started

    def start(self, script):
        """Sends a shell script to run in the guest; `finish` collects its result."""
        self._control.sendall(base64.b64encode(script.encode()) + b"\n")

    def answered(self):
        """Whether the script last started has ended by now."""
        while b"\n" not in self._buffer:
            if not select.select([self._control], [], [], 0)[0]:
                return False
            data = self._control.recv(65536)
            if not data:
                return True
            self._buffer += data
        return True

    def finish(self, timeout=60.0):
        """(exit status, output) of the script last started."""
        line = self._line(timeout)
        parts = line.split(" ", 2)
        if len(parts) < 2 or parts[0] != "done":
            raise GuestError("unexpected answer from the guest: %r" % line)
        output = base64.b64decode(parts[2]).decode(errors="replace") if len(parts) == 3 else ""
        return int(parts[1]), output

    def run(self, script, timeout=60.0):
        self.start(script)
        return self.finish(timeout)

    def power_off(self, timeout=20.0):
        try:
            self.start("echo o > /proc/sysrq-trigger")
        except OSError:
            pass
        try:
            self._process.wait(timeout)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        self._control.close()
        self._log.close()
