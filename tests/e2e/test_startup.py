"""End to end: how kestrad.exe starts, under Wine, as a user and the event log see it.

Each case seeds the registry, runs the real program with its support
library, answers every message box with OK, closes the main window if it
opens, and then compares the event-log entries, the boxes and standard output
with what a user of the program must get.

Run through ctest from a Windows build directory, or by hand:
  . scripts/wine-env.sh
  python3 tests/e2e/test_startup.py --bin build/win64/bin --tools build/win64/tools \
      --fixtures build/win64/fixtures [unittest options]
"""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402

# ---- what the user must see ----------------------------------------------

MISSING_TITLE = "tamarak9.dll not found"
MISSING_PROMPT = "DLL tamarak9.dll not installed or not found in the current path - exiting"
MISSING_ENTRY = re.compile(r"\r\nError \d+ - \(.+\) in IsDLLInstalled", re.DOTALL)

SLOW_TITLE = "Disk Drives Running in Emergency (Slow) IDE Mode"
SLOW_PROMPT = ("DMA appears to be disabled on at least one IDE channel\r\n"
               "Your system may be running much slower than normal\r\n"
               "Test the status manually in the next screen\r\n"
               "\r\n"
               "You may safely ignore this warning message if you wish")
SLOW_ENTRY = "\r\n\r\nKESTRAD Detected that at least one IDE channel is not using DMA access"
OK_ENTRY = ("\r\n\r\nKESTRAD checked the IDE settings and all channels appear to be using "
            "DMA access OK")

MAIN_TITLE = ("ATAPI Disk DMA Test v1.05 - Troubleshoot a Win XP/2K system for "
              "PIO-mode slowdown")

BANNER = re.compile(r" {7}KESTRAD v1\.05 31st August 2009 .* {23}")
WEBSITE = re.compile(r"Website: http\S+")
# Standard output of the help switches, split at CR LF. The banner is written
# without a line end and followed by a WriteLn of CR LF, hence the blank
# lines after it; "<banner>" and "<website>" stand for the two lines whose
# text belongs to the maker and is matched by pattern.
USAGE_LINES = ("<banner>\r\n\r\n"
               "DMA mode-test utility for Windows XP/2000 (may work in Vista - untested)\r\n"
               "Checks IDE Channels 1 and 2 to see if DMA/UDMA is enabled OK\r\n"
               "Can be set to check silently at boot time as a console-application\r\n"
               "Default is to open a window for user-intactive testing\r\n"
               "You can put KESTRAD in your startup folder to check at each boot\r\n"
               "This is a dual console/Windows application\r\n"
               "\r\nSyntax:\r\n\r\n"
               "KESTRAD [switches]\r\n\r\n"
               "/CHECK     Check UDMA modes manually and silently\r\n"
               "/LOG       Log all events (not just failures)\r\n"
               "\r\n"
               "Absolutely NO warranty\r\n"
               "<website>\r\n").split("\r\n")

NOTHING, WINDOW = "nothing", "window"

harness = e2e.harness


class StartupCase(unittest.TestCase):
    """Common checks; one run per subTest."""

    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.h = harness()

    def launch(self, profile, args, exe=None):
        self.h.seed(profile)
        run = self.h.run(args, exe=exe)
        self.assertFalse(run.timed_out, "did not end by itself:\n" + run.describe())
        self.assertFalse(run.crashed(), "crashed:\n" + run.describe())
        return run

    def assertEvents(self, run, expected):
        """expected: (level, exact text or compiled pattern) per entry, in order."""
        got = [(e.level, e.text) for e in run.events]
        self.assertEqual(len(got), len(expected), "event-log entries:\n" + run.describe())
        for (level, text), (want_level, want) in zip(got, expected):
            self.assertEqual(level, want_level, run.describe())
            if isinstance(want, re.Pattern):
                self.assertTrue(want.fullmatch(text),
                                f"{text!r} !~ {want.pattern!r}\n" + run.describe())
            else:
                self.assertEqual(text, want, run.describe())

    def assertBoxes(self, run, expected):
        """expected: (title, prompt, icon) per message box, in order."""
        self.assertEqual([(b.title, b.prompt) for b in run.boxes],
                         [(title, prompt) for title, prompt, _ in expected],
                         "message boxes:\n" + run.describe())
        for box, (_, _, icon) in zip(run.boxes, expected):
            self.assertEqual(box.buttons, ["OK"], run.describe())
            # The icon is read from the screen; "unknown" means it could not
            # be, which is no fault of the program.
            if box.icon != "unknown":
                self.assertEqual(box.icon, icon, run.describe())

    def assertWindow(self, run, expect):
        if expect == NOTHING:
            self.assertEqual(run.windows, [], "windows:\n" + run.describe())
        else:
            self.assertEqual(run.windows, [MAIN_TITLE], "windows:\n" + run.describe())

    def assertNoOutput(self, run):
        self.assertEqual(run.stdout, b"", run.describe())


