"""KESTRAD benchmarks under Wine: prints each figure beside its target.

  a. start-up: "kestrad.exe /CHECK" on the healthy profile against an empty
     console program built with the same toolchain (the floor of starting
     any program under Wine);
  b. the same check against `reg query ... /v DMAEnabled`, what a user would
     type instead;
  d. file sizes of kestrad.exe and tamarak9.dll, stripped.

Timings of different programs are taken in one interleaved loop (the order
rotates every round), so a noisy machine slows all of them alike and the
ratios stay meaningful; compare ratios, not absolute times, between runs.

Usage (bench/run.sh sets up Wine and calls this):
  python3 bench/bench.py [--runs 30] BUILD_DIR [BUILD_DIR ...]
Needs WINEPREFIX (with a persistent wineserver) and DISPLAY, as the
end-to-end tests do.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import e2e  # noqa: E402

KIB = 1024
TARGET_CHECK_OVER_FLOOR = 1.05
TARGET_EXE = 200 * KIB
TARGET_DLL = 120 * KIB
REG_QUERY = ["reg", "query", r"HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0", "/v", "DMAEnabled"]


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
        for f in (self.exe, self.dll, self.empty, os.path.join(self.tools, "winhelper.exe")):
            if not os.path.isfile(f):
                sys.exit(f"bench: missing {f}; build it first "
                         f"(cmake --build {self.path})")



def timed(wine_env: dict, argv, cwd: str) -> float:
    """Wall time of one run. A wait with a timeout polls with sleeps of up to
    50 ms, which would put every figure on that grid: the wait here blocks,
    and a timer ends a program that hangs."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, env=wine_env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    watchdog = threading.Timer(120, proc.kill)
    watchdog.start()
    code = proc.wait()
    seconds = time.perf_counter() - start
    watchdog.cancel()
    if code != 0:
        raise RuntimeError(f"{argv} ended with {code}")
    return seconds


def bench_startup(builds, runs: int) -> None:
    wine = "wine"
    env = e2e.wine_env()
    commands = []  # (label, argv, cwd)
    for b in builds:
        commands.append((f"{b.name} empty.exe", [wine, b.empty], os.path.dirname(b.empty)))
        commands.append((f"{b.name} kestrad.exe /CHECK", [wine, b.exe, "/CHECK"], b.bin))
    commands.append(("reg query DMAEnabled", [wine, *REG_QUERY], ROOT))
    for _, argv, cwd in commands:  # warm the page cache and the server
        timed(env, argv, cwd)
    times = {label: [] for label, _, _ in commands}
    for i in range(runs):
        k = i % len(commands)
        for label, argv, cwd in commands[k:] + commands[:k]:
            times[label].append(timed(env, argv, cwd))
    median = {label: statistics.median(t) for label, t in times.items()}
    print(f"\n[a, b] start-up, median wall time of {runs} interleaved runs each "
          f"(healthy profile)")
    for label, _, _ in commands:
        t = sorted(times[label])
        print(f"  {label:34s} median {median[label] * 1000:7.1f} ms   "
              f"(min {t[0] * 1000:.1f}, max {t[-1] * 1000:.1f})")
    reg = median["reg query DMAEnabled"]
    for b in builds:
        check = median[f"{b.name} kestrad.exe /CHECK"]
        floor = median[f"{b.name} empty.exe"]
        ratio = check / floor
        print(f"  a. {b.name}: /CHECK / empty = {ratio:.3f} "
              f"(adds {(ratio - 1) * 100:+.1f}% to the floor)   "
              f"target <= {TARGET_CHECK_OVER_FLOOR:.2f}: {verdict(ratio <= TARGET_CHECK_OVER_FLOOR)}")
        print(f"  b. {b.name}: /CHECK / reg query = {check / reg:.3f}   "
              f"(no fixed target; below 1 means faster than typing the query)")


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
    p.add_argument("--runs", type=int, default=30)
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
        h = e2e.Helper()
        try:
            e2e.seed(h, "healthy")
            bench_startup(builds, args.runs)
        finally:
            h.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
