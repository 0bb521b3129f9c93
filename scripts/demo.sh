#!/bin/bash
# The main job under Wine: the boot-time check ("/CHECK") on the bundled demo
# machine, whose secondary IDE channel fell back to PIO. The check writes a
# Warning to the event log, shows the warning box and then opens the window.
#
# With a display you use the program yourself. Without one, an Xvfb is
# started, the script plays the user (OK on the box, then Test in the
# window) and saves screenshots in build/demo/.
#
#   scripts/demo.sh            the i686 build (what Windows 2000/XP users run)
#   KESTRAD_DEMO_PRESET=win64 scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."

[ "${KESTRAD_SKIP_SETUP:-0}" = 1 ] || bash scripts/setup-debian.sh
preset=${KESTRAD_DEMO_PRESET:-win32}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target kestrad tamarak9 regseed uidriver

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

out=build/demo
mkdir -p "$out"
bin=build/$preset/bin
tools=build/$preset/tools
title="ATAPI Disk DMA Test v1.05 - Troubleshoot a Win XP/2K system for PIO-mode slowdown"
ui() { wine "$tools/uidriver.exe" "$@"; }
field() { python3 -c 'import json,sys; print(json.load(sys.stdin)["window"][sys.argv[1]])' "$1"; }
shot() { import -window root "$out/$1" && echo "demo: saved $out/$1"; }

wine "$tools/regseed.exe" clear
wine "$tools/regseed.exe" apply tests/e2e/profiles/demo.reg

echo "demo: kestrad.exe /CHECK on the demo machine"
WINEDEBUG=-all,+eventlog wine "$bin/kestrad.exe" /CHECK 2>"$out/eventlog.txt" &
program=$!

if [ $interactive = 1 ]; then
  echo "demo: answer the warning box, then use the window (Test, Fix, Exit)"
  wait $program || true
else
  ui wait-box exe:kestrad.exe 30000 >"$out/warning-box.json"
  shot 1-warning-box.png
  ui click-ok exe:kestrad.exe 5000 >/dev/null
  hwnd=$(ui wait-window "$title" 30000 | field hwnd)
  sleep 1
  shot 2-window.png
  ui click "$hwnd" 100 >/dev/null   # Test
  sleep 2
  shot 3-after-test.png
  ui close-window "$title" >/dev/null
  ui wait-exit exe:kestrad.exe 20000 >/dev/null || ui kill exe:kestrad.exe >/dev/null || true
  wait $program || true
  echo "demo: warning box: $(cat "$out/warning-box.json")"
fi
echo "demo: event-log entries:"
grep -E '(err|warn|trace):eventlog:ReportEvent' "$out/eventlog.txt" || echo "  (none)"
