"""A unix socket that qemu connects to as a client: the host side of one guest device."""
import os
import socket


class UnixListener:
    def __init__(self, path):
        self.path = path
        if os.path.exists(path):
            os.unlink(path)
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(path)
        self.server.listen(1)
        self.connection = None

    def accept(self, timeout):
        self.server.settimeout(timeout)
        self.connection, _ = self.server.accept()
        self.server.close()
        return self.connection

    def close(self):
        if self.connection:
            self.connection.close()
        self.server.close()
        if os.path.exists(self.path):
            os.unlink(self.path)
