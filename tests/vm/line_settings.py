"""What the guest's termios_probe prints, and what a run may change in it: the rate, the
character size (to CS8), parity and stop bits (off) and input parity checking (off).
Every other flag is the user's and must come out as it went in."""
import re
import termios

CMSPAR = 0o10000000000

# Flags a run must not touch, by name, so a change says which.
KEPT_FLAGS = {
    "cflag": [("CRTSCTS", termios.CRTSCTS), ("HUPCL", termios.HUPCL),
              ("CLOCAL", termios.CLOCAL), ("CREAD", termios.CREAD),
              ("PARODD", termios.PARODD), ("CMSPAR", CMSPAR)],
    "iflag": [("IXON", termios.IXON), ("IXOFF", termios.IXOFF), ("IXANY", termios.IXANY),
              ("IGNPAR", termios.IGNPAR), ("PARMRK", termios.PARMRK),
              ("ISTRIP", termios.ISTRIP), ("ICRNL", termios.ICRNL), ("IGNBRK", termios.IGNBRK),
              ("BRKINT", termios.BRKINT)],
    "oflag": [("OPOST", termios.OPOST), ("ONLCR", termios.ONLCR)],
    "lflag": [("ICANON", termios.ICANON), ("ECHO", termios.ECHO), ("ISIG", termios.ISIG),
              ("IEXTEN", termios.IEXTEN)],
}
# The bits a run sets: the rate, then 8N1.
RUN_CFLAG_BITS = (termios.CBAUD | termios.CIBAUD | termios.CSIZE | termios.PARENB |
                  termios.CSTOPB)


def parse(text):
    """The fields of a termios_probe line as integers."""
    fields = dict(re.findall(r"(\w+)=(0x[0-9a-f]+|-?\d+)", text))
    if not {"ospeed", "ispeed", "iflag", "oflag", "cflag", "lflag"} <= fields.keys():
        raise ValueError("not a termios_probe line: %r" % text)
    return {name: int(value, 0) for name, value in fields.items()}


def _changed(name, before, after, ignore=0):
    difference = (before ^ after) & ~ignore
    named = [flag for flag, bit in KEPT_FLAGS[name] if difference & bit]
    rest = difference & ~sum(bit for _, bit in KEPT_FLAGS[name])
    if rest:
        named.append("%s bits 0x%x" % (name, rest))
    return named


def run_problems(before, after, baud):
    """What is wrong with `after`, the settings a run at `baud` left, given `before`."""
    problems = []
    if after["ospeed"] != baud or after["ispeed"] != baud:
        problems.append("speed %d/%d, not %d" % (after["ospeed"], after["ispeed"], baud))
    if after["cflag"] & termios.CSIZE != termios.CS8:
        problems.append("not CS8")
    if after["cflag"] & termios.PARENB:
        problems.append("PARENB on")
    if after["cflag"] & termios.CSTOPB:
        problems.append("CSTOPB on")
    if after["iflag"] & termios.INPCK:
        problems.append("INPCK on")
    changed = (_changed("cflag", before["cflag"], after["cflag"], RUN_CFLAG_BITS) +
               _changed("iflag", before["iflag"], after["iflag"], termios.INPCK) +
               _changed("oflag", before["oflag"], after["oflag"]) +
               _changed("lflag", before["lflag"], after["lflag"]))
    if changed:
        problems.append("changed: " + ", ".join(changed))
    return problems


def untouched_problems(before, after):
    changed = [name for name in ("ospeed", "ispeed", "iflag", "oflag", "cflag", "lflag")
               if before[name] != after[name]]
    return ["settings changed: " + ", ".join(changed)] if changed else []
