"""The table of runs of the program in the guests (guests.py), each with the instrument on
the host's end: on x86-64, the 8250 UART (/dev/ttyS1), the FTDI USB-serial adapter
(/dev/ttyUSB0), another 8250 (/dev/ttyS2) whose CTS is off, and the two ports of a USB
gadget in the guest (usb_gadget.sh): cdc-acm's /dev/ttyACM0 and the usb-serial core's
generic driver's /dev/ttyUSB1, whose gadget sides relay to the host's instrument; on a
Raspberry Pi 3 B, its mini UART (/dev/ttyS1); on the ARM virt machines, the PL011
(/dev/ttyAMA0).

Before each run the port is left as a careless earlier program might leave it: 7 data bits,
even parity, two stop bits, parity checking on, hang-up on close, modem control on, and
whatever flow control the row names (the mini UART, which has one stop bit and no parity,
without those two). A run must leave 8N1 at its rate, parity checking off, the terminal's
processing off (raw: no echo, canonical mode, signals or translation), and every other flag,
flow control among them, as it found it, on every port whose driver keeps line settings (the generic usb-serial
driver keeps none).

Kinds of row:
  sent        the exact bytes arrive, exit 0, the settings above
  refused     a rate the driver cannot make: exit 1 and the message naming the rate and the
              rate the commands still went out at
  held        another program holds the port open with IXON and the instrument has sent
              XOFF: the run gives up within 3 s, exit 1, and nothing goes out, not even
              after XON; afterwards a normal user can open the port (every row with
              another program holding the port asks this)
  held-alone  the same, but the other program ends half a second into the run: the run is
              the port's last user when it gives up, and must not sit in the kernel's
              closing wait (30 s) with the bytes it could not send
  closing     held as in "held", and the other program hands the port to one that writes a
              byte and ends, which leaves it in the kernel's closing wait (30 s) for the
              held line: the run's open waits behind it and gives up within 3 s, exit 1,
              "in use by another program", and nothing of the run's goes out
  cts-off     hardware flow control (CRTSCTS) on, CTS off: the run, the port's only user,
              gives up within 3 s, exit 1, and nothing goes out
  released    held as in "held", and the instrument sends XON a second into the run:
              exit 0, every byte, and the run ended only once the bytes had left
  shared      another program holds the port open without a lock: the run (as a normal
              user) sends, and afterwards a normal user can still open the port
  oversized   a settings file over 1 MiB: "cannot be read", exit 1, the port untouched
  rate-fixed  a driver that sets nothing on the line (the generic usb-serial driver): the
              rate is refused, exit 1, and the commands go out all the same
  usb-held    the gadget is connected afresh and its port not opened, so the USB transfers
              wait: the run gives up within 3 s, exit 1, and nothing arrives once the
              gadget's port is opened afterwards
  unplugged   the same, and the gadget is disconnected half a second into the run: the run
              ends within 3 s, exit 1, and says the device was removed
  usb-closing as "usb-held", and a program that writes a byte to the port and ends is left in
              the kernel's closing wait for the waiting transfer: as "closing"
  ports       `vornset --ports`: the guest's ports as LISTED says, in that order, exit 0
  lines-unsure  the row's DTR and RTS lines in the settings file, on a driver that refuses
              a line setting (the generic usb-serial driver refuses every rate, and has no
              modem lines to set): the setting
              may have been the one that carried the lines, so exit 1, the message, and
              nothing goes out
  lines       the row's DTR and RTS lines in the settings file, the port at -hupcl (so that
              the close leaves the lines as the run left them), from the row's start rate
              (0: hung up, so that the run's rate raises both lines again): as "sent", and
              DTR and RTS afterwards as the row says, read from the driver's table, since
              an open would raise them
  lines-refused  the same on the FTDI adapter with a rate it refuses: exit 1 and the message
              naming the rate, and the lines as the row says, from qemu's trace of the
              adapter's modem control requests (its driver has no table of them); ftdi_sio
              puts its fallback rate into the line, which leaves rate 0 and raises both
"""
import re
import shlex
import time
from dataclasses import dataclass

import line_settings
from instrument import XOFF, XON


START_SETTINGS = "19200 cs7 parenb -parodd cstopb inpck hupcl -clocal"


