"""End to end: the main window at 96, 120 and 144 DPI under Wine.

The window lays itself out in twips, converted with the screen's logical
DPI, so at every setting the client area is 10245 x 4425 twips and each
control keeps its place and size in twips. For each setting this seeds the
demo machine, opens the window, presses Test, checks the control rectangles
against the twips table of test_window.py and looks at a picture of the
window: no check-box caption may run into the right edge of its box (that is
where a clipped caption would show) and each box must show some caption.

Wine takes the DPI from HKCU\\Control Panel\\Desktop\\LogPixels (then from
HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts),
read by each new process; the per-user value is set here and put back as it
was at the end.

The pictures go to KESTRAD_SHOT_DIR (set by ctest to the build tree), or to
the folder given with --shots; the documentation's pictures are made with
  . scripts/wine-env.sh
  KESTRAD_BIN_DIR=build/win64/bin KESTRAD_TOOLS_DIR=build/win64/tools \\
  KESTRAD_PROFILES_DIR=tests/e2e/profiles python3 tests/e2e/test_dpi.py --shots docs
"""

import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
from test_window import CONTROLS, TITLE, WAIT_MS  # noqa: E402

DESKTOP_KEY = r"HKCU\Control Panel\Desktop"
CLIENT_TWIPS = (10245, 4425)
TEST_BUTTON_ID = "100"
SHOT_DIR = os.environ.get("KESTRAD_SHOT_DIR", "")

# Grey levels (0-255) in the picture: text is black, or dark grey when the
# box is disabled; the face of the window is light grey.
INK = 160
MARGIN_PX = 3  # the right-hand strip of a check box that must stay clear


def twips_to_px(twips, dpi):
    return twips * dpi / 1440.0


harness = e2e.harness


class LogPixels:
    """The per-user LogPixels value of the prefix: read, set, put back."""

    def __init__(self, wine: e2e.Wine):
        self.wine = wine
        self.saved = self._read()

    def _reg(self, *args):
        return subprocess.run([self.wine.wine, "reg", *args], env=self.wine.env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=e2e.TOOL_TIMEOUT_S)

    def _read(self):
        cp = self._reg("query", DESKTOP_KEY, "/v", "LogPixels")
        m = re.search(r"LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)", cp.stdout)
        return int(m.group(1), 16) if cp.returncode == 0 and m else None

    def set(self, dpi):
        cp = self._reg("add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD",
                       "/d", str(dpi), "/f")
        if cp.returncode != 0 or self._read() != dpi:
            raise RuntimeError(f"could not set LogPixels to {dpi}: {cp.stdout}{cp.stderr}")

    def restore(self):
        if self.saved is None:
            self._reg("delete", DESKTOP_KEY, "/v", "LogPixels", "/f")
        else:
            self.set(self.saved)


def grey_image(png: str):
    """(width, height, bytes) of a PNG as 8-bit grey levels."""
    pgm = subprocess.run(["convert", png, "-colorspace", "gray", "-depth", "8", "pgm:-"],
                         capture_output=True, check=True, timeout=60).stdout
    m = re.match(rb"P5\s+(\d+)\s+(\d+)\s+(\d+)\s", pgm)
    width, height = int(m.group(1)), int(m.group(2))
    return width, height, pgm[m.end():m.end() + width * height]


def window_on_screen(title: str):
    """Screen position and size of the window's X window. Without a window
    manager (Xvfb) Wine draws no frame, so this is the client area."""
    out = subprocess.run(["xwininfo", "-name", title], capture_output=True, text=True,
                         timeout=30).stdout
    geometry = re.search(r"-geometry (\d+)x(\d+)[+-]\d+[+-]\d+", out)
    x = re.search(r"Absolute upper-left X:\s+(-?\d+)", out)
    y = re.search(r"Absolute upper-left Y:\s+(-?\d+)", out)
    if not (geometry and x and y):
        raise RuntimeError(f"xwininfo found no window {title!r}: {out}")
    return int(x.group(1)), int(y.group(1)), int(geometry.group(1)), int(geometry.group(2))


