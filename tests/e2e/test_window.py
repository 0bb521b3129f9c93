"""End to end: the main window of kestrad.exe under Wine, driven like a user.

Each case seeds the registry, starts the real program without switches,
waits for its window and then reads and presses its controls through
uidriver (window messages only).

Run through ctest from a Windows build directory, or by hand:
  . scripts/wine-env.sh
  python3 tests/e2e/test_window.py --bin build/win64/bin --tools build/win64/tools
"""

import argparse
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402

TITLE = "ATAPI Disk DMA Test v1.05 - Troubleshoot a Win XP/2K system for PIO-mode slowdown"
WAIT_MS = "15000"

# The controls in tab order, which is also the order the window creates them
# in: name, container, twips (left, top, width, height) within the container.
CONTROLS = [
    ("Command1", None, (105, 360, 1215, 495)),
    ("Command3", None, (105, 960, 1215, 495)),
    ("Command4", None, (105, 1575, 1215, 495)),
    ("Command2", None, (105, 2160, 1215, 495)),
    ("chkIDE0DMAEnabled", "Frame1", (105, 240, 4065, 255)),
    ("chkIDE0ResetError", "Frame1", (120, 576, 4125, 255)),
    ("chkIDE0MasterIdDataCheckSum", "Frame1", (120, 912, 4020, 255)),
    ("chkIDE0MasterDeviceDetectionTimeout", "Frame1", (120, 1248, 4020, 255)),
    ("chkIDE0SlaveIdDataCheckSum", "Frame1", (105, 1575, 4065, 255)),
    ("chkIDE0SlaveDeviceDetectionTimeout", "Frame1", (120, 1920, 4050, 255)),
    ("txtIDE0", None, (1470, 2730, 4305, 1455)),
    ("chkIDE1DMAEnabled", "Frame2", (240, 240, 3945, 255)),
    ("chkIDE1ResetError", "Frame2", (240, 576, 3945, 255)),
    ("chkIDE1MasterIdDataCheckSum", "Frame2", (240, 912, 3915, 255)),
    ("chkIDE1MasterDeviceDetectionTimeout", "Frame2", (240, 1248, 3915, 255)),
    ("chkIDE1SlaveIdDataCheckSum", "Frame2", (240, 1584, 3930, 255)),
    ("chkIDE1SlaveDeviceDetectionTimeout", "Frame2", (240, 1920, 3945, 255)),
    ("txtIDE1", None, (5880, 2730, 4305, 1455)),
    ("Frame1", None, (1470, 210, 4305, 2415)),
    ("Frame2", None, (5880, 210, 4305, 2415)),
    ("Command5", None, (105, 3120, 1215, 615)),
]
CHECK_BOXES = [name for name, frame, _ in CONTROLS if frame]

VENDOR = "IDE Driver Vendor: Intel(R) 82801DB Ultra ATA Storage Controllers - 24CB (7-1-2001)\r\n"
DRIVERS = [VENDOR + "IDE 0: ATAPI Driver: Microsoft - 5.1.2600.5512\r\n",
           VENDOR + "IDE 1: ATAPI Driver: Microsoft - 5.1.2600.5512\r\n"]
SEPARATOR = "-" * 80 + "\r\n"
DMA_OK = ["IDE 0: DMA is enabled OK - no action should be required\r\n",
          "IDE 1: DMA is enabled OK - no action should be required\r\n"]
PIO_IDE1 = ("WARNING: DMA does not appear to be enabled for the Secondary IDE channel (IDE 1)\r\n"
            "You may be having serious performance issues due to PIO mode being enabled\r\n"
            "Check in settings for IDE 1 in Control Panel->System->Device Manager\r\n")


def pixels(twips, dpi=96):
    """Twips to pixels, halves rounded up, as the window converts them."""
    return (twips * dpi + 720) // 1440


def expected_rect(name):
    """Client-area rectangle [left, top, right, bottom] at 96 DPI; a check
    box's offset is rounded apart from its frame's."""
    table = {n: (f, r) for n, f, r in CONTROLS}
    frame, (left, top, width, height) = table[name]
    x, y = pixels(left), pixels(top)
    if frame:
        fl, ft = table[frame][1][:2]
        x, y = x + pixels(fl), y + pixels(ft)
    return [x, y, x + pixels(width), y + pixels(height)]


def harness() -> e2e.Harness:
    if not hasattr(harness, "h"):
        harness.h = e2e.Harness()
    return harness.h