@dataclass(frozen=True)
class Port:
    device: str
    driver: str
    # FTDI: each write of the program goes to the adapter in one USB transfer of its own
    # (or together with the writes queued behind it), and qemu passes each transfer to the
    # socket in one piece, so a chunk that ends inside a command shows a split write.
    # qemu's UARTs pass every byte to the socket alone: write boundaries do not show.
    shows_writes: bool = False
    start: str = START_SETTINGS
    # The driver's table in /proc/tty/driver and the port's line in it (received bytes).
    table: tuple = ("serial", 1)
    # qemu takes the UART's modem lines from a host pseudo-terminal, which has none.
    on_terminal: bool = False
    # qemu's mini UART has no divisor latch: the driver's writes to it land in the data
    # register (the divisor's low byte goes out each time the port is set up) and in the
    # interrupt enable register (the high byte). This is its clock over 16.
    latch_clock: int = 0
    # The virtio port to which the gadget side of a USB gadget port relays; "" for others.
    relay: str = ""
    # The driver takes no line settings at all: a preparing stty is partly ignored.
    fixed_line: bool = False
    # The lines are read from qemu's trace of the adapter's modem control requests.
    traced_lines: bool = False


UART = Port("/dev/ttyS1", "8250")
FTDI = Port("/dev/ttyUSB0", "ftdi_sio", shows_writes=True, traced_lines=True)
CTS_OFF = Port("/dev/ttyS2", "8250", on_terminal=True)
# The relays pass on what they read, in chunks of their own.
ACM = Port("/dev/ttyACM0", "cdc_acm", relay="ttyGS0")
GENERIC = Port("/dev/ttyUSB1", "usbserial", relay="ttyGS1", fixed_line=True)
GADGET_PORTS = (ACM, GENERIC)
PORTS = (UART, FTDI, CTS_OFF) + GADGET_PORTS
MINI_UART = Port("/dev/ttyS1", "bcm2835aux", start="9600 cs7 inpck hupcl -clocal",
                 latch_clock=50000000)
PL011 = Port("/dev/ttyAMA0", "pl011", table=("ttyAMA", 0))
ARM_PORTS = (MINI_UART, PL011)

HF = ("LP1;", "TT0;")
VHF = ("LP0;", "TT1;")
LF = ("LP1;", "TT1;")
HF_7_05 = HF + ("FA00007050000;",)

HELD_LIMIT_S = 3.0
HOLDER_LEAVES_S = 0.5
XON_DELAY_S = 1.0
OVERSIZED_BYTES = 1024 * 1024 + 1
UNPLUG_AFTER_S = 0.5
NOT_TAKEN = "Serial port {device} did not take all commands (timed out)"
IN_USE = "Serial port {device} could not be opened (in use by another program)"
REMOVED = "Serial port {device} did not take all commands (device removed)"
REFUSED = "Serial port {device} refused the line settings (baud rate {baud} not supported)"
# The commands still went out after a refused rate, at the rate the line then had.
KEPT_RATE = REFUSED + "; sent at %d baud, the line's rate before"
DRIVERS_RATE = REFUSED + "; sent at %d baud, the driver's own rate"
NO_LINES = "Serial port {device} refused the line settings (no modem lines on this port)"


@dataclass(frozen=True)
class Kind:
    exit: int
    sends: object              # True: every command arrives; False: nothing; None: unchecked
    message: str = ""          # a line the terminal must show
    gives_up: bool = False     # the line cannot take the commands: the run ends within 3 s
    settings: str = "run"      # "run": 8N1 at the rate, the rest kept; "kept": untouched
    holder: bool = False       # another program holds the port open during the run
    holder_leaves: bool = False  # ... and ends half a second into it
    closing: bool = False      # a program writes a byte and ends before the run: closing wait
    xoff: bool = False         # the instrument has sent XOFF before the run
    xon_during: bool = False   # ... and sends XON a second into it
    as_user: bool = False      # the run, and an open afterwards, by a normal user
    oversized: bool = False    # the settings file is over 1 MiB
    usb_held: bool = False     # the gadget is connected afresh and its side not opened
    unplugged: bool = False    # ... and is disconnected half a second into the run
    listing: bool = False      # the run is `vornset --ports`: no port is touched
    modem_lines: bool = False  # DTR and RTS are read from the driver's table after the run


