"""A gzip-compressed cpio (newc) archive, the guest's whole root file system."""
import gzip
import os
import stat


class Initramfs:
    def __init__(self):
        self._entries = []  # (name, mode, data, device number)
        self._directories = set()

    def directory(self, name):
        parts = name.strip("/").split("/")
        for end in range(1, len(parts) + 1):
            path = "/".join(parts[:end])
            if path and path not in self._directories:
                self._directories.add(path)
                self._entries.append((path, stat.S_IFDIR | 0o755, b"", (0, 0)))

    def file(self, name, data, mode=0o644):
        name = name.strip("/")
        self.directory(os.path.dirname(name))
        self._entries.append((name, stat.S_IFREG | mode, data, (0, 0)))

    def copy(self, name, source, mode=None):
        with open(source, "rb") as original:
            data = original.read()
        self.file(name, data, mode if mode is not None else os.stat(source).st_mode & 0o777)

    def write(self, path):
        body = bytearray()
        trailer = ("TRAILER!!!", 0, b"", (0, 0))
        for number, (name, mode, data, device) in enumerate(self._entries + [trailer], 1):
            encoded = name.encode() + b"\x00"
            fields = (number, mode, 0, 0, 1, 0, len(data), 0, 0, device[0], device[1],
                      len(encoded), 0)
            body += b"070701" + b"".join(b"%08X" % field for field in fields)
            body += encoded
            body += b"\x00" * (-len(body) % 4)
            body += data
            body += b"\x00" * (-len(body) % 4)
        with open(path, "wb") as archive:
            archive.write(gzip.compress(bytes(body), compresslevel=1))