class WindowCase(unittest.TestCase):
    profile = "healthy"

    @classmethod
    def setUpClass(cls):
        cls.h = harness()

    def setUp(self):
        self.h.seed(self.profile)
        env = dict(self.h.wine.env)
        self.proc = subprocess.Popen([self.h.wine.wine, self.h.exe], cwd=self.h.bin_dir, env=env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        found = self.h.ui("wait-window", TITLE, WAIT_MS)
        self.assertTrue(found.get("ok"), f"main window did not open: {found}")
        self.hwnd = found["window"]["hwnd"]

    def tearDown(self):
        if self.proc.poll() is None:
            self.h.ui("kill", "exe:" + e2e.EXE)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def controls(self):
        """The window's controls by name, and the whole dump."""
        dump = self.h.ui("dump-window", TITLE)
        self.assertTrue(dump.get("ok"), f"window gone: {dump}")
        children = [c for c in dump["children"] if c["parent"] == self.hwnd]
        self.assertEqual(len(CONTROLS), len(children), [c["text"] for c in children])
        return {name: c for (name, _, _), c in zip(CONTROLS, children)}, dump

    def press(self, name):
        c, _ = self.controls()
        self.h.ui("click", self.hwnd, str(c[name]["id"]))
        time.sleep(0.5)

    def wait_box(self):
        box = self.h.ui("click-ok", "exe:" + e2e.EXE, "5000")
        return box["window"]["box"] if box.get("ok") else None

    def assertEnds(self):
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end")
        self.assertEqual(0, self.proc.returncode)


class AfterStartTest(WindowCase):
    def test_layout_and_first_state(self):
        c, dump = self.controls()
        self.assertEqual(TITLE, dump["window"]["title"])
        self.assertEqual([683, 295], dump["client"])
        for name, _, _ in CONTROLS:
            with self.subTest(control=name):
                self.assertEqual(expected_rect(name), c[name]["rect"])
                self.assertTrue(c[name]["visible"])
        for name in CHECK_BOXES:
            with self.subTest(check_box=name):
                self.assertEqual(0, c[name]["check"])
                self.assertTrue(c[name]["enabled"])
        self.assertFalse(c["Command3"]["enabled"])
        for name in ("Command1", "Command4", "Command2", "Command5"):
            self.assertTrue(c[name]["enabled"], name)
        self.assertEqual(["&Test", "&Fix", "&MS Hotfix", "&Exit"],
                         [c[n]["text"] for n in ("Command1", "Command3", "Command4", "Command2")])
        self.assertEqual(DRIVERS[0], c["txtIDE0"]["text"])
        self.assertEqual(DRIVERS[1], c["txtIDE1"]["text"])

    def test_exit_ends_the_program(self):
        self.press("Command2")
        self.assertEnds()

    def test_closing_the_window_ends_the_program(self):
        self.h.ui("close-window", TITLE)
        self.assertEnds()


class HealthyTest(WindowCase):
    def test_test_checks_everything_and_leaves_fix_disabled(self):
        self.press("Command1")
        c, _ = self.controls()
        for name in CHECK_BOXES:
            self.assertEqual(1, c[name]["check"], name)
        self.assertEqual("DMA is enabled OK", c["chkIDE0DMAEnabled"]["text"])
        self.assertEqual("ResetErrorCountersOnSuccess (OK)", c["chkIDE1ResetError"]["text"])
        self.assertFalse(c["Command3"]["enabled"])
        for ch, box in enumerate(("txtIDE0", "txtIDE1")):
            self.assertEqual(DRIVERS[ch] + DMA_OK[ch] + SEPARATOR + DRIVERS[ch], c[box]["text"])

    def test_two_presses_stack_two_reports(self):
        self.press("Command1")
        self.press("Command1")
        c, _ = self.controls()
        block = DMA_OK[1] + SEPARATOR + DRIVERS[1]
        self.assertEqual(DRIVERS[1] + block + block, c["txtIDE1"]["text"])


class SecondChannelPioTest(WindowCase):
    # The profile's secondary channel (Scsi Port 1) runs in PIO mode.
    profile = "ide1-pio"

    def test_test_flags_the_channel_and_enables_fix(self):
        self.press("Command1")
        c, _ = self.controls()
        self.assertEqual(2, c["chkIDE1DMAEnabled"]["check"])
        self.assertEqual("DMA is NOT enabled - (poss PIO mode)", c["chkIDE1DMAEnabled"]["text"])
        self.assertEqual(1, c["chkIDE0DMAEnabled"]["check"])
        self.assertTrue(c["Command3"]["enabled"])
        self.assertEqual(DRIVERS[1] + PIO_IDE1 + SEPARATOR + DRIVERS[1], c["txtIDE1"]["text"])
        self.assertEqual(DRIVERS[0] + DMA_OK[0] + SEPARATOR + DRIVERS[0], c["txtIDE0"]["text"])

    def test_fix_writes_both_channels_retests_and_asks_for_a_reboot(self):
        self.press("Command1")
        c, _ = self.controls()
        before = c["txtIDE0"]["text"]
        # Posted: the click's handler shows a modal box.
        self.h.ui("click", self.hwnd, str(c["Command3"]["id"]))
        box = self.wait_box()
        self.assertIsNotNone(box, "no reboot box")
        self.assertEqual("Reboot required", box["title"])
        self.assertEqual("You should reboot your system as soon as possible to activate the "
                         "new settings", box["prompt"])
        self.assertEqual(["OK"], [b["text"] for b in box["buttons"]])
        self.assertEqual("asterisk", box["icon"])
        time.sleep(0.3)
        c, _ = self.controls()
        self.assertEqual(before + "Fixing problem...IDE 0: Successfully wrote "
                         "ResetErrorCountersOnSuccess to registry\r\n"
                         "Retesting settings (please check results)\r\n"
                         + DMA_OK[0] + SEPARATOR + DRIVERS[0], c["txtIDE0"]["text"])
        self.press("Command2")
        self.assertEnds()

    def test_fix_posted_while_disabled_does_nothing(self):
        c, _ = self.controls()
        self.h.ui("click", self.hwnd, str(c["Command3"]["id"]))
        time.sleep(0.5)
        c, _ = self.controls()
        self.assertEqual(DRIVERS[0], c["txtIDE0"]["text"])


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--bin")
    parser.add_argument("--tools")
    parser.add_argument("--profiles",
                        default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                             "profiles"))
    opts, rest = parser.parse_known_args()
    for name, value in (("KESTRAD_BIN_DIR", opts.bin), ("KESTRAD_TOOLS_DIR", opts.tools),
                        ("KESTRAD_PROFILES_DIR", opts.profiles)):
        if value:
            os.environ[name] = value
    try:
        harness()
    except e2e.EnvironmentError_ as err:
        print(f"test_window: {err}", file=sys.stderr)
        return 2
    prog = unittest.main(argv=[sys.argv[0]] + rest, exit=False)
    return 0 if prog.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