KINDS = {
    "sent": Kind(0, True),
    # What goes out after a refused rate is not asked here.
    "refused": Kind(1, None, REFUSED, settings=""),
    "held": Kind(1, False, NOT_TAKEN, gives_up=True, holder=True, xoff=True),
    "held-alone": Kind(1, False, NOT_TAKEN, gives_up=True, holder=True, holder_leaves=True,
                       xoff=True),
    # The settings cannot be read afterwards without waiting behind the closer too.
    "closing": Kind(1, False, IN_USE, gives_up=True, settings="", holder=True, closing=True,
                    xoff=True),
    "cts-off": Kind(1, False, NOT_TAKEN, gives_up=True),
    "released": Kind(0, True, holder=True, xoff=True, xon_during=True),
    "shared": Kind(0, True, holder=True, as_user=True),
    "oversized": Kind(1, False, "VornSet.INI cannot be read, COM port parameters cannot be set",
                      settings="kept", oversized=True),
    "rate-fixed": Kind(1, True, REFUSED, settings=""),
    "usb-held": Kind(1, False, NOT_TAKEN, gives_up=True, usb_held=True),
    "usb-closing": Kind(1, False, IN_USE, gives_up=True, settings="", usb_held=True, closing=True),
    "unplugged": Kind(1, False, REMOVED, gives_up=True, settings="", usb_held=True,
                      unplugged=True),
    "ports": Kind(0, False, settings="kept", listing=True),
    "lines": Kind(0, True, modem_lines=True),
    "lines-unsure": Kind(1, False, REFUSED, settings=""),
    # The settings are not read afterwards: the probe's open would raise the lines.
    "lines-refused": Kind(1, None, REFUSED, settings="", modem_lines=True),
}

# What `vornset --ports` shows in the guest, each line as settings line and device. The
# USB ports first (the gadget's carry no maker's names), then every 8250 with a UART
# behind it: ttyS0, which has none, is left out, as are the virtio console (hvc0), the
# virtual consoles and the 8250 lines past nr_uarts.
# The adapter's serial number names its place on the bus, which the machine decides.
LISTED = [
    ("COM/dev/ttyACM0", "/dev/ttyACM0, cdc_acm"),
    ("COM/dev/ttyUSB0", "/dev/ttyUSB0, ftdi_sio, QEMU, QEMU USB SERIAL, serial "),
    ("COM/dev/ttyUSB1", "/dev/ttyUSB1, generic"),
    ("COM2", "/dev/ttyS1, serial"),
    ("COM3", "/dev/ttyS2, serial"),
]


@dataclass(frozen=True)
class Row:
    kind: str
    port: Port
    baud: int
    arguments: str = "7.05"
    commands: tuple = HF_7_05
    flow: str = "-ixon -crtscts"
    timed: bool = False
    message: str = ""  # the line the terminal must show, where not the kind's
    modem: str = ""    # modem line keys for the settings file ("DTR OFF RTS ON")
    start_rate: int = -1  # the rate the port is left at before the run; -1: the port's own
    lines_after: tuple = ()  # the lines raised after the run, as the driver's table names them

    @property
    def name(self):
        if KINDS[self.kind].listing:
            return "%-10s %-20s  vornset %s" % (self.kind, "(every port)", self.arguments)
        flow = " " + " ".join(f for f in self.flow.split() if not f.startswith("-"))
        if KINDS[self.kind].modem_lines:
            flow = " from %d, %s" % (self.start_rate, self.modem or "no keys")
        elif self.modem:
            flow += ", " + self.modem
        return "%-10s %-12s %7d  vornset %-11s%s" % (
            self.kind, self.port.device, self.baud, self.arguments, flow.rstrip())

    @property
    def start(self):
        if self.start_rate < 0:
            return self.port.start
        # -hupcl: the closes before and after the run leave the lines alone.
        return " ".join([str(self.start_rate)] + self.port.start.replace("hupcl", "-hupcl").split()[1:])


