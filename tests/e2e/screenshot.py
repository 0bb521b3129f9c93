"""Takes a picture of the main window for the documentation: seeds the demo
profile, starts kestrad.exe, presses Test and saves the window area as PNG.

  . scripts/wine-env.sh
  KESTRAD_BIN_DIR=build/win64/bin KESTRAD_TOOLS_DIR=build/win64/tools \\
  KESTRAD_PROFILES_DIR=tests/e2e/profiles python3 tests/e2e/screenshot.py [out.png]

The default output is docs/window-demo.png in the source tree.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
from test_window import TITLE, WAIT_MS  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "docs", "window-demo.png")
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    h = e2e.Harness()
    h.ui("windows", "any")  # keeps Wine's services up while seeding
    h.seed("demo")
    time.sleep(0.5)
    proc = subprocess.Popen([h.wine.wine, h.exe], cwd=h.bin_dir, env=h.wine.env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        found = h.ui("wait-window", TITLE, WAIT_MS)
        if not found.get("ok"):
            print("screenshot: the window did not open", file=sys.stderr)
            return 1
        hwnd = found["window"]["hwnd"]
        h.ui("click", hwnd, "100")  # Test
        time.sleep(1.5)
        left, top, right, bottom = h.ui("window-rect", TITLE)["window"]
        shot = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True,
                              check=True, timeout=60).stdout
        subprocess.run(["convert", "png:-", "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                        "+repage", out], input=shot, check=True, timeout=60)
        print(out)
        return 0
    finally:
        h.ui("kill", "exe:" + e2e.EXE)
        proc.wait(10)
        h.close()


if __name__ == "__main__":
    sys.exit(main())
