"""KESTRAD benchmarks under Wine: prints each figure beside its target.

  a. start-up: "kestrad.exe /CHECK" on the healthy profile against an empty
     console program built with the same toolchain (the floor of starting
     any program), and against an empty program that reads one registry
     value and so imports ADVAPI32 too (the floor of a program that reads
     the registry);
  b. the same check against `reg query ... /v DMAEnabled`, what a user would
     type instead;
  c. the DLLs each of them loads (Wine's loaddll channel);
  d. file sizes of kestrad.exe and tamarak9.dll, stripped;
  e. "kestrad.exe /REPORT" (output to a file) against the empty program that
     reads the registry;
  f. the window's time to its first paint (kestrad.exe without switches)
     against an empty program that opens one window of the same client size
     (bench/empty_window.c, given the size the program's window has).

Every program is started by tools/winhelper.exe with CreateProcessW, which
times it from the start to its end with a blocking wait, or (e, f) to the
first paint of its window: the moment its window is visible and neither it
nor any window in it has an update region left, seen from outside once the
program has answered a message sent to it (tools/winhelper.cpp, Paint);
then the window is closed. Timings of
different programs are taken in one interleaved loop (in a fresh random
order every round), so a noisy machine slows all of them alike and the ratios
stay meaningful; compare ratios, not absolute times, between runs. (Timed
as `wine program` from Linux, each figure would also carry Wine's
launcher, for the x86_64 build its start.exe too: 30 to 100 ms that are
not the program's.)

Under Wine a share of all process starts, of any program, take some 35 ms
longer before the program's first instruction (Wine's trace shows the gap
between the parent's NtCreateUserProcess and the child's first line); the
share varies from run to run, from a fifth to over half. A median or even a
quartile then falls in either group by chance, so the ratios compare the
first deciles, which lie among the quick starts; the medians are printed
too. With fewer quick starts the first decile wanders: 41 rounds gave
ratios from 1.04 to 1.24 for the same build, 101 rounds (the default, some
four minutes with the windows) within a few hundredths.

Usage (bench/run.sh sets up Wine and calls this):
  python3 bench/bench.py [--runs 101] BUILD_DIR [BUILD_DIR ...]
Needs WINEPREFIX (with a persistent wineserver) and DISPLAY, as the
end-to-end tests do.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import e2e  # noqa: E402

KIB = 1024
TARGET_CHECK_OVER_FLOOR = 1.05     # the aim
LIMIT_CHECK_OVER_FLOOR = 1.10      # at most this
LIMIT_REPORT_OVER_FLOOR = 1.10     # /REPORT against the registry reader
LIMIT_PAINT_OVER_FLOOR = 1.20      # the first paint against the empty window
TARGET_EXE = 160 * KIB
TARGET_DLL = 48 * KIB
REG_QUERY_ARGS = r'query "HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0" /v DMAEnabled'
SYSTEM32 = r"C:\windows\system32"


def verdict(ok: bool) -> str:
    return "met" if ok else "NOT MET"


class Build:
    def __init__(self, path: str):
        self.path = os.path.abspath(path)
        self.name = os.path.basename(self.path.rstrip("/"))
        self.bin = os.path.join(self.path, "bin")
        self.tools = os.path.join(self.path, "tools")
        self.exe = os.path.join(self.bin, "kestrad.exe")
        self.dll = os.path.join(self.bin, "tamarak9.dll")
        self.empty = os.path.join(self.path, "bench", "empty.exe")
        self.floor = os.path.join(self.path, "bench", "empty-registry.exe")
        self.window = os.path.join(self.path, "bench", "empty-window.exe")
        self.window_size = ""  # the program's client size, measured (bench_startup)
        for f in (self.exe, self.dll, self.empty, self.floor, self.window,
                  os.path.join(self.tools, "winhelper.exe")):
            if not os.path.isfile(f):
                sys.exit(f"bench: missing {f}; build it first "
                         f"(cmake --build {self.path})")

    def programs(self):
        """(label, path, arguments) of the programs this build times."""
        return [(f"{self.name} {os.path.basename(path)} {args}".rstrip(), path, args)
                for path, args in ((self.empty, ""), (self.floor, ""), (self.exe, "/CHECK"))]

    def timings(self):
        """(label, helper command, path, arguments) of what this build times:
        the programs above, /REPORT, and the two windows to their first paint."""
        return [(label, "time", path, args) for label, path, args in self.programs()] + [
            (f"{self.name} kestrad.exe /REPORT", "time", self.exe, "/REPORT"),
            (f"{self.name} empty-window.exe, painted", "paint", self.window, self.window_size),
            (f"{self.name} kestrad.exe, painted", "paint", self.exe, "")]


def start(path: str, args: str):
    """The folder and command line that start a program of the build."""
    return e2e.windows_path(os.path.dirname(path)), e2e.command_line(path, args)


def timed(h, path: str, args: str, how: str = "time"):
    """Seconds from the start of one run to its end ("time": CreateProcessW and
    a blocking wait) or to its window's first paint ("paint"), and the rest
    of the helper's answer (the window's client size)."""
    folder, command = start(path, args) if os.path.isabs(path) else (SYSTEM32, f"{path} {args}")
    with tempfile.TemporaryDirectory() as d:
        (_, code, microseconds, *rest), = h(how, folder,
                                            e2e.windows_path(os.path.join(d, "out")), command)
    if code != "0":
        raise RuntimeError(f"{command} ended with {code}")
    return int(microseconds) / 1e6, " ".join(rest)


def bench_startup(h, builds, runs: int) -> None:
    for b in builds:  # the empty window gets the program's client size
        b.window_size = timed(h, b.exe, "", "paint")[1]
        if timed(h, b.window, b.window_size, "paint")[1] != b.window_size:
            sys.exit(f"bench: {b.window} did not open a window of {b.window_size}")
    programs = [p for b in builds for p in b.timings()]
    programs.append(("reg query DMAEnabled", "time", "reg.exe", REG_QUERY_ARGS))
    for _, how, path, args in programs:  # warm the page cache and the server
        timed(h, path, args, how)
    times = {label: [] for label, _, _, _ in programs}
    # A fresh order every round: a start can cost more right after certain
    # others (a 32-bit program after a 64-bit one), and a fixed or rotating
    # order would give each program the same predecessor every time.
    order = random.Random(9)
    for _ in range(runs):
        for label, how, path, args in order.sample(programs, len(programs)):
            times[label].append(timed(h, path, args, how)[0])
    decile = {label: statistics.quantiles(t, n=10, method="inclusive")[0]
              for label, t in times.items()}
    print(f"\n[a, b, e, f] start-up, time from start to end (or to the first paint) of {runs} "
          f"interleaved runs each (healthy profile)")
    for label, _, _, _ in programs:
        t = sorted(times[label])
        print(f"  {label:40s} first decile {decile[label] * 1000:6.1f} ms, median "
              f"{statistics.median(t) * 1000:6.1f} (min {t[0] * 1000:.1f}, max {t[-1] * 1000:.1f})")
    reg = decile["reg query DMAEnabled"]
    for b in builds:
        empty, floor, check, report, window, painted = (t[0] for t in b.timings())
        ratio = decile[check] / decile[empty]
        print(f"  a. {b.name}: /CHECK / empty = {ratio:.3f}   target <= "
              f"{TARGET_CHECK_OVER_FLOOR:.2f}: {verdict(ratio <= TARGET_CHECK_OVER_FLOOR)}, "
              f"at most {LIMIT_CHECK_OVER_FLOOR:.2f}: {verdict(ratio <= LIMIT_CHECK_OVER_FLOOR)}")
        print(f"     {b.name}: empty reading the registry / empty = "
              f"{decile[floor] / decile[empty]:.3f}, /CHECK / empty reading the registry = "
              f"{decile[check] / decile[floor]:.3f}")
        print(f"  b. {b.name}: /CHECK / reg query = {decile[check] / reg:.3f}   "
              f"(no fixed target; below 1 means faster than typing the query)")
        ratio = decile[report] / decile[floor]
        print(f"  e. {b.name}: /REPORT / empty reading the registry = {ratio:.3f}   target <= "
              f"{LIMIT_REPORT_OVER_FLOOR:.2f}: {verdict(ratio <= LIMIT_REPORT_OVER_FLOOR)}")
        ratio = decile[painted] / decile[window]
        print(f"  f. {b.name}: first paint / empty window ({b.window_size}) = {ratio:.3f}   "
              f"target <= {LIMIT_PAINT_OVER_FLOOR:.2f}: {verdict(ratio <= LIMIT_PAINT_OVER_FLOOR)}")


def bench_loaded(builds) -> None:
    print("\n[c] DLLs loaded (healthy profile)")
    h = e2e.Helper(debug=",+pid,+loaddll")
    try:
        for b in builds:
            loaded = {}
            for label, path, args in b.programs():
                loaded[path] = e2e.loaded(e2e.Run(h, path, args), os.path.basename(path))
            for label, path, args in b.programs():
                extra = ""
                if path != b.empty:
                    beyond = sorted(loaded[path] - loaded[b.empty])
                    extra = f"   beyond the empty program's: {', '.join(beyond) or 'none'}"
                print(f"  {label:40s} {len(loaded[path]):3d}{extra}")
    finally:
        h.close()


def stripped_size(path: str, objcopy: str) -> int:
    with tempfile.TemporaryDirectory() as d:
        copy = os.path.join(d, os.path.basename(path))
        shutil.copy2(path, copy)
        if shutil.which(objcopy):
            subprocess.run([objcopy, "--strip-all", copy], check=True)
        return os.path.getsize(copy)


def bench_sizes(builds) -> None:
    print("\n[d] sizes, stripped (objcopy --strip-all)")
    for b in builds:
        arch = "i686" if "i686" in open(os.path.join(b.path, "CMakeCache.txt")).read() else "x86_64"
        objcopy = f"{arch}-w64-mingw32-objcopy"
        for path, target in ((b.exe, TARGET_EXE), (b.dll, TARGET_DLL)):
            size = stripped_size(path, objcopy)
            print(f"  {b.name:10s} {arch:6s} {os.path.basename(path):12s} {size:7d} bytes "
                  f"= {size / KIB:6.1f} KiB   target <= {target // KIB} KiB: "
                  f"{verdict(size <= target)}")


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--runs", type=int, default=101)
    p.add_argument("--skip", default="", help="comma list of parts to skip: startup,sizes")
    p.add_argument("builds", nargs="+")
    args = p.parse_args()
    skip = set(filter(None, args.skip.split(",")))
    builds = [Build(d) for d in args.builds]
    print("KESTRAD benchmarks under " +
          subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip() +
          f"; builds: {', '.join(b.path for b in builds)}")
    if "sizes" not in skip:
        bench_sizes(builds)
    if "startup" not in skip:
        os.environ["KESTRAD_TOOLS_DIR"] = builds[0].tools
        e2e.TOOLS = builds[0].tools
        bench_loaded(builds)
        h = e2e.Helper()
        try:
            e2e.seed(h, "healthy")
            bench_startup(h, builds, args.runs)
        finally:
            h.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
