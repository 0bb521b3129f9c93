"""KESTRAD benchmarks under Wine: prints each figure beside its target.

  a. start-up: "kestrad.exe /CHECK" on the healthy profile against an empty
     console program built with the same toolchain (the floor of starting
     any program), and against an empty program that reads one registry
     value and so imports ADVAPI32 too (the floor of a program that reads
     the registry);
  b. the same check against `reg query ... /v DMAEnabled`, what a user would
     type instead;
  c. the DLLs each of them loads (Wine's loaddll channel);
  d. file sizes of kestrad.exe and tamarak9.dll, stripped.

Every program is started by tools/winhelper.exe with CreateProcessW, which
times it from the start to its end with a blocking wait. Timings of
different programs are taken in one interleaved loop (the order rotates
every round), so a noisy machine slows all of them alike and the ratios
stay meaningful; compare ratios, not absolute times, between runs.

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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import e2e  # noqa: E402

KIB = 1024
TARGET_CHECK_OVER_FLOOR = 1.05     # the aim
LIMIT_CHECK_OVER_FLOOR = 1.10      # at most this
TARGET_EXE = 160 * KIB
TARGET_DLL = 48 * KIB
REG_QUERY = r'reg.exe query "HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port 0" /v DMAEnabled'
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
        for f in (self.exe, self.dll, self.empty, self.floor,
                  os.path.join(self.tools, "winhelper.exe")):
            if not os.path.isfile(f):
                sys.exit(f"bench: missing {f}; build it first "
                         f"(cmake --build {self.path})")

    def programs(self):
        """(label, path, arguments) of the programs this build times."""
        return [(f"{self.name} {os.path.basename(path)} {args}".rstrip(), path, args)
                for path, args in ((self.empty, ""), (self.floor, ""), (self.exe, "/CHECK"))]


def start(path: str, args: str):
    """The folder and command line that start a program of the build."""
    return e2e.windows_path(os.path.dirname(path)), f'"{e2e.windows_path(path)}" {args}'.rstrip()


def timed(h, folder: str, command: str) -> float:
    """Seconds from the start of one run to its end, as the helper measured
    them with a blocking wait."""
    with tempfile.TemporaryDirectory() as d:
        (_, code, microseconds), = h("time", folder, e2e.windows_path(os.path.join(d, "out")),
                                     command)
    if code != "0":
        raise RuntimeError(f"{command} ended with {code}")
    return int(microseconds) / 1e6


def bench_startup(h, builds, runs: int) -> None:
    commands = [(label, *start(path, args)) for b in builds for label, path, args in b.programs()]
    commands.append(("reg query DMAEnabled", SYSTEM32, REG_QUERY))
    for _, folder, command in commands:  # warm the page cache and the server
        timed(h, folder, command)
    times = {label: [] for label, _, _ in commands}
    for i in range(runs):
        k = i % len(commands)
        for label, folder, command in commands[k:] + commands[:k]:
            times[label].append(timed(h, folder, command))
    median = {label: statistics.median(t) for label, t in times.items()}
    print(f"\n[a, b] start-up, median time from start to end of {runs} interleaved runs each "
          f"(healthy profile)")
    for label, _, _ in commands:
        t = sorted(times[label])
        print(f"  {label:40s} median {median[label] * 1000:7.1f} ms   "
              f"(min {t[0] * 1000:.1f}, max {t[-1] * 1000:.1f})")
    reg = median["reg query DMAEnabled"]
    for b in builds:
        (empty, _, _), (floor, _, _), (check, _, _) = b.programs()
        ratio = median[check] / median[empty]
        print(f"  a. {b.name}: /CHECK / empty = {ratio:.3f}   target <= {TARGET_CHECK_OVER_FLOOR:.2f}: "
              f"{verdict(ratio <= TARGET_CHECK_OVER_FLOOR)}, at most "
              f"{LIMIT_CHECK_OVER_FLOOR:.2f}: {verdict(ratio <= LIMIT_CHECK_OVER_FLOOR)}")
        print(f"     {b.name}: /CHECK / empty reading the registry = "
              f"{median[check] / median[floor]:.3f}   (the floor of a program that reads it)")
        print(f"  b. {b.name}: /CHECK / reg query = {median[check] / reg:.3f}   "
              f"(no fixed target; below 1 means faster than typing the query)")


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
                if path == b.exe:
                    beyond = sorted(loaded[path] - loaded[b.floor])
                    extra = f"   beyond the registry reader's: {', '.join(beyond) or 'none'}"
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
