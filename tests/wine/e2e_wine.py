#!/usr/bin/env python3
"""End-to-end tests of the Windows build under wine64.

Each test copies VornSet.exe into a folder of its own, maps a COM port of wine's onto a
pseudo-terminal (wine's dosdevices), runs the program in a real terminal (tmux) and
checks what the console shows, the exact bytes on the line and the exit code.

usage: e2e_wine.py path/to/VornSet.exe
"""
import os
import pty
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

EXE = None
PREFIX = os.environ.get("VORNSET_WINEPREFIX") or os.path.join(
    tempfile.gettempdir(), "vornset-wine-%d" % os.getuid())
WINE_ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
TMUX = ["tmux", "-L", "vornset-wine-%d" % os.getpid(), "-f", "/dev/null"]

HF_LINE = "HF Mode,   LP Filter in    PWR out"
VHF_LINE = "VHF Mode,   LP Filter out    0dBm output used"


def setUpModule():
    # The server first, then wineboot: both detached from our pipes, and wineboot starts
    # the prefix's system processes also when a prefix made earlier lost them.
    os.makedirs(PREFIX, exist_ok=True)
    quiet = dict(env=WINE_ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], check=False, **quiet)
    subprocess.run(["wine", "wineboot"], check=True, timeout=300, **quiet)


def tearDownModule():
    subprocess.run(TMUX + ["kill-server"], stderr=subprocess.DEVNULL, check=False)


class ComPort:
    """A pseudo-terminal that wine shows to Windows programs as COMn."""

    def __init__(self, number):
        self.instrument, self.device = pty.openpty()
        self.link = os.path.join(PREFIX, "dosdevices", "com%d" % number)
        if os.path.lexists(self.link):
            os.unlink(self.link)
        os.symlink(os.ttyname(self.device), self.link)

    def received(self, quiet=0.3):
        data = b""
        while select.select([self.instrument], [], [], quiet)[0]:
            data += os.read(self.instrument, 4096)
        return data

    def speed(self):
        return termios.tcgetattr(self.device)[5]

    def close(self):
        os.unlink(self.link)
        os.close(self.instrument)
        os.close(self.device)


