"""What the guest's termios_probe prints, and what a run may change in it: the rate, the
character size (to CS8), parity and stop bits (off), input parity checking (off), and the
terminal's processing (off, raw as cfmakeraw: echo, canonical mode, signals, input and
output translation). Every other flag, flow control among them, is the user's and must
come out as it went in."""
import re
import termios

CMSPAR = 0o10000000000

# Flags a run must not touch, by name, so a change says which.
KEPT_FLAGS = {
    "cflag": [("CRTSCTS", termios.CRTSCTS), ("HUPCL", termios.HUPCL),
              ("CLOCAL", termios.CLOCAL), ("CREAD", termios.CREAD),
              ("PARODD", termios.PARODD), ("CMSPAR", CMSPAR)],
    "iflag": [("IXON", termios.IXON), ("IXOFF", termios.IXOFF), ("IXANY", termios.IXANY),
              ("IGNPAR", termios.IGNPAR)],
    "oflag": [("ONLCR", termios.ONLCR)],
    "lflag": [("TOSTOP", termios.TOSTOP), ("NOFLSH", termios.NOFLSH)],
}
# The terminal's processing a run turns off, by name.
RAW_OFF = {
    "iflag": [("IGNBRK", termios.IGNBRK), ("BRKINT", termios.BRKINT), ("PARMRK", termios.PARMRK),
              ("ISTRIP", termios.ISTRIP), ("INLCR", termios.INLCR), ("IGNCR", termios.IGNCR),
              ("ICRNL", termios.ICRNL)],
    "oflag": [("OPOST", termios.OPOST)],
    "lflag": [("ECHO", termios.ECHO), ("ECHONL", termios.ECHONL), ("ICANON", termios.ICANON),
              ("ISIG", termios.ISIG), ("IEXTEN", termios.IEXTEN)],
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
    raw = {name: sum(bit for _, bit in flags) for name, flags in RAW_OFF.items()}
    for name, flags in RAW_OFF.items():
        problems.extend("%s on" % flag for flag, bit in flags if after[name] & bit)
    changed = (_changed("cflag", before["cflag"], after["cflag"], RUN_CFLAG_BITS) +
               _changed("iflag", before["iflag"], after["iflag"], termios.INPCK | raw["iflag"]) +
               _changed("oflag", before["oflag"], after["oflag"], raw["oflag"]) +
               _changed("lflag", before["lflag"], after["lflag"], raw["lflag"]))
    if changed:
        problems.append("changed: " + ", ".join(changed))
    return problems


def untouched_problems(before, after):
    changed = [name for name in ("ospeed", "ispeed", "iflag", "oflag", "cflag", "lflag")
               if before[name] != after[name]]
    return ["settings changed: " + ", ".join(changed)] if changed else []