class DpiCase(unittest.TestCase):
    dpi = 96

    @classmethod
    def setUpClass(cls):
        cls.h = harness()
        cls.log_pixels = LogPixels(cls.h.wine)
        # Registered first, so it runs even when the window never opens.
        cls.addClassCleanup(cls.log_pixels.restore)
        cls.log_pixels.set(cls.dpi)
        cls.h.seed("demo")
        cls.proc = subprocess.Popen([cls.h.wine.wine, cls.h.exe], cwd=cls.h.bin_dir,
                                    env=cls.h.wine.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.addClassCleanup(cls._stop)
        found = cls.h.ui("wait-window", TITLE, WAIT_MS)
        if not found.get("ok"):
            raise AssertionError(f"main window did not open at {cls.dpi} DPI: {found}")
        cls.hwnd = found["window"]["hwnd"]
        cls.h.ui("click", cls.hwnd, TEST_BUTTON_ID)
        cls.dump = cls._wait_for_results()
        cls.shot = cls._screenshot()

    @classmethod
    def _stop(cls):
        cls.h.end_program(cls.proc)

    @classmethod
    def _wait_for_results(cls):
        """The dump once Test has filled the driver boxes."""
        deadline = time.monotonic() + 15
        while True:
            dump = cls.h.ui("dump-window", TITLE)
            boxes = [c for c in dump.get("children", []) if c["class"].lower() == "edit"]
            if boxes and all(c["text"] for c in boxes):
                time.sleep(0.5)  # let the repaint reach the screen
                return dump
            if time.monotonic() > deadline:
                raise AssertionError(f"Test filled nothing in at {cls.dpi} DPI: {dump}")
            time.sleep(0.2)

    @classmethod
    def _screenshot(cls):
        x, y, width, height = window_on_screen(TITLE)
        folder = SHOT_DIR or tempfile.mkdtemp(prefix="kestrad-dpi-")
        os.makedirs(folder, exist_ok=True)
        out = os.path.join(folder, f"dpi-{cls.dpi}.png")
        root = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True,
                              check=True, timeout=60).stdout
        subprocess.run(["convert", "png:-", "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                        "-strip", out], input=root, check=True, timeout=60)
        return out

    # -- helpers --
    def controls(self):
        children = [c for c in self.dump["children"] if c["parent"] == self.hwnd]
        self.assertEqual(len(CONTROLS), len(children), [c["text"] for c in children])
        return {name: c for (name, _, _), c in zip(CONTROLS, children)}

    def twips_rect(self, name):
        """[left, top, right, bottom] in twips within the client area."""
        table = {n: (f, r) for n, f, r in CONTROLS}
        frame, (left, top, width, height) = table[name]
        if frame:
            left, top = left + table[frame][1][0], top + table[frame][1][1]
        return [left, top, left + width, top + height]

    # -- the cases --
    def test_client_area_is_the_same_in_twips(self):
        want = [twips_to_px(t, self.dpi) for t in CLIENT_TWIPS]
        got = self.dump["client"]
        for g, w in zip(got, want):
            self.assertLessEqual(abs(g - w), 0.5 + 1e-9, f"client {got}, want about {want}")

    def test_every_control_keeps_its_twips_rectangle(self):
        # A check box's offset is rounded apart from its frame's: one pixel.
        for name, c in self.controls().items():
            with self.subTest(control=name):
                want = [twips_to_px(t, self.dpi) for t in self.twips_rect(name)]
                for g, w in zip(c["rect"], want):
                    self.assertLessEqual(abs(g - w), 1.0 + 1e-9,
                                         f"{name}: {c['rect']}, want about {want}")

    def test_check_boxes_stay_inside_their_frames_and_apart(self):
        controls = self.controls()
        width, height = self.dump["client"]
        for name, frame, _ in CONTROLS:
            r = controls[name]["rect"]
            self.assertTrue(0 <= r[0] < r[2] <= width and 0 <= r[1] < r[3] <= height,
                            f"{name} {r} outside the client area {width}x{height}")
            if not frame:
                continue
            f = controls[frame]["rect"]
            self.assertTrue(f[0] < r[0] and r[2] < f[2] and f[1] < r[1] and r[3] < f[3],
                            f"{name} {r} not inside {frame} {f}")
        for frame in ("Frame1", "Frame2"):
            boxes = sorted((controls[n]["rect"] for n, f, _ in CONTROLS if f == frame),
                           key=lambda r: r[1])
            for upper, lower in zip(boxes, boxes[1:]):
                self.assertLessEqual(upper[3], lower[1], f"{frame}: {upper} overlaps {lower}")

    def test_picture_is_the_window_at_this_size(self):
        width, height, _ = grey_image(self.shot)
        self.assertEqual([width, height], self.dump["client"], self.shot)

    def test_check_box_captions_are_not_clipped(self):
        width, _, grey = grey_image(self.shot)

        def darkest(x0, x1, y0, y1):
            return min(grey[y * width + x] for y in range(y0, y1) for x in range(x0, x1))

        controls = self.controls()
        for name, frame, _ in CONTROLS:
            if not frame:
                continue
            left, top, right, bottom = controls[name]["rect"]
            with self.subTest(check_box=name, caption=controls[name]["text"]):
                self.assertLess(darkest(left, right - MARGIN_PX, top, bottom), INK,
                                f"{name}: no caption drawn ({self.shot})")
                self.assertGreaterEqual(darkest(right - MARGIN_PX, right, top, bottom), INK,
                                        f"{name}: caption runs into the right edge "
                                        f"at {self.dpi} DPI ({self.shot})")


class Dpi96Test(DpiCase):
    dpi = 96


class Dpi120Test(DpiCase):
    dpi = 120


class Dpi144Test(DpiCase):
    dpi = 144


def load_tests(loader, tests, pattern):
    suite = unittest.TestSuite()
    for case in (Dpi96Test, Dpi120Test, Dpi144Test):
        suite.addTests(loader.loadTestsFromTestCase(case))
    return suite


if __name__ == "__main__":
    args = sys.argv[1:]
    if "--shots" in args:
        i = args.index("--shots")
        SHOT_DIR = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    sys.exit(e2e.main(__file__, args))
