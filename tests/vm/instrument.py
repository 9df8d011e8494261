"""The instrument's end of a serial line of a virtual machine: a unix socket, or a
pseudo-terminal.

qemu listens on the socket (`-chardev socket,path=...,server=on,wait=off`), or connects to
one the host listens on (`Instrument.on_socket`), and passes every byte the guest's UART or
USB-serial adapter sends; what is written to the socket reaches the guest as received bytes. A UART can also be given a host terminal (`-chardev serial,path=`);
qemu then takes the UART's modem lines from that terminal, and a pseudo-terminal has none:
the guest sees CTS, DSR and CD off for good.

An Instrument records every chunk that arrives with the time it arrived (`chunks`), and
can answer on the line (XOFF, XON, anything) or stay silent. One thread per line reads.
"""
import os
import pty
import socket
import threading
import time
import tty

XOFF = b"\x13"
XON = b"\x11"


class Instrument:
    def __init__(self, path, connect_timeout=10.0):
        connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        # qemu creates the socket as it starts; it may not be there yet.
        deadline = time.monotonic() + connect_timeout
        while True:
            try:
                connection.connect(path)
                break
            except (FileNotFoundError, ConnectionRefusedError):
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.05)
        self._begin(connection.recv, connection.sendall, lambda: _close_socket(connection))

    @classmethod
    def on_socket(cls, connection):
        line = cls.__new__(cls)
        line._begin(connection.recv, connection.sendall, lambda: _close_socket(connection))
        return line

    @classmethod
    def on_pseudo_terminal(cls):
        """An instrument on a new pseudo-terminal, and the path qemu is to open."""
        master, slave = pty.openpty()
        # Bytes pass as they are; and the slave stays open here, so the master's reads
        # never fail while qemu has not opened it yet.
        tty.setraw(slave)
        line = cls.__new__(cls)

        def close():
            # Once qemu has closed its end too, the master's read fails and the reader ends.
            os.close(slave)
            line._reader.join(timeout=2.0)
            os.close(master)

        def send_all(data):
            while data:
                data = data[os.write(master, data):]

        line._begin(lambda size: os.read(master, size), send_all, close)
        return line, os.ttyname(slave)

    def _begin(self, receive, send_all, close):
        self._receive = receive
        self._send_all = send_all
        self._close = close
        self._chunks = []
        self._lock = threading.Condition()
        self._closed = False
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        while True:
            try:
                data = self._receive(65536)
            except OSError:
                data = b""
            now = time.monotonic()
            with self._lock:
                if not data:
                    self._closed = True
                    self._lock.notify_all()
                    return
                self._chunks.append((now, data))
                self._lock.notify_all()

    def send(self, data):
        """Puts `data` on the line towards the guest's port."""
        self._send_all(data)

    def clear(self):
        """Forgets what was received so far."""
        with self._lock:
            self._chunks = []

    def chunks(self):
        """Every chunk since the last clear, as (time.monotonic() of arrival, bytes)."""
        with self._lock:
            return list(self._chunks)

    def wait_for(self, count, timeout):
        """Waits until `count` bytes have arrived since the last clear, at most `timeout` s.
        Returns the bytes received by then."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while sum(len(data) for _, data in self._chunks) < count and not self._closed:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._lock.wait(left)
            return b"".join(data for _, data in self._chunks)

    def wait_quiet(self, quiet, timeout):
        """Waits until nothing has arrived for `quiet` seconds, at most `timeout` s.
        Returns the bytes received by then."""
        begun = time.monotonic()
        deadline = begun + timeout
        with self._lock:
            while not self._closed:
                last = max(self._chunks[-1][0], begun) if self._chunks else begun
                now = time.monotonic()
                if now - last >= quiet or now >= deadline:
                    break
                self._lock.wait(min(quiet - (now - last), deadline - now))
            return b"".join(data for _, data in self._chunks)

    def close(self):
        self._close()
        self._reader.join(timeout=2.0)


def _close_socket(connection):
    try:
        connection.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    connection.close()
