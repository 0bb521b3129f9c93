"""Runs kestrad.exe under Wine and records what a user and the event log see.

The run expects the caller (scripts/wine-env.sh) to have exported WINEPREFIX
and DISPLAY, with a persistent wineserver on that prefix: the seeded
HKLM\\HARDWARE keys are volatile and die with the server.

Locations come from the environment (set by tests/e2e/CMakeLists.txt) or
from the command line of the test module:
  KESTRAD_BIN_DIR       kestrad.exe and tamarak9.dll
  KESTRAD_TOOLS_DIR     regseed.exe and uidriver.exe
  KESTRAD_FIXTURES_DIR  deliberately broken support libraries
  KESTRAD_PROFILES_DIR  registry profiles (*.reg)
"""

import argparse
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from dataclasses import dataclass, field
from typing import List, Optional

# The keys the registry profiles write, read back after seeding.
SEEDED_ROOTS = ("HKLM\\HARDWARE\\DEVICEMAP\\Scsi",
                "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                "{4D36E96A-E325-11CE-BFC1-08002BE10318}")

EXE = "kestrad.exe"
LIBRARY = "tamarak9.dll"

# How long one run may take before it is killed, and how often the windows
# are looked at meanwhile.
RUN_TIMEOUT_S = 25.0
POLL_S = 0.1
TOOL_TIMEOUT_S = 30.0

ERROR, WARNING, INFORMATION = "Error", "Warning", "Information"
_LEVELS = {"err": ERROR, "warn": WARNING, "trace": INFORMATION}

# Wine prints each ReportEvent string on the eventlog channel, e.g.
#   0024:warn:eventlog:ReportEventW L"\r\n\r\nKESTRAD ..."
# and cuts long texts with a trailing "...".
_EVENT_LINE = re.compile(
    r'^(?:[0-9a-f]+:)*(err|warn|trace):eventlog:ReportEventW L"(.*)"(\.\.\.)?$')
_CRASH_MARKERS = ("Unhandled exception", "Unhandled page fault", "wine: Call from",
                  "Backtrace:", "unhandled exception")


class EnvironmentError_(RuntimeError):
    """The Wine environment or a build product is missing."""


def _unescape_wine(text: str) -> str:
    """Undoes the escaping of Wine's debugstr_w."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 >= len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        simple = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}
        if n in simple:
            out.append(simple[n])
            i += 2
        elif n == "x" and re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:]):
            digits = re.match(r"[0-9a-fA-F]{1,4}", text[i + 2:]).group(0)
            out.append(chr(int(digits, 16)))
            i += 2 + len(digits)
        elif re.match(r"[0-9a-fA-F]{4}", text[i + 1:]):
            out.append(chr(int(text[i + 1:i + 5], 16)))
            i += 5
        else:
            out.append(n)
            i += 2
    return "".join(out)


@dataclass
class Event:
    level: str
    text: str
    truncated: bool = False

    def __repr__(self):
        return f"Event({self.level}, {self.text!r}{', truncated' if self.truncated else ''})"


def parse_events(stderr: str) -> List[Event]:
    events = []
    for line in stderr.splitlines():
        m = _EVENT_LINE.match(line.rstrip("\r"))
        if m:
            events.append(Event(_LEVELS[m.group(1)], _unescape_wine(m.group(2)), bool(m.group(3))))
    return events


@dataclass
class Box:
    title: str
    prompt: Optional[str]
    icon: str
    buttons: List[str]


@dataclass
class Run:
    args: List[str]
    events: List[Event] = field(default_factory=list)
    boxes: List[Box] = field(default_factory=list)
    windows: List[str] = field(default_factory=list)  # titles of non-dialog windows seen
    stdout: bytes = b""
    stderr: str = ""
    exit_code: Optional[int] = None
    timed_out: bool = False
    seconds: float = 0.0

    def crashed(self) -> bool:
        return any(m in self.stderr for m in _CRASH_MARKERS)

    def describe(self) -> str:
        lines = [f"args={self.args} exit={self.exit_code} timed_out={self.timed_out} "
                 f"{self.seconds:.1f}s",
                 f"events={self.events}", f"boxes={self.boxes}", f"windows={self.windows}",
                 f"stdout={self.stdout[:600]!r}"]
        noise = [l for l in self.stderr.splitlines() if "ServiceMain" not in l][:30]
        if noise:
            lines.append("stderr:\n  " + "\n  ".join(noise))
        return "\n".join(lines)


def _dir_from_env(name: str) -> str:
    value = os.environ.get(name, "")
    if not value:
        raise EnvironmentError_(f"{name} is not set (run through ctest, or pass it)")
    return os.path.abspath(value)


class Wine:
    """Wine commands for one prefix; refuses to work without a prepared one."""

    def __init__(self):
        prefix = os.environ.get("WINEPREFIX", "")
        if not prefix:
            raise EnvironmentError_(
                "WINEPREFIX is not set: source scripts/wine-env.sh first, it prepares a "
                "prefix with a persistent wineserver (the tests do not create prefixes)")
        if not os.path.isfile(os.path.join(prefix, "system.reg")):
            raise EnvironmentError_(f"WINEPREFIX={prefix} is not an initialised Wine prefix")
        if not os.environ.get("DISPLAY"):
            raise EnvironmentError_("DISPLAY is not set: source scripts/wine-env.sh first")
        self.wine = shutil.which("wine")
        if not self.wine:
            raise EnvironmentError_("wine is not on PATH")
        self.env = dict(os.environ)
        self.env["WINEDEBUG"] = "-all"
        self.env["WINEDLLOVERRIDES"] = "mscoree,mshtml="

    def tool(self, exe: str, *args: str, check: bool = True) -> subprocess.CompletedProcess:
        cp = subprocess.run([self.wine, exe, *args], env=self.env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=TOOL_TIMEOUT_S)
        if check and cp.returncode not in (0, 1):
            raise RuntimeError(f"{os.path.basename(exe)} {' '.join(args)} failed "
                               f"({cp.returncode}): {cp.stderr.decode(errors='replace')}")
        return cp


class UiDriver:
    """One long-lived "uidriver serve": starting a user32 program under Wine
    takes about half a second, too slow to poll with."""

    def __init__(self, wine: Wine, exe: str):
        self.wine, self.exe = wine, exe
        self.proc = None
        self.buffer = b""

    def _start(self):
        self.proc = subprocess.Popen([self.wine.wine, self.exe, "serve"], env=self.wine.env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.buffer = b""

    def close(self):
        if self.proc:
            self.proc.stdin.close()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
            self.proc.stdout.close()
            self.proc = None

    def __call__(self, *args: str, timeout: float = TOOL_TIMEOUT_S) -> dict:
        if self.proc is None or self.proc.poll() is not None:
            self._start()
        self.proc.stdin.write(("\t".join(args) + "\n").encode())
        self.proc.stdin.flush()
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            ready = select.select([fd], [], [], max(left, 0))[0] if left > 0 else []
            chunk = os.read(fd, 65536) if ready else b""
            if not chunk:
                self.close()  # hung or gone: start afresh next time
                raise RuntimeError(f"uidriver {' '.join(args)}: no answer")
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        try:
            return json.loads(line.decode("utf-8", errors="replace"))
        except ValueError:
            raise RuntimeError(f"uidriver {' '.join(args)}: unreadable answer {line!r}")


class Harness:
    def __init__(self):
        self.wine = Wine()
        self.bin_dir = _dir_from_env("KESTRAD_BIN_DIR")
        self.tools_dir = _dir_from_env("KESTRAD_TOOLS_DIR")
        self.profiles_dir = _dir_from_env("KESTRAD_PROFILES_DIR")
        self.fixtures_dir = os.environ.get("KESTRAD_FIXTURES_DIR", "")
        for path in (self.exe, self.library, self._regseed, self._uidriver):
            if not os.path.isfile(path):
                raise EnvironmentError_(f"missing build product: {path}")
        self.ui = UiDriver(self.wine, self._uidriver)

    def close(self):
        self.ui.close()

    def end_program(self, proc: subprocess.Popen) -> None:
        """Ends a program started under wine: through its Windows process
        first, then, should wine itself not end, its Unix process."""
        if proc.poll() is not None:
            return
        self.ui("kill", "exe:" + EXE)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    # -- locations --
    @property
    def exe(self) -> str:
        return os.path.join(self.bin_dir, EXE)

    @property
    def library(self) -> str:
        return os.path.join(self.bin_dir, LIBRARY)

    @property
    def _regseed(self) -> str:
        return os.path.join(self.tools_dir, "regseed.exe")

    @property
    def _uidriver(self) -> str:
        return os.path.join(self.tools_dir, "uidriver.exe")

    def fixture(self, *parts: str) -> str:
        return os.path.join(self.fixtures_dir, *parts) if self.fixtures_dir else ""

    # -- registry --
    def seed(self, profile: Optional[str]) -> None:
        """Removes the IDE keys, then applies tests/e2e/profiles/<profile>.reg
        and reads it back. When the prefix's Wine services start up (the first
        Wine program after they went idle), HKLM\\HARDWARE\\DEVICEMAP\\Scsi is
        made anew and freshly seeded port keys can vanish: seed again until
        every key of the profile is there."""
        wanted = []
        if profile:
            path = os.path.join(self.profiles_dir, profile + ".reg")
            with open(path, encoding="utf-8", errors="replace") as f:
                wanted = [k.upper() for k in re.findall(r"^\[([^\]-][^\]]*)\]", f.read(), re.M)]
        # A running driver keeps the services up from here on.
        self.ui("windows", "any")
        for _ in range(5):
            cp = self.wine.tool(self._regseed, "clear")
            if cp.returncode != 0:
                raise RuntimeError("regseed clear: " + cp.stderr.decode(errors="replace"))
            if not profile:
                return
            cp = self.wine.tool(self._regseed, "apply", path)
            if cp.returncode != 0:
                raise RuntimeError(f"regseed apply {profile}: " + cp.stderr.decode(errors="replace"))
            seen = "".join(self.dump(root) or "" for root in SEEDED_ROOTS).upper()
            if all(f"[{k}]" in seen for k in wanted):
                return
            time.sleep(0.5)
        raise RuntimeError(f"profile {profile} did not stay in the registry")

    def dump(self, key: str) -> Optional[str]:
        cp = self.wine.tool(self._regseed, "dump", key)
        text = cp.stdout.decode(errors="replace").replace("\r\n", "\n")
        return text if cp.returncode == 0 else None

    def copy_program(self, with_library: Optional[str]) -> str:
        """A private directory holding kestrad.exe and, when given, a library
        file under the name tamarak9.dll. The caller removes it."""
        where = tempfile.mkdtemp(prefix="kestrad-e2e-")
        shutil.copy2(self.exe, where)
        if with_library:
            shutil.copy2(with_library, os.path.join(where, LIBRARY))
        return where

    def run(self, args: List[str], exe: Optional[str] = None,
            timeout: float = RUN_TIMEOUT_S) -> Run:
        """Starts the program and plays a patient user until it ends: every
        message box gets OK, every other window of the program gets WM_CLOSE.
        Kills the program when it does not end in time."""
        exe = exe or self.exe
        run = Run(args=list(args))
        env = dict(self.wine.env)
        env["WINEDEBUG"] = "-all,+eventlog"
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            start = time.monotonic()
            # Standard input stays open and silent: a program that waits for
            # a key hangs here and is caught by the timeout.
            proc = subprocess.Popen([self.wine.wine, exe, *args], cwd=os.path.dirname(exe),
                                    env=env, stdin=subprocess.PIPE, stdout=out, stderr=err)
            handled = {}  # hwnd -> time of our last action on it
            try:
                while proc.poll() is None:
                    if time.monotonic() - start > timeout:
                        run.timed_out = True
                        break
                    seen = self.ui("windows", "exe:" + EXE)
                    for w in seen.get("windows", []):
                        self._act(w, run, handled)
                    time.sleep(POLL_S)
            finally:
                if proc.poll() is None:
                    self.ui("kill", "exe:" + EXE)
                    try:
                        proc.wait(5)
                    except subprocess.TimeoutExpired:
                        proc.kill()
                        proc.wait()
                proc.stdin.close()
            run.seconds = time.monotonic() - start
            run.exit_code = proc.returncode
            out.seek(0)
            err.seek(0)
            run.stdout = out.read()
            run.stderr = err.read().decode("utf-8", errors="replace")
        run.events = parse_events(run.stderr)
        return run

    def _act(self, w: dict, run: Run, handled: dict) -> None:
        hwnd = w["hwnd"]
        now = time.monotonic()
        if hwnd in handled and now - handled[hwnd] < 2.0:
            return  # closing; give it time before asking again
        first = hwnd not in handled
        handled[hwnd] = now
        if "box" in w:
            if first:
                b = w["box"]
                run.boxes.append(Box(b["title"], b["prompt"], b["icon"],
                                     [x["text"] for x in b["buttons"]]))
            self.ui("click", hwnd, "1")
        else:
            if first:
                run.windows.append(w["title"])
            self.ui("close-window", "hwnd:" + hwnd)


# ---- one harness per run, and the test modules' command line ---------------

_shared: Optional[Harness] = None


def harness() -> Harness:
    """The run's harness (one uidriver server for all modules), made on
    first use."""
    global _shared
    if _shared is None:
        _shared = Harness()
    return _shared


def main(path: str, argv: Optional[List[str]] = None) -> int:
    """The command line of every test module:

      python3 tests/e2e/test_<suite>.py [--bin DIR] [--tools DIR]
          [--fixtures DIR] [--profiles DIR] [unittest arguments]

    The directories may also come from the environment (as CTest gives
    them). Exits 2 at once, with the reason, when the Wine environment is
    not prepared."""
    parser = argparse.ArgumentParser(add_help=False)
    for opt in ("--bin", "--tools", "--fixtures", "--profiles"):
        parser.add_argument(opt)
    opts, rest = parser.parse_known_args(sys.argv[1:] if argv is None else argv)
    for name, value in (("KESTRAD_BIN_DIR", opts.bin), ("KESTRAD_TOOLS_DIR", opts.tools),
                        ("KESTRAD_FIXTURES_DIR", opts.fixtures),
                        ("KESTRAD_PROFILES_DIR", opts.profiles)):
        if value:
            os.environ[name] = value
        os.environ.setdefault(name, "")
    if not os.environ["KESTRAD_PROFILES_DIR"]:
        os.environ["KESTRAD_PROFILES_DIR"] = os.path.join(
            os.path.dirname(os.path.abspath(__file__)), "profiles")
    try:
        harness()
    except EnvironmentError_ as err:
        print(f"{os.path.basename(path)}: {err}", file=sys.stderr)
        return 2
    try:
        prog = unittest.main(module="__main__", argv=[path] + rest, exit=False)
    finally:
        harness().close()
    return 0 if prog.result.wasSuccessful() else 1