def loopback_port():
    """A loopback port nothing listens on."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class DeviceServer:
    """ser2net on the loopback address in front of a pseudo-terminal: one port RFC 2217,
    one raw TCP."""

    def __init__(self, folder):
        self.instrument, self.device = pty.openpty()
        name = os.ttyname(self.device)
        self.rfc2217, self.raw = loopback_port(), loopback_port()
        config = os.path.join(folder, "ser2net.yaml")
        with open(config, "w") as f:
            f.write("%%YAML 1.1\n---\nconnection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                    "  connector: serialdev,%s,9600n81,local\nconnection: &raw\n  accepter: tcp,127.0.0.1,%d\n"
                    "  connector: serialdev,%s,9600n81,local\n" % (self.rfc2217, name, self.raw, name))
        self.process = subprocess.Popen(["ser2net", "-n", "-c", config, "-P", os.path.join(folder, "ser2net.pid")],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Ready once both ports are taken; a probe that connected would start a session.
        for _ in range(300):
            if all(self._taken(port) for port in (self.rfc2217, self.raw)):
                break
            time.sleep(0.01)

    @staticmethod
    def _taken(port):
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", port))
                return False
            except OSError:
                return True

    def received(self, quiet=0.3):
        data = b""
        while select.select([self.instrument], [], [], quiet)[0]:
            data += os.read(self.instrument, 4096)
        return data

    def close(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=10)
        os.close(self.instrument)
        os.close(self.device)


class Run:
    def __init__(self, screen, exit_code, seconds):
        self.screen, self.exit_code, self.seconds = screen, exit_code, seconds


class WindowsProgram(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="vornset-wine-test-")
        shutil.copy(EXE, os.path.join(self.folder, "VornSet.exe"))
        self.ports = []

    def tearDown(self):
        for port in self.ports:
            port.close()
        shutil.rmtree(self.folder)

    def com_port(self, number):
        port = ComPort(number)
        self.ports.append(port)
        return port

    def write_settings(self, data):
        with open(os.path.join(self.folder, "VornSet.ini"), "wb") as f:
            f.write(data)

    def run_in_terminal(self, arguments, columns=80, redirect=None):
        """Runs the program in a tmux pane and returns what the pane shows above the exit line."""
        subprocess.run(TMUX + ["kill-server"], stderr=subprocess.DEVNULL, check=False)
        command = "cd '%s' && wine VornSet.exe %s" % (self.folder, arguments)
        if redirect:
            command += " > '%s'" % redirect
        script = "%s; echo exit=$?; sleep 60" % command
        env = ["env"] + ["%s=%s" % (k, WINE_ENV[k]) for k in ("WINEPREFIX", "WINEDEBUG", "WINEDLLOVERRIDES")]
        started = time.monotonic()
        # Several arguments: tmux runs them as they stand, with no shell of its own between.
        subprocess.run(TMUX + ["new-session", "-d", "-x", str(columns), "-y", "12"] + env + ["sh", "-c", script],
                       check=True)
        screen = ""
        deadline = started + 60
        while time.monotonic() < deadline:
            screen = subprocess.run(TMUX + ["capture-pane", "-p"], capture_output=True, text=True).stdout
            if "exit=" in screen:
                break
            time.sleep(0.1)
        seconds = time.monotonic() - started
        subprocess.run(TMUX + ["kill-server"], stderr=subprocess.DEVNULL, check=False)
        self.assertIn("exit=", screen, "the program did not end:\n" + screen)
        shown, _, rest = screen.partition("exit=")
        return Run(shown, int(rest.split()[0]), seconds)

    def test_sends_the_commands_and_reports_them(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\nBAUD 19200\r\n")
        run = self.run_in_terminal("7.05")
        self.assertEqual(run.exit_code, 0, run.screen)
        self.assertEqual(run.screen, HF_LINE + "\nFrequency   7.05 MHz\n")
        self.assertEqual(port.received(), b"LP1;TT0;FA00007050000;")
        self.assertEqual(port.speed(), termios.B19200)

    def test_band_keyword_in_any_case(self):
        port = self.com_port(7)
        self.write_settings(b"com7\r\n")
        run = self.run_in_terminal("vhf")
        self.assertEqual(run.exit_code, 0, run.screen)
        self.assertEqual(run.screen, VHF_LINE + "\n")
        self.assertEqual(port.received(), b"LP0;TT1;")
        self.assertEqual(port.speed(), termios.B9600)

    def test_wraps_at_the_console_width_with_an_empty_row_after_a_full_line(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        run = self.run_in_terminal("7.05", columns=20)
        self.assertEqual(run.exit_code, 0, run.screen)
        self.assertEqual(run.screen, "HF Mode,   LP Filter\n in    PWR out\nFrequency   7.05 MHz\n\n")
        self.assertEqual(port.received(), b"LP1;TT0;FA00007050000;")

    def test_redirected_output_stays_empty_and_the_console_shows_the_report(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        out = os.path.join(self.folder, "out.txt")
        run = self.run_in_terminal("7.05", redirect=out)
        self.assertEqual(run.exit_code, 0, run.screen)
        self.assertEqual(run.screen, HF_LINE + "\nFrequency   7.05 MHz\n")
        self.assertEqual(os.path.getsize(out), 0)
        self.assertEqual(port.received(), b"LP1;TT0;FA00007050000;")

    def test_missing_settings_file(self):
        run = self.run_in_terminal("7.05")
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertEqual(run.screen, HF_LINE + "\nFrequency   7.05 MHz\n"
                         "VornSet.INI not found, COM port parameters cannot be set\n")
        self.assertGreaterEqual(run.seconds, 2.0)

    def test_a_port_that_does_not_exist_is_reported(self):
        self.write_settings(b"COM9\r\n")
        run = self.run_in_terminal("")
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertTrue(run.screen.startswith(HF_LINE + "\nSerial port COM9 could not be opened"), run.screen)

    def test_out_of_range(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        run = self.run_in_terminal("1e400")
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertEqual(run.screen, "Frequency out of range\n")
        self.assertEqual(port.received(), b"")

    def test_help_goes_to_standard_output_and_touches_no_port(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        out = os.path.join(self.folder, "help.txt")
        for request in ("'/?'", "--help", "-h"):
            run = self.run_in_terminal(request, redirect=out)
            self.assertEqual(run.exit_code, 0, run.screen)
            self.assertEqual(run.screen.strip(), "", request)
            with open(out, "rb") as f:
                usage = f.read()
            self.assertTrue(usage.startswith(b"Usage: VornSet [FREQUENCY]"), usage[:80])
            self.assertEqual(usage.count(b"\n"), usage.count(b"\r\n"), "lines end in CR LF")
            self.assertEqual(port.received(), b"", request)

    def test_a_held_line_fails_within_seconds_and_leaves_nothing_queued(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        termios.tcflow(port.device, termios.TCOOFF)  # as if flow control held the line off
        try:
            run = self.run_in_terminal("7.05")
        finally:
            termios.tcflow(port.device, termios.TCOON)
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertIn("Serial port COM5 did not take all commands (timed out)", run.screen)
        self.assertLess(run.seconds, 20, "the run waited for the held line")
        # Nothing of the run's commands is left to go out once the line is free.
        self.assertEqual(port.received(), b"")

    def test_a_help_answer_that_standard_output_does_not_take_is_exit_1(self):
        run = self.run_in_terminal("--help", redirect="/dev/full")
        self.assertEqual(run.exit_code, 1, run.screen)

    def test_ports_lists_the_registry_serial_ports_adapters_first(self):
        key = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"
        written = {r"\Device\Serial1": "COM2", r"\Device\VCP0": "COM12"}
        for device, name in written.items():
            subprocess.run(["wine", "reg", "add", key, "/v", device, "/t", "REG_SZ", "/d", name, "/f"],
                           env=WINE_ENV, check=True, capture_output=True, timeout=120)
        try:
            out = os.path.join(self.folder, "ports.txt")
            run = self.run_in_terminal("--ports", redirect=out)
        finally:
            for device in written:
                subprocess.run(["wine", "reg", "delete", key, "/v", device, "/f"],
                               env=WINE_ENV, capture_output=True, timeout=120)
        self.assertEqual(run.exit_code, 0, run.screen)
        with open(out, "rb") as f:
            listing = f.read().decode()
        lines = listing.split("\r\n")
        self.assertEqual(lines[-1], "", "lines end in CR LF")
        shown = [line.split() for line in lines[:-1]]
        # Wine's own entries stand beside ours; each line is a settings line and its device.
        self.assertIn(["COM12", r"\Device\VCP0"], shown, listing)
        self.assertIn(["COM2", r"\Device\Serial1"], shown, listing)
        self.assertLess(shown.index(["COM12", r"\Device\VCP0"]), shown.index(["COM2", r"\Device\Serial1"]),
                        "an adapter comes before a port built into the machine")
        self.assertTrue(all(line.startswith("COM") for line in lines[:-1]), listing)

    def test_a_settings_mistake_is_named_with_the_file(self):
        self.com_port(5)
        self.write_settings(b"COM=5\r\n")
        run = self.run_in_terminal("", columns=250)
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertRegex(run.screen, r"Serial port COM=5 could not be opened \(.*\); "
                                     r"VornSet.ini \([A-Z]:\\.*vornset-wine-test-[^)]*\): write COM5, not COM=5\n")

    def test_help_is_only_the_whole_line_as_typed(self):
        port = self.com_port(5)
        self.write_settings(b"COM5\r\n")
        for line in ("--HELP", "'/?' 7.05", "help"):
            run = self.run_in_terminal(line)
            self.assertEqual(run.exit_code, 0, run.screen)
            self.assertEqual(run.screen, HF_LINE + "\n", line)
            self.assertEqual(port.received(), b"LP1;TT0;", line)


    def network_server(self):
        server = DeviceServer(self.folder)
        self.addCleanup(server.close)
        return server

    def test_a_port_behind_a_device_server_takes_the_exact_bytes_and_rfc2217_sets_its_line(self):
        server = self.network_server()
        for port_text, rate in (("rfc2217://127.0.0.1:%d" % server.rfc2217, termios.B19200),
                                ("TCP://127.0.0.1:%d" % server.raw, termios.B9600)):
            self.write_settings(b"COM%s\r\nBAUD 19200\r\n" % port_text.encode())
            # ser2net puts the device's own settings back when its client goes: the line is
            # watched while the run is connected.
            own = termios.tcgetattr(server.device)[5]
            seen = []
            ended = threading.Event()

            def watch():
                while not ended.is_set():
                    now = termios.tcgetattr(server.device)[5]
                    if now != own:
                        seen.append(now)
                    time.sleep(0.001)
            watcher = threading.Thread(target=watch)
            watcher.start()
            try:
                run = self.run_in_terminal("7.05")
            finally:
                ended.set()
                watcher.join()
            self.assertEqual(run.exit_code, 0, run.screen)
            self.assertEqual(server.received(), b"LP1;TT0;FA00007050000;", port_text)
            self.assertEqual(seen[-1:], [rate], port_text)

    def test_a_port_behind_a_device_server_names_a_refused_connection_and_a_second_client(self):
        server = self.network_server()
        refused = "tcp://127.0.0.1:%d" % loopback_port()
        self.write_settings(b"COM%s\r\n" % refused.encode())
        run = self.run_in_terminal("", columns=250)
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertIn("Serial port %s could not be opened (connection refused)\n" % refused, run.screen)
        with socket.create_connection(("127.0.0.1", server.rfc2217)):
            held = "rfc2217://127.0.0.1:%d" % server.rfc2217
            self.write_settings(b"COM%s\r\n" % held.encode())
            run = self.run_in_terminal("", columns=250)
        self.assertEqual(run.exit_code, 1, run.screen)
        self.assertIn('Serial port %s could not be opened (in use by another client: "Port already in use")\n' % held,
                      run.screen)
        self.assertEqual(server.received(), b"")


    def test_a_server_that_never_answers_the_negotiation_ends_the_run_within_the_limit_and_a_second(self):
        with socket.socket() as listener:
            # Listening, never accepting: the system completes the connection, nobody speaks.
            listener.bind(("127.0.0.1", 0))
            listener.listen(4)
            silent = "rfc2217://127.0.0.1:%d" % listener.getsockname()[1]
            self.write_settings(b"COM%s\r\n" % silent.encode())
            run = self.run_in_terminal("", columns=250)
        self.assertEqual(run.exit_code, 1, run.screen)
        # Silent to the offer too: most likely a raw TCP port, and the fix says how to write one.
        self.assertIn("Serial port %s could not be opened (timed out; a raw TCP port is written COMtcp://...)\n"
                      % silent, run.screen)
        self.assertGreaterEqual(run.seconds, 2.0, "the run gave up before its time")
        self.assertLess(run.seconds, 10, "the run waited past its deadline")


if __name__ == "__main__":
    EXE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
