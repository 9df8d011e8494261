"""One guest (guests.py) under qemu (TCG), booted from an initramfs, its serial ports wired
to the host (a unix socket each, or a pseudo-terminal for a port whose modem lines are
off), and the control port over which the host runs shell scripts in it: a virtio serial
port, or a UART where the machine has no virtio. The kernel's console goes to console.log
where it is on virtio.
"""
import base64
import os
import select
import socket
import subprocess
import time

from guests import CONTROL


class GuestError(Exception):
    pass


def _socket(path):
    return "path=%s,server=on,wait=off" % path


class Control:
    """The host's end of a guest's control channel, a connected socket. The guest sends
    "ready" once, then answers each script (one line, base64) with one line "done RC
    BASE64-OF-OUTPUT"; other lines the guest writes while a script runs go to `on_line`."""

    def __init__(self, connection, started):
        self._control = connection
        self._buffer = b""
        self.started = started

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
        return line.decode(errors="replace").rstrip("\r")

    def wait_ready(self, timeout=120.0):
        """Waits for the guest's runner; returns the seconds since `started`. What a
        UART may carry before it (a boot loader's or kernel's words) is passed over."""
        deadline = time.monotonic() + timeout
        while self._line(deadline - time.monotonic()) != "ready":
            pass
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

    def finish(self, timeout=60.0, on_line=None):
        """(exit status, output) of the script last started."""
        while True:
            line = self._line(timeout)
            parts = line.split(" ", 2)
            if len(parts) >= 2 and parts[0] == "done":
                break
            if on_line is None:
                raise GuestError("unexpected answer from the guest: %r" % line)
            on_line(line)
        output = base64.b64decode(parts[2]).decode(errors="replace") if len(parts) == 3 else ""
        return int(parts[1]), output

    def run(self, script, timeout=60.0, on_line=None):
        self.start(script)
        return self.finish(timeout, on_line)


class GuestMachine(Control):
    def __init__(self, guest, kernel, initramfs, work_dir, socket_dir, terminals):
        """`terminals`: device -> the host pseudo-terminal of each port on_terminal."""
        self.work_dir = work_dir
        self.console_log = os.path.join(work_dir, "console.log")
        # A socket for each port wired to a UART or named in the devices, and the control.
        names = [os.path.basename(port.device) for port in guest.ports
                 if port in guest.serials and not port.on_terminal or
                 any("{%s}" % os.path.basename(port.device) in a for a in guest.devices)]
        names += list(guest.relays) + [CONTROL]
        self.sockets = {name: os.path.join(socket_dir, name + ".sock") for name in names}
        for path in self.sockets.values():
            if os.path.exists(path):
                os.unlink(path)
        command = list(guest.qemu) + [
            "-accel", "tcg", "-m", guest.memory, "-nographic", "-nodefaults", "-no-reboot",
            "-kernel", kernel, "-initrd", initramfs, "-append", guest.append]
        if guest.dtb:
            command += ["-dtb", os.path.join(work_dir, "guest.dtb")]
        for number, wired in enumerate(guest.serials):
            if wired is None:
                # No UART at all in this place: on a PC an ISA port of its own index
                # leaves the line before it empty, as a machine without COM1 has it.
                continue
            if wired == CONTROL:
                chardev = "socket," + _socket(self.sockets[CONTROL])
            elif wired.on_terminal:
                chardev = "serial,path=" + terminals[wired.device]
            else:
                chardev = "socket," + _socket(self.sockets[os.path.basename(wired.device)])
            command += ["-chardev", "%s,id=s%d" % (chardev, number)]
            if guest.isa_serial:
                command += ["-device", "isa-serial,index=%d,chardev=s%d" % (number, number)]
            else:
                command += ["-serial", "chardev:s%d" % number]
        command += [argument.format(**{name: _socket(path)
                                       for name, path in self.sockets.items()})
                    for argument in guest.devices]
        if guest.virtio:
            command += [
                "-device", "virtio-serial",
                "-chardev", "file,id=log,path=%s" % self.console_log,
                "-device", "virtconsole,chardev=log",
                "-chardev", "socket,id=ctl,%s" % _socket(self.sockets[CONTROL]),
                "-device", "virtserialport,chardev=ctl,name=control"]
            for name in guest.relays:
                command += ["-chardev", "socket,id=%s,%s" % (name, _socket(self.sockets[name])),
                            "-device", "virtserialport,chardev=%s,name=%s" % (name, name)]
        self.powers_off = guest.powers_off
        started = time.monotonic()
        self._log = open(os.path.join(work_dir, "qemu.log"), "w")
        self._process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=self._log)
        try:
            Control.__init__(self, self._connect(self.sockets[CONTROL]), started)
        except BaseException:
            self._process.kill()
            self._process.wait()
            self._log.close()
            raise

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

    def trace(self):
        """What qemu has logged so far: the trace events the guest's arguments ask for."""
        with open(os.path.join(self.work_dir, "qemu.log"), errors="replace") as log:
            return log.read()

    def power_off(self, timeout=20.0):
        try:
            self.start("echo o > /proc/sysrq-trigger")
        except OSError:
            pass
        try:
            # A machine whose poweroff does not end qemu is ended here.
            self._process.wait(timeout if self.powers_off else 0.5)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        self._control.close()
        self._log.close()