TABLE = [
    Row("sent", UART, 300, "vhf", VHF),
    Row("sent", UART, 19200, timed=True),
    Row("sent", UART, 115200, "0.5", LF + ("FA00000500000;",)),
    Row("sent", UART, 28800, "144", VHF + ("FA00144000000;",)),  # not a B-constant rate
    Row("sent", UART, 19200, flow="ixon -crtscts"),
    Row("sent", UART, 19200, flow="-ixon crtscts"),
    Row("refused", UART, 250000, message=KEPT_RATE % 19200),  # above the 16550A's 115200
    Row("sent", FTDI, 300, "lf", LF),
    Row("sent", FTDI, 19200, timed=True),
    Row("sent", FTDI, 115200, "FREQ 21.2", HF + ("FA00021200000;",)),
    Row("sent", FTDI, 250000, "FREQ 50 VHF", HF + ("FA00050000000;",)),  # the number decides
    Row("sent", FTDI, 19200, flow="ixon -crtscts"),
    Row("sent", FTDI, 19200, flow="-ixon crtscts"),
    # Above the FT232B's 3 MBd: ftdi_sio puts its 9600 in its place.
    Row("refused", FTDI, 4000000, message=DRIVERS_RATE % 9600),
    # qemu's FTDI adapter ignores XON/XOFF and shows CTS always on: a held line is made on
    # the 8250, with XOFF or with CTS off.
    Row("held", UART, 19200, flow="ixon -crtscts"),
    Row("held-alone", UART, 19200, flow="ixon -crtscts"),
    Row("closing", UART, 19200, flow="ixon -crtscts"),
    Row("cts-off", CTS_OFF, 19200, flow="-ixon crtscts"),
    Row("released", UART, 19200, flow="ixon -crtscts"),
    Row("shared", UART, 19200),
    Row("shared", FTDI, 19200),
    Row("oversized", UART, 19200),
    Row("ports", UART, 19200, "--ports", ()),
    # Rate 0 drops both lines before the run, and the run's rate raises them again.
    Row("lines", UART, 19200, start_rate=0, lines_after=("RTS", "DTR")),
    Row("lines", UART, 19200, modem="DTR OFF RTS OFF", start_rate=0),
    Row("lines", UART, 19200, modem="dtr on rts off", start_rate=0, lines_after=("DTR",)),
    Row("lines", UART, 19200, modem="DTR OFF RTS ON", start_rate=19200, lines_after=("RTS",)),
    Row("lines", UART, 19200, modem="DTR ON RTS ON", start_rate=19200, lines_after=("RTS", "DTR")),
    Row("lines", UART, 19200, start_rate=19200, lines_after=("RTS", "DTR")),
    Row("lines-refused", FTDI, 4000000, modem="DTR OFF RTS OFF", start_rate=0),
    Row("sent", ACM, 19200, timed=True),
    Row("sent", ACM, 115200, "FREQ 21.2", HF + ("FA00021200000;",)),
    Row("sent", ACM, 19200, flow="-ixon crtscts"),
    Row("rate-fixed", GENERIC, 19200, timed=True, message=KEPT_RATE % 9600),
    # The USB drivers take the lines (their state cannot be read without an open, which
    # raises them).
    Row("sent", FTDI, 19200, modem="DTR OFF RTS ON"),
    Row("sent", ACM, 19200, modem="DTR OFF RTS OFF"),
    # The lowering right after the open is the first to fail.
    Row("lines-unsure", GENERIC, 19200, modem="DTR OFF", message=NO_LINES),
    # The generic driver's refusal comes first, and the first failure is the one told.
    Row("usb-held", ACM, 19200),
    Row("usb-held", GENERIC, 19200, message=REFUSED),
    Row("unplugged", ACM, 19200),
    Row("unplugged", GENERIC, 19200, message=REFUSED),
    Row("usb-closing", ACM, 19200),
    # The mini UART's rate is the core clock (400 MHz in qemu) over 8 x (divisor + 1). Its
    # rates here have a divisor whose high byte leaves the transmit interrupt off in qemu
    # (not 19200 nor 57600: the guest would drown in interrupts).
    Row("sent", MINI_UART, 38400, timed=True),
    Row("sent", MINI_UART, 9600, "vhf", VHF),
    Row("sent", MINI_UART, 115200, "0.5", LF + ("FA00000500000;",)),
    Row("sent", MINI_UART, 1000000, "144", VHF + ("FA00144000000;",)),
    # Below its slowest, 763 (a 16-bit divisor): the serial core keeps the line's 9600.
    Row("refused", MINI_UART, 300, message=KEPT_RATE % 9600),
    Row("held", MINI_UART, 9600, flow="ixon -crtscts"),
    Row("sent", PL011, 19200, timed=True),
    Row("sent", PL011, 300, "vhf", VHF),
    Row("sent", PL011, 115200, "0.5", LF + ("FA00000500000;",)),
    # Above its 24 MHz clock over 16: the serial core keeps the line's 19200.
    Row("refused", PL011, 3000000, message=KEPT_RATE % 19200),
    Row("held", PL011, 19200, flow="ixon -crtscts"),
]
# The guest's ttyS0 stands for a machine's console: no run goes near it.
assert all(row.port in PORTS + ARM_PORTS for row in TABLE)