class LibraryMissingTest(StartupCase):
    """Without a usable tamarak9.dll the program reports it once and ends,
    whatever the switches; nothing of the check or the help happens."""

    SWITCHES = ([], ["/CHECK"], ["/H"], ["/CHECK", "/DEBUG", "/LOG"])

    def _check_layout(self, library):
        where = self.h.copy_program(library)
        self.addCleanup(shutil.rmtree, where, True)
        for args in self.SWITCHES:
            with self.subTest(args=args):
                # ide1-pio: a program that wrongly went on to the check would
                # also show the slow-mode warning.
                run = self.launch("ide1-pio", args, exe=os.path.join(where, e2e.EXE))
                self.assertEvents(run, [(e2e.ERROR, MISSING_ENTRY)])
                self.assertBoxes(run, [(MISSING_TITLE, MISSING_PROMPT, "hand")])
                self.assertWindow(run, NOTHING)
                self.assertNoOutput(run)

    def test_library_absent(self):
        self._check_layout(None)

    def test_library_without_LibVersion(self):
        fixture = self.h.fixture("no_LibVersion", e2e.LIBRARY)
        if not fixture or not os.path.isfile(fixture):
            self.skipTest(f"fixture library not built: {fixture or 'KESTRAD_FIXTURES_DIR unset'}")
        self._check_layout(fixture)


class UsageTest(StartupCase):
    """The help switches print the usage screen and end at once when output
    is redirected; help wins over /CHECK."""

    CASES = (
        (["/H"], "healthy"),
        (["/?"], "healthy"),
        (["-h"], "healthy"),
        (["-?"], "healthy"),
        (["/h"], "healthy"),
        (["/H", "/CHECK"], "ide1-pio"),
        (["/CHECK", "/?"], "ide1-pio"),
    )

    def test_usage_screen(self):
        for args, profile in self.CASES:
            with self.subTest(args=args, profile=profile):
                run = self.launch(profile, args)
                self.assertEvents(run, [])
                self.assertBoxes(run, [])
                self.assertWindow(run, NOTHING)
                text = run.stdout.decode("latin-1")
                lines = text.split("\r\n")
                self.assertTrue(all("\n" not in l and "\r" not in l for l in lines),
                                f"bare CR or LF in {text!r}")
                if lines and BANNER.fullmatch(lines[0]):
                    lines[0] = "<banner>"
                if len(lines) >= 2 and WEBSITE.fullmatch(lines[-2]):
                    lines[-2] = "<website>"
                self.assertEqual(lines, USAGE_LINES, run.describe())


class CheckTest(StartupCase):
    """/CHECK reads DMAEnabled of both IDE channels: silent when DMA is on or
    the values cannot be read, a logged warning and a box when it is off."""

    SLOW = ([(e2e.WARNING, SLOW_ENTRY)], [(SLOW_TITLE, SLOW_PROMPT, "exclamation")], WINDOW)
    QUIET = ([], [], NOTHING)
    LOGGED_OK = ([(e2e.INFORMATION, OK_ENTRY)], [], NOTHING)

    CASES = (
        # args, profile, (entries, boxes, window)
        (["/CHECK"], "healthy", QUIET),
        (["/CHECK", "/LOG"], "healthy", LOGGED_OK),
        (["/check", "-log"], "healthy", LOGGED_OK),
        (["/CHECK"], "ide1-pio", SLOW),
        (["/CHECK"], "demo", SLOW),  # the second channel alone is in PIO mode
        (["/CHECK", "/DEBUG"], "healthy", SLOW),
        (["-check"], "ide1-pio", SLOW),
        (["-Check"], "healthy", QUIET),
        (["/CHECK"], "no-dma-values", QUIET),
        (["/CHECK", "/LOG"], "no-dma-values", LOGGED_OK),
        (["/CHECK"], None, QUIET),  # no SCSI port keys at all
    )

    def test_check(self):
        for args, profile, (entries, boxes, window) in self.CASES:
            with self.subTest(args=args, profile=profile):
                run = self.launch(profile, args)
                self.assertEvents(run, entries)
                self.assertBoxes(run, boxes)
                self.assertWindow(run, window)
                self.assertNoOutput(run)


class WindowStartTest(StartupCase):
    """Without /CHECK (or with items that only look like it) the program
    opens its window and logs nothing, even when a channel is in PIO mode."""

    CASES = ([], ["/LOG"], ["/DEBUG"], ["--CHECK"], ["/CHECKX"], ["CHECK"], ["/"], ["-"])

    def test_opens_window(self):
        for args in self.CASES:
            with self.subTest(args=args):
                run = self.launch("ide1-pio", args)
                self.assertEvents(run, [])
                self.assertBoxes(run, [])
                self.assertWindow(run, WINDOW)
                self.assertNoOutput(run)


class RegistrySeedTest(StartupCase):
    """The helpers the cases above rely on: a seeded profile is what the
    program will read, and clearing leaves nothing behind."""

    PORTS = "HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\Scsi"
    CLASS = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
             "{4D36E96A-E325-11CE-BFC1-08002BE10318}")

    def test_profiles_round_trip(self):
        expected_dma = {
            "healthy": ["dword:00000001", "dword:00000001"],
            "ide1-pio": ["dword:00000001", "dword:00000000"],
            "demo": ["dword:00000001", "dword:00000000"],
            "no-dma-values": [],
        }
        for profile, dma in expected_dma.items():
            with self.subTest(profile=profile):
                self.h.seed(profile)
                ports = self.h.dump(self.PORTS)
                self.assertIsNotNone(ports, "volatile SCSI keys not created")
                self.assertEqual(re.findall(r'^"DMAEnabled"=(\S+)$', ports, re.M), dma)
                cls = self.h.dump(self.CLASS)
                self.assertIn('"DriverDesc"="Intel(R) 82801DB Ultra ATA Storage Controllers - 24CB"',
                              cls)
                self.assertIn('"MasterIdDataCheckSum"=dword:', cls)
        self.h.seed(None)
        self.assertIsNone(self.h.dump(self.PORTS))
        self.assertIsNone(self.h.dump(self.CLASS))


def main():
    return e2e.main(__file__)


if __name__ == "__main__":
    sys.exit(main())
