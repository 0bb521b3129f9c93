#!/bin/bash
# The main job under Wine: the boot-time check ("/CHECK") on the bundled demo
# machine, whose secondary IDE channel fell back to PIO. The check writes a
# Warning to the event log, shows the warning box and then opens the window.
#
# With a display you use the program yourself. Without one, an Xvfb is
# started, the script plays the user (OK on the box, then Test in the
# window) and saves a picture of the window in build/demo/, taken in Wine's
# virtual desktop, where the window has its frame and title bar.
#
#   scripts/demo.sh            the i686 build (what Windows 2000/XP users run);
#                              the x86_64 one on a machine that runs no
#                              32-bit programs
#   KESTRAD_DEMO_PRESET=win64 scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${KESTRAD_SKIP_SETUP:-0}" = 1 ] || bash scripts/setup-debian.sh

interactive=1
[ -n "${DISPLAY:-}" ] || interactive=0

KESTRAD_WINE_NO_AUTOSTART=1 . scripts/wine-env.sh
# The environment's helpers are written for plain shells, not for set -e.
set +e
kestrad_wine_up
up=$?
set -e
trap kestrad_wine_down EXIT
[ $up = 0 ] || exit 1

preset=${KESTRAD_DEMO_PRESET:-win32}
if [ "$preset" = win32 ] && [ -n "${KESTRAD_WINE_NO_32BIT:-}" ]; then
  echo "demo: this machine runs no 32-bit programs: the x86_64 build instead"
  preset=win64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target kestrad tamarak9 winhelper

mkdir -p build/demo
export KESTRAD_BIN_DIR=build/$preset/bin KESTRAD_TOOLS_DIR=build/$preset/tools
export KESTRAD_DEMO_INTERACTIVE=$interactive
python3 - <<'PY'
import os, subprocess, sys
sys.path.insert(0, "tests/e2e")
import e2e

interactive = os.environ["KESTRAD_DEMO_INTERACTIVE"] == "1"
h = e2e.Helper() if interactive else e2e.in_virtual_desktop()
exe = os.path.join(e2e.BIN, e2e.EXE)
if interactive:
    e2e.seed(h, "healthy")
    e2e.seed(h, "demo")
    print("demo: kestrad.exe /CHECK on the demo machine; answer the box, then use the window")
    subprocess.run(["wine", exe, "/CHECK"], env=e2e.wine_env(WINEDEBUG="-all,+eventlog"))
else:
    def shot(hwnd, rects):
        (_, *rect), = h("rect", hwnd)
        left, top, right, bottom = map(int, rect[4:])
        root = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, check=True).stdout
        subprocess.run(["convert", "png:-", "-crop", f"{right - left}x{bottom - top}+{left}+{top}",
                        "+repage", "build/demo/window-after-test.png"], input=root, check=True)
        print("demo: saved build/demo/window-after-test.png")
    run = e2e.Run(h, exe, "/CHECK", profile="demo", presses=["Test"], look=shot)
    print("demo: what the check did:")
    for line in run.lines:
        print("  " + line[:160])
h.close()
PY