def wire_seconds(byte_count, baud):
    """A byte of 8N1 is ten bits on the line: start, eight data, stop."""
    return byte_count * 10 / baud


def _terminal_lines(text):
    plain = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text).replace("\r", "")
    return [line.rstrip() for line in plain.split("\n")]


def _run_script(row):
    kind = KINDS[row.kind]
    settings = "COM%s\r\nBAUD %d\r\n" % (row.port.device, row.baud)
    words = row.modem.split()
    settings += "".join("%s %s\r\n" % pair for pair in zip(words[::2], words[1::2]))
    program = "on_terminal /bin/vornset " + row.arguments
    if kind.as_user:
        program = "su tester -s /bin/sh -c %s" % shlex.quote(program)
    before_run = ""
    if kind.holder_leaves:
        before_run = "(sleep %.1f; kill $(cat /tmp/holder)) &" % HOLDER_LEAVES_S
    if kind.closing:
        # The closer ends normally: a process killed by a signal does not wait in its close.
        before_run = "(printf %s; sleep 0.3) > %s & sleep 0.1; %s sleep 0.5" % (
            shlex.quote(CLOSER_BYTES.decode()), row.port.device,
            "kill $(cat /tmp/holder);" if kind.holder else "")
    if kind.oversized:
        before_run = "head -c %d /dev/zero | tr '\\0' x >> VornSet.ini" % OVERSIZED_BYTES
    if kind.unplugged:
        before_run = "(sleep %.1f; usb_gadget unplug) > /dev/null 2>&1 &" % UNPLUG_AFTER_S
    return "\n".join([
        "rm -rf /tmp/case && mkdir -m 755 /tmp/case && cd /tmp/case",
        "printf %s > VornSet.ini" % shlex.quote(settings.replace("\\", "\\\\")),
        before_run,
        "chmod 644 VornSet.ini",
        "t0=$EPOCHREALTIME",
        program + " > terminal.txt",
        "rc=$?",
        "t1=$EPOCHREALTIME",
        'echo "exit $rc"',
        'echo "elapsed $t0 $t1"',
        # Before the probe, whose open raises the lines.
        'echo "lines $(sed -n "s/^%d: //p" /proc/tty/driver/%s)"' % (row.port.table[1], row.port.table[0]),
        'echo "termios $(termios_probe %s)"' % row.port.device if kind.settings else "",
        "echo terminal",
        "cat terminal.txt",
    ])


def _parse_run(output, kind):
    head, _, terminal = output.partition("\nterminal\n")
    values = dict(line.split(" ", 1) for line in head.splitlines() if " " in line)
    t0, t1 = (float(value) for value in values["elapsed"].split())
    return {
        "exit": int(values["exit"]),
        "elapsed": t1 - t0,
        # An unplugged port has no settings left to read.
        "termios": line_settings.parse(values["termios"]) if kind.settings else None,
        "terminal": _terminal_lines(terminal),
        # The table's line ends with the raised output lines and the input lines seen:
        # "... rx:0 RTS|CTS|DTR"; only DTR and RTS are the run's.
        "lines": tuple(name for name in (values.get("lines", "").split() or [""])[-1].split("|")
                       if name in ("DTR", "RTS")),
    }


