"""The table of end-to-end scenarios for VornSet.exe in the guest, on COM2 = /dev/ttyS1.

Every run starts from a port left at 1200 baud, 7 data bits, even parity checked on
input, two stop bits, so that the final line settings show what the program set. Fields:
  settings    bytes of VornSet.ini, None for no file
  unreadable  the file is there but mode 000 to the program
  arguments   the command line after VornSet.exe, as a shell would take it
  columns     the pane's width
  redirect    standard output goes to a file, whose bytes are checked by `out_starts`
  screen      what the pane shows above the exit line (exact), or `screen_starts`
  exit_code, sent (the bytes the instrument receives), speed (final rate, None: not checked)
  at_least    the run takes at least this many seconds (the settings message's pause)
  xoff        the instrument holds the line with XOFF while software flow control is on;
              `xon_after` lets it go that many seconds after the driver holds the bytes
  lines       the modem lines raised after the run, as the driver's table names them before
              any other open, the port at -hupcl so that the close leaves them as the run
              left them; None: not checked
"""

HF = "HF Mode,   LP Filter in    PWR out"
VHF = "VHF Mode,   LP Filter out    0dBm output used"
LF = "LF Mode,   LP Filter in    0dBm output used"
SETTINGS_MISSING = "VornSet.INI not found, COM port parameters cannot be set"
SETTINGS_UNREADABLE = "VornSet.INI cannot be read, COM port parameters cannot be set"
USAGE = b"Usage: VornSet [FREQUENCY]"


def scenario(name, **fields):
    base = dict(name=name, settings=b"COM2\r\n", unreadable=False, arguments="7.05", columns=80,
                redirect=False, screen=None, screen_starts=None, out_starts=None, exit_code=0,
                sent=b"", speed=None, at_least=0.0, xoff=False, xon_after=None, lines=None)
    base.update(fields)
    return base


SCENARIOS = [
    scenario("HF frequency at 19200 baud", settings=b"COM2\r\nBAUD 19200\r\n",
             screen=HF + "\nFrequency   7.05 MHz\n", sent=b"LP1;TT0;FA00007050000;", speed=19200),
    scenario("VHF keyword in lower case at the default 9600 baud", settings=b"com2\r\n", arguments="vhf",
             screen=VHF + "\n", sent=b"LP0;TT1;", speed=9600),
    scenario("LF frequency at 300 baud", settings=b"COM2\r\nBAUD 300\r\n", arguments="0.5",
             screen=LF + "\nFrequency   .5 MHz\n", sent=b"LP1;TT1;FA00000500000;", speed=300),
    scenario("HF frequency in hertz at 38400 baud", settings=b"COM2\r\nBAUD 38400\r\n",
             arguments="14100000", screen=HF + "\nFrequency   14.1 MHz\n",
             sent=b"LP1;TT0;FA00014100000;", speed=38400),
    scenario("LF keyword at 57600 baud", settings=b"COM2\r\nBAUD 57600\r\n", arguments="LF",
             screen=LF + "\n", sent=b"LP1;TT1;", speed=57600),
    scenario("VHF frequency at 115200 baud", settings=b"COM2\r\nBAUD 115200\r\n", arguments="144.2",
             screen=VHF + "\nFrequency   144.2 MHz\n", sent=b"LP0;TT1;FA00144200000;", speed=115200),
    scenario("wraps at a 20-column console, empty row after a full line", columns=20,
             screen="HF Mode,   LP Filter\n in    PWR out\nFrequency   7.05 MHz\n\n",
             sent=b"LP1;TT0;FA00007050000;", speed=9600),
    scenario("redirected output stays empty, the console shows the report", redirect=True,
             screen=HF + "\nFrequency   7.05 MHz\n", out_starts=b"", sent=b"LP1;TT0;FA00007050000;"),
    scenario("missing settings file", settings=None, exit_code=1, at_least=2.0,
             screen=HF + "\nFrequency   7.05 MHz\n" + SETTINGS_MISSING + "\n"),
    scenario("unreadable settings file", unreadable=True, exit_code=1, at_least=2.0,
             screen=HF + "\nFrequency   7.05 MHz\n" + SETTINGS_UNREADABLE + "\n"),
    scenario("a port mapped to nothing", settings=b"COM7\r\n", arguments="", exit_code=1,
             screen=HF + "\nSerial port COM7 could not be opened (no such device)\n"),
    scenario("frequency out of range", arguments="1e400", exit_code=1,
             screen="Frequency out of range\n"),
    scenario("help /? on standard output", arguments="'/?'", redirect=True, screen="",
             out_starts=USAGE),
    scenario("help --help on standard output", arguments="--help", redirect=True, screen="",
             out_starts=USAGE),
    scenario("help on the console", arguments="-h", screen_starts="Usage: VornSet [FREQUENCY]"),
    scenario("--HELP is no help request", arguments="--HELP", screen=HF + "\n", sent=b"LP1;TT0;"),
    scenario("modem lines: DTR OFF and RTS ON go out in the DCB", settings=b"COM2\r\nDTR OFF\r\nRTS ON\r\n",
             screen=HF + "\nFrequency   7.05 MHz\n", sent=b"LP1;TT0;FA00007050000;", lines=("RTS",)),
    scenario("modem lines: dtr on and rts off go out in the DCB", settings=b"COM2\r\ndtr on\r\nrts off\r\n",
             screen=HF + "\nFrequency   7.05 MHz\n", sent=b"LP1;TT0;FA00007050000;", lines=("DTR",)),
    scenario("modem lines: a line not understood sends nothing", settings=b"COM2\r\nRTS 0\r\n", exit_code=1,
             screen=HF + "\nFrequency   7.05 MHz\nModem line setting not understood, nothing sent; "
                    "VornSet.ini (Z:\\tmp\\vs): write RTS OFF or RTS ON, not RTS 0\n",
             columns=200),
    scenario("line held with XOFF: the send limit ends the run", xoff=True, exit_code=1,
             screen=HF + "\nFrequency   7.05 MHz\nSerial port COM2 did not take all commands (timed out)\n"),
    scenario("line held with XOFF, XON within the limit", xoff=True, xon_after=1.0,
             screen=HF + "\nFrequency   7.05 MHz\n", sent=b"LP1;TT0;FA00007050000;"),
]
