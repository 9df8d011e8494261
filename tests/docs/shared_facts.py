#!/usr/bin/env python3
"""The help, the manual page and the README tell a user the same facts.

usage: shared_facts.py PROGRAM MANUAL README

PROGRAM is the built Linux program (its --help and --version are read), MANUAL the
manual page source (formatted with man), README the README in Markdown. Each fact below
must appear in each of the three, word for word once markup and line breaks are gone.
"""
import os
import re
import subprocess
import sys

# Where VornSet.ini is looked for on Linux, in this order.
SEARCH_ORDER = [
    "the directory that holds the vornset program",
    "the current directory",
    "${XDG_CONFIG_HOME:-$HOME/.config}/vornset",
    "/etc/vornset",
    "each directory of PATH, in order",
]
WINDOWS_SEARCH = "the folder of VornSet.exe, then the system's search order (current folder, system folders, PATH)"

EXIT_CODES = [
    "0 the commands were sent",
    "1 not done as asked: settings file missing or unreadable, frequency out of range, serial port failure; the failure line says what went out",
    "255 fatal: the system refused what the program needs to run",
]

DEVICES = [
    "COMn is /dev/ttyS(n-1), so COM1 is /dev/ttyS0",
    "a device path used as it stands",
    "COM/dev/ttyUSB0",
    "COM/dev/serial/by-id/",
    # Linux has no exclusive open: the lock is all the program can promise.
    "locked against other programs that lock the port (flock), as terminal programs do",
    "a lock file of a running program (LCK..ttyUSB0 in /run/lock or /var/lock) keeps the port closed",
    "holds the port open without any lock",
]

OTHER_FACTS = [
    "Lines end at CR or CR LF",
    "--help",
    "--version",
    "--ports lists this machine's serial ports, most useful first, each with the settings line that selects it",
    "the message names the settings file and the fix",
    "DTR ON or DTR OFF, RTS ON or RTS OFF",
    "count only at the start of a line",
    "COMrfc2217://HOST:PORT",
    "COMtcp://HOST:PORT",
]


def flat(text):
    """One line of words: no Markdown markup, no list numbers or table rules."""
    text = text.replace("`", "").replace("**", "").replace("|", " ")
    text = re.sub(r"(?m)^\s*(?:\d+\.|[-*\u2022])\s+", " ", text)  # list markers
    return re.sub(r"\s+", " ", text)


def help_text(program):
    usage = subprocess.run([program, "--help"], capture_output=True, text=True, check=True).stdout
    return usage


def manual_text(manual):
    # Wide enough that no paragraph wraps; plain ASCII, no bold or underlining.
    env = dict(os.environ, MANWIDTH="1000", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    rendered = subprocess.run(["man", "-E", "ascii", "-l", manual], capture_output=True, text=True,
                              env=env, check=True).stdout
    return re.sub(r".\x08", "", rendered)


def problems_in(name, text):
    problems = []
    text = flat(text)
    for fact in [WINDOWS_SEARCH] + EXIT_CODES + DEVICES + OTHER_FACTS:
        if fact not in text:
            problems.append("%s does not say: %s" % (name, fact))
    # The places, in order: each one after the one before.
    at = 0
    for place in SEARCH_ORDER:
        found = text.find(place, at)
        if found < 0:
            problems.append("%s does not list, after the places before it: %s" % (name, place))
        else:
            at = found + len(place)
    return problems


def main():
    program, manual, readme = sys.argv[1:4]
    with open(readme, encoding="utf-8") as f:
        readme_text = f.read()
    texts = {"the help": help_text(program), "the manual page": manual_text(manual), "README.md": readme_text}
    problems = []
    for name, text in texts.items():
        problems += problems_in(name, text)

    # The manual page's header carries the version the program reports.
    version = subprocess.run([program, "--version"], capture_output=True, text=True, check=True).stdout.split()
    with open(manual, encoding="utf-8") as f:
        header = next(line for line in f if line.startswith(".TH"))
    if '"VornSet %s"' % version[-1] not in header:
        problems.append("the manual page header %r is not of version %s" % (header.strip(), version[-1]))

    for problem in problems:
        print(problem)
    print("shared facts: %d checked in %d texts, %d problems" % (
        len(SEARCH_ORDER) + 1 + len(EXIT_CODES) + len(DEVICES) + len(OTHER_FACTS), len(texts), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