CLOSER_BYTES = b"#"
HOLDER = "sleep 60 < {device} > /dev/null 2>&1 & echo $! > /tmp/holder"
# The holder's close is part of its exit: it is gone, or a zombie, once the port is free.
END_HOLDER = ("pid=$(cat /tmp/holder); kill $pid 2> /dev/null; "
              "while [ -d /proc/$pid ] && ! grep -q '^State:.*Z' /proc/$pid/status; do "
              "sleep 0.02; done")
# The port's count of received bytes, from the driver's table.
RECEIVED_COUNT = "sed -n 's/^{line}: .* rx:\\([0-9]*\\).*/\\1/p' /proc/tty/driver/{table}"
XOFF_TAKEN = ("for i in $(seq 250); do [ $(%s) -gt {count} ] && exit 0; sleep 0.02; done; exit 1"
              % RECEIVED_COUNT)
USER_OPEN = "su tester -s /bin/sh -c 'stty -F {device} > /dev/null'"


# qemu's trace of the FTDI adapter's requests: 0x4001 sets the modem lines, each of DTR
# (0x100) and RTS (0x200) that the value names to its low bit (1 DTR, 2 RTS).
MODEM_CONTROL = re.compile(r"usb_serial_handle_control .*control 0x4001, value 0x([0-9a-f]+)")


def _traced_lines(trace):
    """The lines raised once the requests in `trace` are done; None without a request."""
    levels = {}
    for match in MODEM_CONTROL.finditer(trace):
        value = int(match.group(1), 16)
        for name, bit in (("DTR", 1), ("RTS", 2)):
            if value & bit << 8:
                levels[name] = bool(value & bit)
    if not levels:
        return None
    return tuple(name for name in ("RTS", "DTR") if levels.get(name))


def _send_xoff(guest, line, port):
    """Sends XOFF; true once the guest's driver has received it. The line discipline (the
    holder's) stops the port's output as it takes the byte, a moment later."""
    table, number = port.table
    _, count = guest.run(RECEIVED_COUNT.format(table=table, line=number))
    line.send(XOFF)
    status, _ = guest.run(XOFF_TAKEN.format(table=table, line=number, count=int(count)) +
                          "\nsleep 0.1")
    return status == 0


def _listing_problems(guest, line):
    """Runs `vornset --ports` in the guest: nothing may reach the port, and the listing
    must be LISTED, line for line (a device's text may go on where LISTED ends in a blank)."""
    line.clear()
    status, text = guest.run("cd /tmp && vornset --ports; echo \"exit $?\"")
    listed = text.splitlines()
    problems = []
    if status != 0 or not listed or listed[-1] != "exit 0":
        problems.append("the listing did not end with exit 0: %r" % text)
    shown = [tuple(part.strip() for part in entry.split("  ", 1)) for entry in listed[:-1]]
    if len(shown) != len(LISTED) or any(
            got[0] != want[0] or not (got[-1] == want[1] or want[1].endswith(" ") and got[-1].startswith(want[1]))
            for got, want in zip(shown, LISTED)):
        problems.append("listed %r, not %r" % (listed[:-1], LISTED))
    if line.wait_quiet(0.2, timeout=1.0):
        problems.append("the listing sent bytes to the port")
    return problems


