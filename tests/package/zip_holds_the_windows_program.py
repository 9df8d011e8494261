#!/usr/bin/env python3
"""The Windows .zip: one folder with VornSet.exe (32-bit), README.txt and an example
VornSet.ini, the texts in CR LF.

usage: zip_holds_the_windows_program.py PACKAGE.zip VERSION
"""
import struct
import sys
import zipfile

PE_MACHINE_I386 = 0x014C


def crlf_only(data):
    return data.endswith(b"\r\n") and data.count(b"\n") == data.count(b"\r\n")


def main():
    package, version = sys.argv[1:3]
    problems = []
    with zipfile.ZipFile(package) as archive:
        files = {name: archive.read(name) for name in archive.namelist() if not name.endswith("/")}
    folders = {name.split("/", 1)[0] for name in files}
    if len(folders) != 1:
        problems.append("not one folder: %s" % sorted(folders))
    folder = sorted(folders)[0]
    inside = {name[len(folder) + 1:]: data for name, data in files.items()}
    if sorted(inside) != ["README.txt", "VornSet.exe", "examples/VornSet.ini"]:
        problems.append("holds %s" % sorted(inside))

    exe = inside.get("VornSet.exe", b"")
    pe = struct.unpack_from("<I", exe, 0x3C)[0] if len(exe) > 0x40 and exe[:2] == b"MZ" else None
    if pe is None or exe[pe:pe + 4] != b"PE\0\0" or struct.unpack_from("<H", exe, pe + 4)[0] != PE_MACHINE_I386:
        problems.append("VornSet.exe is no 32-bit Windows program")
    for text in ("README.txt", "examples/VornSet.ini"):
        if not crlf_only(inside.get(text, b"")):
            problems.append("%s does not end every line in CR LF" % text)
    readme = inside.get("README.txt", b"").decode("ascii", "replace")
    if "VornSet %s" % version not in readme:
        problems.append("README.txt does not name version %s" % version)
    settings = inside.get("examples/VornSet.ini", b"")
    if not settings.upper().startswith(b"COM"):
        problems.append("the example settings do not begin with a COM line: %r" % settings)

    for problem in problems:
        print("zip: " + problem)
    if not problems:
        print("zip: %s holds %s" % (package.rsplit("/", 1)[-1], ", ".join(sorted(inside))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
