"""End to end: kestrad.exe with a support library that is missing or lacks
one entry point, under Wine, on every road that calls that entry point.

Each broken library (fixtures/no_<EntryPoint>/tamarak9.dll) is copied beside
a private copy of kestrad.exe. A failed call must never crash or hang the
program: it becomes one Error entry in the application event log, worded by
the procedure it happened in, and the program carries on with the next step.
The cases assert the entries, the boxes, the console output and the window's
texts exactly; docs/fault-matrix.md lists them.

Run through ctest from a Windows build directory, or by hand:
  . scripts/wine-env.sh
  python3 tests/e2e/test_faults.py --bin build/win64/bin --tools build/win64/tools \
      --fixtures build/win64/fixtures
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
import test_startup as startup  # noqa: E402

TITLE = startup.MAIN_TITLE
WAIT_MS = "15000"

# ---- the wordings of the error traps --------------------------------------

_N_DESC = r"Error: \d+ \([^\r\n]+\) occured"
MAIN_ERROR = re.compile(r"\r\n\r\n" + _N_DESC + r" in Main\(\)")
TEST_ERROR = re.compile(r"\r\n\r\n" + _N_DESC + r" in TestIDE\(\)")
WINDOW_ERROR = re.compile(r"\r\n" + _N_DESC)
LIBRARY_ERROR = startup.MISSING_ENTRY
MISSING_BOX = (startup.MISSING_TITLE, startup.MISSING_PROMPT, "hand")
SLOW_BOX = (startup.SLOW_TITLE, startup.SLOW_PROMPT, "exclamation")
REBOOT_BOX = ("Reboot required",
              "You should reboot your system as soon as possible to activate the new settings")

ENTRY_POINTS = ("LibVersion", "ReadDWORDFromRegistry", "ReadStringFromRegistry",
                "WriteDWORDToRegistry", "ShellRun", "GetArgs", "OpenConsole", "ConsoleOpen",
                "CloseConsole", "SetConsoleAttributes", "ClearConsoleAttributes", "Writes",
                "WriteLn", "InNativeConsole", "Pause")

# ---- what the window shows ------------------------------------------------

VENDOR = "IDE Driver Vendor: Intel(R) 82801DB Ultra ATA Storage Controllers - 24CB (7-1-2001)\r\n"
DRIVERS = [VENDOR + "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.5512\r\n",
           VENDOR + "IDE 1: ATAPI Driver: Microsoft - 5.1.2600.5512\r\n"]
SEPARATOR = "-" * 80 + "\r\n"
DMA_OK = ["IDE 0: DMA is enabled OK - no action should be required\r\n",
          "IDE 1: DMA is enabled OK - no action should be required\r\n"]
REPAIR_MISSING = [
    "Registry key missing - ResetErrorCountersOnSuccessPrimary is missing for the Primary IDE "
    "channel\r\n",
    "Registry key missing - ResetErrorCountersOnSuccessPrimary is missing for the Secondary IDE "
    "channel\r\n"]
CHANNEL_VALUES = ("MasterIdDataCheckSum", "SlaveIdDataCheckSum", "MasterDeviceDetectionTimeout",
                  "SlaveDeviceDetectionTimeout")
SEEDED = {"MasterIdDataCheckSum": (0x3C42, 0x9E1D), "SlaveIdDataCheckSum": (0, 0),
          "MasterDeviceDetectionTimeout": (0, 0), "SlaveDeviceDetectionTimeout": (0, 0)}
FIXING = "Fixing problem..."
NOT_WRITTEN = ["IDE 0: Failed to write ResetErrorCountersOnSuccess to the registry\r\n",
               "IDE 1: Failed to write ResetErrorCountersOnSuccess to the registry\r\n"]
RETESTING = "Retesting settings (please check results)\r\n"

# Tab order = creation order; a control's id is 100 + its index.
CONTROL_ORDER = (
    "Command1", "Command3", "Command4", "Command2",
    "chkIDE0DMAEnabled", "chkIDE0ResetError", "chkIDE0MasterIdDataCheckSum",
    "chkIDE0MasterDeviceDetectionTimeout", "chkIDE0SlaveIdDataCheckSum",
    "chkIDE0SlaveDeviceDetectionTimeout", "txtIDE0",
    "chkIDE1DMAEnabled", "chkIDE1ResetError", "chkIDE1MasterIdDataCheckSum",
    "chkIDE1MasterDeviceDetectionTimeout", "chkIDE1SlaveIdDataCheckSum",
    "chkIDE1SlaveDeviceDetectionTimeout", "txtIDE1", "Frame1", "Frame2", "Command5")
CHECK_BOXES = [n for n in CONTROL_ORDER if n.startswith("chk")]

CLASS_KEY = ("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
             "{4D36E96A-E325-11CE-BFC1-08002BE10318}")
PORTS_KEY = "HKLM\\HARDWARE\\DEVICEMAP\\Scsi"


def healthy_checks():
    """(state, caption) of every check box after a test of a healthy machine."""
    checks = {}
    for ch in (0, 1):
        checks[f"chkIDE{ch}DMAEnabled"] = (1, "DMA is enabled OK")
        checks[f"chkIDE{ch}ResetError"] = (1, "ResetErrorCountersOnSuccess (OK)")
        for value in CHANNEL_VALUES:
            checks[f"chkIDE{ch}{value}"] = (1, f"{value} ({SEEDED[value][ch]})")
    return checks


def nothing_read_checks():
    """... and after a test in which no 32-bit value could be read."""
    checks = {}
    for ch in (0, 1):
        checks[f"chkIDE{ch}DMAEnabled"] = (2, "Could not read the registry setting")
        checks[f"chkIDE{ch}ResetError"] = (2, "ResetErrorCountersOnSuccess (KEY MISSING)")
        for value in CHANNEL_VALUES:
            caption = value if value == "SlaveDeviceDetectionTimeout" else value + " (NOT SET)"
            checks[f"chkIDE{ch}{value}"] = (2, caption)
    return checks


def nothing_read_lines(ch):
    """A test's findings for a channel none of whose 32-bit values was read:
    no DMA line, the repair value missing, every detection value missing."""
    return REPAIR_MISSING[ch] + "".join(
        f"Couldn't retrieve IDE{ch} {value}\r\n" for value in CHANNEL_VALUES)


def identification_of(message):
    """The identification when every string read fails: the error message
    takes the place of each value (description, date, provider, version)."""
    return [f"IDE Driver Vendor: {message} ({message})\r\n"
            f"IDE {ch}: ATAPI Driver: {message} - {message}\r\n" for ch in (0, 1)]


# ---- running the program ---------------------------------------------------

harness = e2e.harness



class Session:
    """Seeds a profile, starts kestrad.exe (optionally from a private folder
    with another library) without answering anything, and reads its window
    and event log while it runs."""

    def __init__(self, test: unittest.TestCase, h: e2e.Harness):
        self.test, self.h = test, h
        self.proc = None
        self.err = None
        self.hwnd = None

    def seed(self, profile_path: str) -> None:
        """Applies a .reg file and reads it back. When Wine's services start
        (the first program after they went idle) the device manager may
        re-create HKLM\\HARDWARE\\DEVICEMAP\\Scsi and drop seeded port keys:
        seed again until every key of the profile is there."""
        with open(profile_path, encoding="utf-8") as f:
            wanted = [k.upper() for k in re.findall(r"^\[([^\]-][^\]]*)\]", f.read(), re.M)]
        self.h.ui("windows", "any")  # keeps the services up from here on
        for _ in range(5):
            cp = self.h.wine.tool(self.h._regseed, "clear")
            self.test.assertEqual(0, cp.returncode, cp.stderr)
            cp = self.h.wine.tool(self.h._regseed, "apply", profile_path)
            self.test.assertEqual(0, cp.returncode, f"regseed apply {profile_path}: {cp.stderr}")
            time.sleep(0.3)
            seen = "".join(self.h.dump(k) or "" for k in (PORTS_KEY, CLASS_KEY)).upper()
            seen = seen.replace("HKEY_LOCAL_MACHINE", "HKLM")
            if all(f"[{k.replace('HKEY_LOCAL_MACHINE', 'HKLM')}]" in seen for k in wanted):
                return
        self.test.fail(f"profile {profile_path} did not stay in the registry")

    def profile(self, name: str) -> str:
        return os.path.join(self.h.profiles_dir, name + ".reg")

    def start(self, exe: str, args=(), cwd=None) -> None:
        self.stop()
        env = dict(self.h.wine.env)
        env["WINEDEBUG"] = "-all,+eventlog"
        if self.err:
            self.err.close()
        self.err = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([self.h.wine.wine, exe, *args],
                                     cwd=cwd or os.path.dirname(exe), env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=self.err)

    def open_window(self, exe: str) -> None:
        self.start(exe)
        found = self.h.ui("wait-window", TITLE, WAIT_MS)
        self.test.assertTrue(found.get("ok"), f"main window did not open: {found}\n"
                             + self.stderr())
        self.hwnd = found["window"]["hwnd"]

    def stderr(self) -> str:
        if not self.err:
            return ""
        self.err.seek(0)
        return self.err.read().decode("utf-8", errors="replace")

    def events(self):
        return e2e.parse_events(self.stderr())

    def crashed(self) -> bool:
        return any(m in self.stderr() for m in e2e._CRASH_MARKERS)

    def controls(self, patience=30.0):
        """The controls by name. A window busy in a long handler (a text of
        megabytes) does not answer at once: ask again while it runs."""
        deadline = time.monotonic() + patience
        while True:
            dump = self.h.ui("dump-window", TITLE)
            if dump.get("ok") or not self.alive() or time.monotonic() > deadline:
                break
            time.sleep(0.5)
        self.test.assertTrue(dump.get("ok"), f"window gone: {dump}\n" + self.stderr())
        children = [c for c in dump["children"] if c["parent"] == self.hwnd]
        self.test.assertEqual(len(CONTROL_ORDER), len(children))
        return dict(zip(CONTROL_ORDER, children))

    def texts(self):
        c = self.controls()
        return [c["txtIDE0"]["text"], c["txtIDE1"]["text"]]

    def checks(self):
        c = self.controls()
        return {n: (c[n]["check"], c[n]["text"]) for n in CHECK_BOXES}

    def click(self, name: str) -> None:
        """Posts the click: the handler may show a modal box."""
        self.h.ui("click", self.hwnd, str(100 + CONTROL_ORDER.index(name)))

    def settle(self, seconds=0.5) -> None:
        """Waits until the window answers again after a click."""
        time.sleep(seconds)
        self.controls()

    def alive(self) -> bool:
        return self.proc is not None and self.proc.poll() is None

    def stop(self) -> None:
        if self.proc is not None:
            self.h.end_program(self.proc)
            self.proc = None

    def close(self) -> None:
        self.stop()
        if self.err:
            self.err.close()
            self.err = None


class FaultCase(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.h = harness()
        cls._dirs = {}

    @classmethod
    def tearDownClass(cls):
        for where in cls._dirs.values():
            shutil.rmtree(where, True)

    def setUp(self):
        self.session = Session(self, self.h)
        self.addCleanup(self.session.close)

    def program_with(self, fault):
        """kestrad.exe in a private folder, beside the library of a fault:
        None = the working library, "missing" = no library at all,
        "no_<EntryPoint>" = the fixture lacking that entry point."""
        if fault not in self._dirs:
            if fault is None:
                library = self.h.library
            elif fault == "missing":
                library = None
            else:
                library = self.h.fixture(fault, e2e.LIBRARY)
                if not library or not os.path.isfile(library):
                    self.skipTest(f"fixture library not built: {library or 'no fixtures dir'}")
            self._dirs[fault] = self.h.copy_program(library)
        return os.path.join(self._dirs[fault], e2e.EXE)

    def run_to_end(self, fault, profile, args):
        """Runs the program like a patient user (OK to every box, every
        window closed) and checks that it neither hung nor crashed."""
        self.session.seed(self.session.profile(profile))
        run = self.h.run(args, exe=self.program_with(fault))
        self.assertFalse(run.timed_out, "hung:\n" + run.describe())
        self.assertFalse(run.crashed(), "crashed:\n" + run.describe())
        return run

    def assertEvents(self, events, expected, context=""):
        """expected: (level, exact text or compiled pattern) per entry, in order."""
        got = [(e.level, e.text) for e in events]
        self.assertEqual(len(expected), len(got), f"entries {got!r}\n{context}")
        for (level, text), (want_level, want) in zip(got, expected):
            self.assertEqual(want_level, level, f"{text!r}\n{context}")
            if isinstance(want, re.Pattern):
                self.assertRegex(text, "^(?:" + want.pattern + ")$", context)
            else:
                self.assertEqual(want, text, context)

    def assertBoxes(self, run, expected):
        self.assertEqual([(b.title, b.prompt) for b in run.boxes],
                         [(title, prompt) for title, prompt, _ in expected], run.describe())
        for box, (_, _, icon) in zip(run.boxes, expected):
            self.assertEqual(["OK"], box.buttons, run.describe())
            if box.icon != "unknown":
                self.assertEqual(icon, box.icon, run.describe())


# ---- the console roads ------------------------------------------------------

FULL, NONE, NO_BANNER, BANNER_ONLY, WITH_PAUSE = (
    "full usage", "no output", "usage without banner", "banner alone", "usage and pause")


def usage_lines(shape):
    """Standard output, split at CR LF, for a usage screen of this shape."""
    full = list(startup.USAGE_LINES)
    return {
        FULL: full,
        NONE: [""],
        # The banner is the one Writes; the CR LF of the first WriteLn stays.
        NO_BANNER: [""] + full[1:],
        # Every WriteLn failed: the banner, with no line end, is all there is.
        BANNER_ONLY: ["<banner>"],
        # An empty line, then the prompt of Pause (which returns at once
        # without console input).
        WITH_PAUSE: full[:-1] + ["", "Press a key..."],
    }[shape]


def masked(stdout: bytes):
    lines = stdout.decode("latin-1").split("\r\n")
    if lines and startup.BANNER.fullmatch(lines[0]):
        lines[0] = "<banner>"
    return ["<website>" if startup.WEBSITE.fullmatch(l) else l for l in lines]


W, E, I = e2e.WARNING, e2e.ERROR, e2e.INFORMATION
HEALTHY_WINDOW = "window"
MISSING_LIBRARY_OUTCOME = dict(events=[(E, LIBRARY_ERROR)], boxes=[MISSING_BOX], window=False,
                               stdout=NONE)

# fault, args, profile, outcome. Every road that calls the entry point, and
# the roads of /CHECK that must not touch the ones they do not call.
CONSOLE_ROADS = [
    # No library, or none that answers LibVersion: only the critical box.
    ("missing", [], "ide1-pio", MISSING_LIBRARY_OUTCOME),
    ("missing", ["/CHECK"], "ide1-pio", MISSING_LIBRARY_OUTCOME),
    ("missing", ["/H"], "ide1-pio", MISSING_LIBRARY_OUTCOME),
    ("no_LibVersion", ["/CHECK"], "ide1-pio", MISSING_LIBRARY_OUTCOME),
    ("no_LibVersion", ["/?"], "ide1-pio", MISSING_LIBRARY_OUTCOME),
    # No items: the switches are never seen, so the window opens.
    ("no_GetArgs", ["/CHECK"], "ide1-pio",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=True, stdout=NONE)),
    ("no_GetArgs", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=True, stdout=NONE)),
    # Both reads of /CHECK fail: unreadable is not "switched off", so the
    # check passes even on a machine in PIO mode.
    ("no_ReadDWORDFromRegistry", ["/CHECK"], "ide1-pio",
     dict(events=[(E, TEST_ERROR), (E, TEST_ERROR)], boxes=[], window=False, stdout=NONE)),
    ("no_ReadDWORDFromRegistry", ["/CHECK", "/LOG"], "ide1-pio",
     dict(events=[(E, TEST_ERROR), (E, TEST_ERROR), (I, startup.OK_ENTRY)], boxes=[],
          window=False, stdout=NONE)),
    ("no_ReadDWORDFromRegistry", ["/CHECK", "/DEBUG"], "healthy",
     dict(events=[(E, TEST_ERROR), (E, TEST_ERROR), (W, startup.SLOW_ENTRY)], boxes=[SLOW_BOX],
          window=True, stdout=NONE)),
    # CloseConsole: once before the test, once more before the box or window.
    ("no_CloseConsole", [], "healthy",
     dict(events=[(E, MAIN_ERROR), (E, MAIN_ERROR)], boxes=[], window=True, stdout=NONE)),
    ("no_CloseConsole", ["/CHECK"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=NONE)),
    ("no_CloseConsole", ["/CHECK"], "ide1-pio",
     dict(events=[(E, MAIN_ERROR), (W, startup.SLOW_ENTRY), (E, MAIN_ERROR)], boxes=[SLOW_BOX],
          window=True, stdout=NONE)),
    ("no_CloseConsole", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=FULL)),
    # The usage screen, one entry point at a time.
    ("no_OpenConsole", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=FULL)),
    # A failed test of the console enters the branch it guards: the printing.
    ("no_ConsoleOpen", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=FULL)),
    ("no_SetConsoleAttributes", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=FULL)),
    ("no_ClearConsoleAttributes", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=FULL)),
    ("no_Writes", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=NO_BANNER)),
    ("no_WriteLn", ["-?"], "healthy",
     dict(events=[(E, MAIN_ERROR)] * 14, boxes=[], window=False, stdout=BANNER_ONLY)),
    # A failed test enters its branch: the empty line and the pause, which
    # does not wait without console input.
    ("no_InNativeConsole", ["/H"], "healthy",
     dict(events=[(E, MAIN_ERROR)], boxes=[], window=False, stdout=WITH_PAUSE)),
    # Output to a pipe needs no pause: Pause is never called.
    ("no_Pause", ["/H"], "healthy",
     dict(events=[], boxes=[], window=False, stdout=FULL)),
]

# Entry points /CHECK does not call: a library without them changes nothing.
UNUSED_BY_CHECK = ("ReadStringFromRegistry", "WriteDWORDToRegistry", "ShellRun", "OpenConsole",
                   "ConsoleOpen", "SetConsoleAttributes", "ClearConsoleAttributes", "Writes",
                   "WriteLn", "InNativeConsole", "Pause")
for _name in UNUSED_BY_CHECK:
    CONSOLE_ROADS.append((f"no_{_name}", ["/CHECK", "/LOG"], "healthy",
                          dict(events=[(I, startup.OK_ENTRY)], boxes=[], window=False,
                               stdout=NONE)))
    # The warning road loads the window, whose identification reads strings.
    loaded = [(E, WINDOW_ERROR)] * 6 if _name == "ReadStringFromRegistry" else []
    CONSOLE_ROADS.append((f"no_{_name}", ["/CHECK"], "ide1-pio",
                          dict(events=[(W, startup.SLOW_ENTRY)] + loaded, boxes=[SLOW_BOX],
                               window=True, stdout=NONE)))


class ConsoleRoadFaultTest(FaultCase):
    """Start-up, /CHECK and the usage screen with a library that fails one
    call: the Error entries, boxes, window and console output that follow."""

    def test_console_roads(self):
        for fault, args, profile, want in CONSOLE_ROADS:
            with self.subTest(fault=fault, args=args, profile=profile):
                run = self.run_to_end(fault, profile, args)
                self.assertEvents(run.events, want["events"], run.describe())
                self.assertBoxes(run, want["boxes"])
                self.assertEqual([TITLE] if want["window"] else [], run.windows, run.describe())
                if want["stdout"] == NONE:
                    self.assertEqual(b"", run.stdout, run.describe())
                else:
                    self.assertEqual(usage_lines(want["stdout"]), masked(run.stdout),
                                     run.describe())

    def test_every_entry_point_has_a_console_road_or_a_window_road(self):
        covered = {f[3:] for f, *_ in CONSOLE_ROADS if f.startswith("no_")}
        covered |= set(WINDOW_ROADS)
        self.assertEqual(set(ENTRY_POINTS), covered)


# ---- the window roads -------------------------------------------------------

WINDOW_ROADS = ("ReadStringFromRegistry", "ReadDWORDFromRegistry", "WriteDWORDToRegistry",
                "ShellRun")


class WindowRoadFaultTest(FaultCase):
    """The window's actions with a library that lacks what they call. The
    window stays up and answers after each fault."""

    def assertStillRunning(self):
        self.assertTrue(self.session.alive(), "the program ended\n" + self.session.stderr())
        self.assertFalse(self.session.crashed(), self.session.stderr())
        self.session.controls()

    def test_identification_without_string_reads(self):
        s = self.session
        s.seed(s.profile("healthy"))
        s.open_window(self.program_with("no_ReadStringFromRegistry"))
        # Form_Load's six reads, each failing in GetDriverVersions.
        events = s.events()
        self.assertEvents(events, [(E, WINDOW_ERROR)] * 6, s.stderr())
        message = events[0].text[2:]
        self.assertTrue(all(e.text == events[0].text for e in events))
        ident = identification_of(message)
        self.assertEqual(ident, s.texts())
        # A test: its twelve 32-bit reads work; the identification after it
        # fails again the same way.
        s.click("Command1")
        s.settle()
        self.assertEqual([ident[ch] + DMA_OK[ch] + SEPARATOR + ident[ch] for ch in (0, 1)],
                         s.texts())
        self.assertEqual(healthy_checks(), s.checks())
        self.assertEvents(s.events(), [(E, WINDOW_ERROR)] * 12, s.stderr())
        self.assertStillRunning()

    def test_test_without_32bit_reads(self):
        s = self.session
        s.seed(s.profile("ide1-pio"))
        s.open_window(self.program_with("no_ReadDWORDFromRegistry"))
        self.assertEqual(DRIVERS, s.texts())
        self.assertEqual([], s.events())
        s.click("Command1")
        s.settle()
        # Every read is judged "not read": not a PIO finding, but the repair
        # value counts as missing, so Fix ends enabled.
        self.assertEvents(s.events(), [(E, TEST_ERROR)] * 12, s.stderr())
        self.assertEqual(nothing_read_checks(), s.checks())
        self.assertEqual([DRIVERS[ch] + nothing_read_lines(ch) + SEPARATOR + DRIVERS[ch]
                          for ch in (0, 1)], s.texts())
        self.assertTrue(s.controls()["Command3"]["enabled"])
        self.assertStillRunning()

    def test_fix_without_the_write(self):
        s = self.session
        s.seed(s.profile("repair-missing"))
        s.open_window(self.program_with("no_WriteDWORDToRegistry"))
        s.click("Command1")
        s.settle()
        before = s.texts()
        self.assertTrue(s.controls()["Command3"]["enabled"])
        s.click("Command3")
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and not all(
                RETESTING in t[len(b):] and t.endswith(SEPARATOR + DRIVERS[ch])
                for ch, (t, b) in enumerate(zip(s.texts(), before))):
            time.sleep(0.3)
        time.sleep(0.5)
        box = self.h.ui("wait-box", "exe:" + e2e.EXE, "2000")
        self.assertFalse(box.get("ok"), f"reboot box although nothing was written: {box}")
        events = s.events()
        self.assertEvents(events, [(E, WINDOW_ERROR)] * 2, s.stderr())
        line = re.escape(events[0].text[2:] + "\r\n")
        after = s.texts()
        retest = [REPAIR_MISSING[ch] for ch in (0, 1)]
        # Each failed write puts its message in both boxes; the channel's
        # failure line follows its own write.
        expected = [FIXING + line + re.escape(NOT_WRITTEN[0]) + line,
                    FIXING + line + line + re.escape(NOT_WRITTEN[1])]
        for ch in (0, 1):
            self.assertTrue(after[ch].startswith(before[ch]))
            self.assertRegex(after[ch][len(before[ch]):],
                             "^" + expected[ch] + re.escape(
                                 RETESTING + DMA_OK[ch] + retest[ch] + SEPARATOR + DRIVERS[ch])
                             + "$")
        self.assertTrue(s.controls()["Command3"]["enabled"])
        # Nothing was written.
        self.assertNotIn("ResetErrorCountersOnSuccess", self.h.dump(CLASS_KEY) or "")
        self.assertStillRunning()

    def test_links_without_the_shell(self):
        s = self.session
        s.seed(s.profile("healthy"))
        s.open_window(self.program_with("no_ShellRun"))
        s.click("Command1")
        s.settle()
        before_texts, before_checks = s.texts(), s.checks()
        before_fix = s.controls()["Command3"]["enabled"]
        for presses, button in enumerate(("Command4", "Command5", "Command4"), start=1):
            with self.subTest(button=button, presses=presses):
                s.click(button)
                s.settle()
                self.assertEvents(s.events(), [(E, WINDOW_ERROR)] * presses, s.stderr())
                # Nothing on screen: no box, no other window, texts unchanged.
                shown = self.h.ui("windows", "exe:" + e2e.EXE).get("windows", [])
                self.assertEqual([TITLE], [w["title"] for w in shown])
                self.assertEqual(before_texts, s.texts())
                self.assertEqual(before_checks, s.checks())
                self.assertEqual(before_fix, s.controls()["Command3"]["enabled"])
        self.assertStillRunning()

    def test_window_actions_with_entry_points_they_do_not_call(self):
        """A library without the console entry points serves the whole
        window: load, Test, Fix, no Error entry."""
        s = self.session
        for fault in ("no_GetArgs", "no_CloseConsole", "no_WriteLn", "no_Pause"):
            with self.subTest(fault=fault):
                s.seed(s.profile("repair-missing"))
                s.open_window(self.program_with(fault))
                s.click("Command1")
                s.settle()
                s.click("Command3")
                box = self.h.ui("click-ok", "exe:" + e2e.EXE, "15000")
                self.assertTrue(box.get("ok"), f"no reboot box: {box}")
                self.assertEqual(REBOOT_BOX[0], box["window"]["box"]["title"])
                time.sleep(0.5)
                errors = [e for e in s.events() if e.level == E]
                # GetArgs and CloseConsole are called on the way to the
                # window, before it opens.
                want = {"no_GetArgs": 1, "no_CloseConsole": 2}.get(fault, 0)
                self.assertEqual(want, len(errors), errors)
                self.assertFalse(s.controls()["Command3"]["enabled"])
                self.assertStillRunning()
                s.stop()


def main():
    return e2e.main(__file__)


if __name__ == "__main__":
    sys.exit(main())