def run_row(guest, lines, row):
    """Runs one row; returns (problems, note)."""
    device = row.port.device
    line = lines[device]
    kind = KINDS[row.kind]
    if kind.listing:
        return _listing_problems(guest, line), ""
    prepare = []
    if kind.usb_held:
        prepare.append("usb_gadget quiet && usb_gadget unplug && usb_gadget plug || exit 1")
    prepare.append("stty -F %s %s %s%s" % (device, row.start, row.flow,
                                           " || true" if row.port.fixed_line else ""))
    if kind.holder:
        prepare.append(HOLDER.format(device=device))
    prepare.append("termios_probe " + device)
    status, text = guest.run("\n".join(prepare))
    if status != 0:
        return ["preparing the port failed: " + text.strip()], ""
    before = line_settings.parse(text.splitlines()[-1])

    line.clear()
    problems = []
    if kind.xoff and not _send_xoff(guest, line, row.port):
        problems.append("the guest's %s did not receive the XOFF" % row.port.driver)
    traced = len(guest.trace()) if row.port.traced_lines else 0
    guest.start(_run_script(row))
    if kind.xon_during:
        time.sleep(XON_DELAY_S)
        # The run may have started late, never early: an end before the XON is a real one.
        if guest.answered():
            problems.append("the run ended before the XON let the bytes go")
        line.send(XON)
    status, text = guest.finish(timeout=90)
    expected = "".join(row.commands).encode()
    if kind.sends:
        line.wait_for(len(expected), timeout=2.0)
    received = line.wait_quiet(0.2, timeout=1.0)
    late = b""
    if kind.xoff and kind.gives_up:
        line.send(XON)
        late = line.wait_quiet(0.5, timeout=1.0)[len(received):]
    if kind.usb_held:
        # The gadget's port opened at last: what the run left in flight would arrive now.
        restore = "usb_gadget plug && usb_gadget relay" if kind.unplugged else "usb_gadget relay"
        restored, said = guest.run(restore)
        if restored != 0:
            problems.append("the gadget did not come back: " + said.strip())
        late = line.wait_quiet(0.5, timeout=1.0)[len(received):]
    if kind.closing:  # the closer's byte, let go by the XON or the gadget's open
        late = late.replace(CLOSER_BYTES, b"", 1)
    if kind.holder:
        # Root gets past TIOCEXCL: only a normal user's open shows the flag left set, as a
        # failed run's early close of the port might leave it.
        opened, said = guest.run(USER_OPEN.format(device=device))
        if opened != 0:
            problems.append("afterwards a normal user cannot open the port: " + said.strip())
        guest.run(END_HOLDER)
    if status != 0:
        return problems + ["the guest's run script failed: " + text.strip()], ""
    if row.port.latch_clock:
        # Only at the ends: no command starts or ends with such a byte.
        latched = bytes(round(row.port.latch_clock / rate) & 0xFF
                        for rate in (int(row.port.start.split()[0]), row.baud))
        received, late = received.strip(latched), late.strip(latched)
    run = _parse_run(text, kind)
    if row.port.traced_lines and kind.modem_lines:
        run["lines"] = _traced_lines(guest.trace()[traced:])
        if run["lines"] is None:
            problems.append("qemu's trace shows no modem control request of the run")
            run["lines"] = row.lines_after
    problems += _check(row, run, before, received, late, line.chunks())
    note = ""
    if row.timed:
        note = "run %.1f ms; its %d bytes take %.1f ms on the wire at %d" % (
            run["elapsed"] * 1000, len(expected), wire_seconds(len(expected), row.baud) * 1000,
            row.baud)
    elif kind.gives_up or kind.xon_during:
        note = "run %.2f s" % run["elapsed"]
    return problems, note


def _check(row, run, before, received, late, chunks):
    kind = KINDS[row.kind]
    problems = []
    if run["exit"] != kind.exit:
        problems.append("exit %d, not %d" % (run["exit"], kind.exit))
    if row.message or kind.message:
        message = (row.message or kind.message).format(device=row.port.device, baud=row.baud)
        if message not in run["terminal"]:
            problems.append("no line %r on the terminal (it shows %r)"
                            % (message, [line for line in run["terminal"] if line]))
    expected = "".join(row.commands).encode() if kind.sends else b""
    if kind.sends is not None and received != expected:
        problems.append("the instrument received %r, not %r" % (received, expected))
    if late:
        problems.append("afterwards the instrument still received %r" % late)
    if kind.gives_up and run["elapsed"] >= HELD_LIMIT_S:
        problems.append("the run took %.1f s" % run["elapsed"])
    if kind.settings == "run" and not row.port.fixed_line:
        problems += line_settings.run_problems(before, run["termios"], row.baud)
    if kind.settings == "kept":
        problems += line_settings.untouched_problems(before, run["termios"])
    if kind.modem_lines and run["lines"] != row.lines_after:
        problems.append("afterwards the lines raised are %r, not %r" % (run["lines"], row.lines_after))
    if kind.sends and row.port.shows_writes and received == expected:
        problems += _split_writes(row.commands, chunks)
    return problems


def _split_writes(commands, chunks):
    ends = set()
    position = 0
    for command in commands:
        position += len(command)
        ends.add(position)
    position = 0
    for _, data in chunks:
        position += len(data)
        if position not in ends:
            return ["a write ended inside a command: chunks %r" % [data for _, data in chunks]]
    return []
