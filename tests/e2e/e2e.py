"""End to end: the real kestrad.exe under Wine, for what needs a real process:
the transcripts of tests/scenarios marked "e2e" (what a real process shows of
them: event-log entries, boxes, standard output, opened addresses, registry
writes, the window's controls), where the library is taken from, the window
as painted at three DPI settings, the silent installer, and the batch file
for a list of machines. Needs the Wine
environment of scripts/wine-env.sh and the locations CTest passes.
"""

import csv
import functools
import glob
import io
import os
import pathlib
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BIN = os.environ.get("KESTRAD_BIN_DIR", "")
TOOLS = os.environ.get("KESTRAD_TOOLS_DIR", "")
FIXTURES = os.environ.get("KESTRAD_FIXTURES_DIR", "")
# The program's names and version from the build: as CTest passes them, else
# (the demo) as its generated header states them.
_CONFIG = os.path.join(BIN, os.pardir, "generated", "program_config.h")
_STATED = dict(re.findall(r'#define (KESTRAD_\w+) "(.*)"', pathlib.Path(_CONFIG).read_text())
               if os.path.isfile(_CONFIG) else [])
EXE, LIBRARY, VERSION = (os.environ.get(n) or _STATED.get(n, "")
                         for n in ("KESTRAD_EXE", "KESTRAD_LIBRARY", "KESTRAD_VERSION"))
UNINSTALLER = "uninstall-" + EXE  # what the installer names its uninstaller
# What a real process shows of a transcript: not the library calls, nor the
# colours and tooltips (the window's own tests see those).
HIDDEN = ("calls:", "red:", "tip ", "ended")
LEVELS = {"err": "Error", "warn": "Warning", "trace": "Information"}


def _note_skip(add_skip):
    """Each skipped test also goes to KESTRAD_SKIPPED_LOG (a build's tests
    run one at a time): CTest shows nothing of a test that passed."""
    def noted(self, test, reason):
        add_skip(self, test, reason)
        if os.environ.get("KESTRAD_SKIPPED_LOG"):
            with open(os.environ["KESTRAD_SKIPPED_LOG"], "a") as f:
                f.write(f"{test.id()}: {reason}\n")
    return noted


unittest.TextTestResult.addSkip = _note_skip(unittest.TextTestResult.addSkip)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def command_line(exe, args):
    """The command line that starts `exe` with `args`, as the helper takes it."""
    return f'"{windows_path(exe)}" {args}'.rstrip()


def wine_env(**extra):
    env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    env.update(extra)
    return env


def wine(*args):
    """Runs a Windows program to its end. Its output goes through a file, not
    a pipe: Wine's own processes that it may start (the desktop, services)
    inherit the handles and keep a pipe open long after."""
    with tempfile.TemporaryFile() as out:
        cp = subprocess.run(["wine", *args], env=wine_env(), stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.DEVNULL, timeout=120)
        out.seek(0)
        cp.stdout = out.read().decode("latin-1")
    return cp


def escape(text: bytes) -> str:
    return "".join({92: "\\\\", 13: "\\r", 10: "\\n"}.get(c) or
                   (chr(c) if 0x20 <= c < 0x7F else f"\\x{c:02x}") for c in text)


def values(key, *args):
    """What reg query prints of a key: {key: {name: (type, data)}}, with its
    subkeys' values too given /s; {} for a key that is not there."""
    keys, current = {}, None
    for line in wine("reg", "query", key, *args).stdout.splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
        m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
        if m and current is not None:
            current[m.group(1)] = (m.group(2), m.group(3))
    return keys


def value(key, name, *view):
    """(type, data) of one value, or None."""
    return values(key, "/v", name, *view).get(key.replace("HKLM", "HKEY_LOCAL_MACHINE"), {}).get(name)


@functools.lru_cache
def unix(path):
    return wine("winepath", "-u", path).stdout.strip()


# Wine names the computer after its host, upper-cased, as a NetBIOS name.
COMPUTER = socket.gethostname().split(".")[0].upper()[:15]


def expanded(outcome):
    """The outcome with every control it does not list put back from the
    baseline (the window right after load, which a transcript's window is
    written against), in tab order after the window's line."""
    with open(os.path.join(ROOT, "tests", "scenarios", "window-after-load.baseline"), encoding="latin-1") as f:
        base = [l for l in f.read().splitlines() if l and not l.startswith("#")]
    key = lambda line: line.split(": ", 1)[0]
    listed = {key(l): l for l in outcome if key(l) in {key(b) for b in base}}
    out = []
    for line in outcome:
        if key(line) in listed:
            continue
        out.append(line)
        if line.startswith("window: "):
            out += [listed.get(key(b), b) for b in base]
    return out


def matches(want: str, got: str) -> bool:
    """{N} stands for an error number, {D} for an error description."""
    pattern = re.escape(want).replace(r"\{N\}", "-?[0-9]+").replace(r"\{D\}", ".*?")
    return re.fullmatch(pattern, got) is not None


class Helper:
    """tools/winhelper.exe serve, for the whole run: it also keeps Wine's
    services up, which would otherwise make HKLM\\HARDWARE afresh."""

    def __init__(self, url_dir="", debug=""):
        # Wine prints what the programs the helper starts report on the event
        # log (and on the `debug` channels) to the helper's standard error:
        # each entry's id on the advapi channel, then its text.
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(
            ["wine", os.path.join(TOOLS, "winhelper.exe"), "serve"], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=self.log, text=True, encoding="utf-8",
            env=wine_env(WINEDEBUG="-all,+eventlog,fixme+advapi" + debug, KESTRAD_URL_DIR=url_dir))

    def __call__(self, *fields):
        self.proc.stdin.write("\t".join(str(f) for f in fields) + "\n")
        self.proc.stdin.flush()
        lines = []
        while True:
            line = self.proc.stdout.readline().rstrip("\n")
            if not line or line in ("done", "timeout") or line.startswith("error"):
                if line != "done":
                    raise AssertionError(f"winhelper {fields[0]}: {line or 'gone'}; so far {lines}")
                return [l.split("\t") for l in lines]
            lines.append(line)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(30)


def parse_reg(name):
    """A profile's keys (relative to HKLM) as helper commands, in order."""
    ops, key = [], None
    with open(os.path.join(ROOT, "tests", "profiles", name + ".reg"), encoding="utf-8") as f:
        for line in f.read().splitlines():
            m = re.match(r"^\[(-?)HKEY_LOCAL_MACHINE\\(.*)\]$", line)
            if m:
                key = m.group(2)
                if m.group(1):
                    ops.append(("delete", key))
            m = re.match(r'^"([^"]+)"=(.*)$', line)
            if m and key:
                name, data = m.groups()
                if data == "-":
                    ops.append(("delvalue", key, name))
                elif data.startswith("dword:"):
                    ops.append(("set", key, name, "dword", data[6:]))
                elif data.startswith("hex(1):"):
                    ops.append(("set", key, name, "hex1", data[7:]))
                else:
                    text = re.sub(r'\\(.)', r'\1', data[1:-1])  # \\ and \" as in regedit
                    ops.append(("set", key, name, "sz", text))
    return ops


def seed(h, profile):
    """Applies a profile. Wine's services may make HKLM\\HARDWARE\\DEVICEMAP\\Scsi
    afresh when they start: seed until every value is there."""
    ops = parse_reg(profile)
    for _ in range(5):
        for op in ops:
            h(*op)
        if all(h("get", op[1], op[2]) != [["none"]] for op in ops if op[0] == "set"):
            return
    raise AssertionError(f"profile {profile} did not stay in the registry")


# Where the repair writes: the IDE controller's and channels' instance keys.
CLASS_KEY = r"SYSTEM\CurrentControlSet\Control\Class\{4D36E96A-E325-11CE-BFC1-08002BE10318}"


def placeheld(line):
    """A transcript's line with {C} as the computer's name, {V} as the
    program's version and {K} as the channel class key (help.txt states the
    version as it reads)."""
    return line.replace("{C}", COMPUTER).replace("{V}", VERSION).replace("{K}", CLASS_KEY)


def registry_values(h, key):
    """Every value under HKLM\\`key` and its subkeys: {(key, name): (type, data)},
    the key and name lower-cased, as the helper reads them."""
    return {(k.lower(), n.lower()): (t, d) for _, k, n, t, d in h("values", key)}


class Run:
    """One start of the program in a folder of its own, on the healthy machine
    with the differences of the profiles `profile` names (separated by
    spaces), played to its end. With `watch`, the values under that key are
    read before and after: `after` holds them, `changed` those the program
    changed, added or removed."""

    def __init__(self, h, exe, args, cwd=None, profile="", presses=(), look=None, env=(),
                 watch=None, output=True):
        self.h, self.lines = h, []
        self.folder = tempfile.mkdtemp(prefix="kestrad-e2e-")
        for name in ["healthy"] + profile.split():
            seed(h, name)
        snapshot = lambda: registry_values(h, watch) if watch else {}
        before = snapshot()
        out = os.path.join(self.folder, "out")
        logged = h.log.seek(0, os.SEEK_END)
        h("start", windows_path(cwd or os.path.dirname(exe)), windows_path(out) if output else "",
          command_line(exe, args), *env)
        boxes, window = [], []
        while True:
            (event, *rest), = h("next", 30000)
            if event == "ended":
                self.exit_code = int(rest[0])
                break
            if event == "box":
                boxes.append(rest)
            elif window:
                raise AssertionError(f"a second window: {rest}")
            else:
                for button in presses:
                    boxes += [b[1:] for b in h("press", rest[0], button, 60000)]
                window = [f"window: {rest[1]}"] + self.read(rest[0])
                if look:
                    look(rest[0], self.rects)
                h("close", rest[0])
        self.after = snapshot()
        self.changed = {k for k in before.keys() | self.after.keys()
                        if before.get(k) != self.after.get(k)}
        h.log.seek(logged)
        self.log = h.log.read().decode("latin-1").splitlines()
        event_id, server = None, ""
        for line in self.log:
            # The machine whose log an entry goes to, when it is not this one.
            m = re.match(r'^(?:[0-9a-f]+:)*fixme:advapi:RegisterEventSourceW \((?:L"(.*?)"|[^,]*),', line)
            if m:
                server = f" at {m.group(1).replace(chr(92) * 2, chr(92))}" if m.group(1) else ""
            m = re.match(r'^(?:[0-9a-f]+:)*fixme:advapi:ReportEventW \((?:[^,]*,){3}0x([0-9a-f]+),', line)
            if m:
                event_id = int(m.group(1), 16)
            m = re.match(r'^(?:[0-9a-f]+:)*(err|warn|trace):eventlog:ReportEventW L"(.*)"$', line)
            if m:
                # Wine writes a character beyond ASCII as \xxxx: the byte the
                # program wrote, in its code page (Windows-1252).
                text = re.sub(r"(?<!\\)\\([0-9a-f]{4})",
                              lambda c: escape(chr(int(c.group(1), 16)).encode("cp1252", "replace")),
                              m.group(2))
                self.lines.append(f"entry {LEVELS[m.group(1)]} {event_id}{server}: {text}")
                event_id = None
        self.lines += [f"box {b[1]} | {b[2]}" for b in boxes]
        self.window = window
        for name, path in (("stdout", out), ("stderr", out + ".err")):
            text = pathlib.Path(path).read_bytes() if os.path.exists(path) else b""
            if text:
                self.lines.append(f"{name}: {escape(text)}")
            setattr(self, name, text)
        shutil.rmtree(self.folder, True)

    def read(self, hwnd):
        lines = []
        self.rects = {}
        for _, name, enabled, check, rect, text in self.h("read", hwnd):
            self.rects[name] = [int(x) for x in rect.split()]
            state = ""
            if name.startswith("Command"):
                state = "enabled " if enabled == "1" else "disabled "
            elif name.startswith("chk"):
                state = ("unchecked ", "checked ", "grayed ")[int(check)]
            lines.append(f"{name}: {state}{text}")
        return lines


class E2E(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="kestrad-e2e-")
        cls.url_dir = os.path.join(cls.tmp, "urls")
        os.makedirs(cls.url_dir)
        cls.h = Helper(windows_path(cls.url_dir))

    @classmethod
    def tearDownClass(cls):
        cls.h.close()
        shutil.rmtree(cls.tmp, True)

    def program(self, library=os.path.join(BIN, LIBRARY), name=None):
        """kestrad.exe in a folder of its own, beside `library` (or none)."""
        folder = os.path.join(self.tmp, name) if name else tempfile.mkdtemp(dir=self.tmp)
        os.makedirs(folder, exist_ok=True)
        shutil.copy2(os.path.join(BIN, EXE), folder)
        if library:
            shutil.copy2(library, os.path.join(folder, LIBRARY))
        return os.path.join(folder, EXE)


class ScenarioTest(E2E):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The helper stands in for the web browser: it notes each address.
        cls.h("set", r"Software\Classes\http\shell\open\command", "", "sz",
              f'"{windows_path(os.path.join(TOOLS, "winhelper.exe"))}" record "%1"')

    def test_transcripts(self):
        # KESTRAD_SCENARIOS picks some, as a pattern of file names: "links".
        only = os.environ.get("KESTRAD_SCENARIOS") or "*"
        for path in sorted(glob.glob(os.path.join(ROOT, "tests", "scenarios", only + ".txt"))):
            with open(path, encoding="latin-1") as f:
                head, _, outcome = f.read().partition("== outcome\n")
            head = [tuple(l.split(": ", 1) + [""])[:2] for l in head.splitlines()
                    if l and not l.startswith("#")]
            get = dict(head).get
            if "e2e" not in get("where", ""):
                continue
            with self.subTest(scenario=os.path.basename(path)):
                library = get("library", "")
                exe = self.program(None if library == "missing" else
                                   os.path.join(FIXTURES, library, LIBRARY) if library else
                                   os.path.join(BIN, LIBRARY))
                for old in glob.glob(os.path.join(self.url_dir, "*")):
                    os.remove(old)
                # The transcript's bytes are Windows-1252, the code page the
                # program's command line is converted to under Wine.
                args = placeheld(get("args", "")).encode("latin-1").decode("cp1252")
                # The lines of the list file {F}, when the transcript has one.
                listed = os.path.join(self.tmp, "machines.txt")
                with open(listed, "w", encoding="latin-1", newline="\r\n") as f:
                    f.writelines(placeheld(v) + "\n" for k, v in head if k == "file")
                args = args.replace("{F}", windows_path(listed))
                run = Run(self.h, exe, args, profile=get("profile", ""),
                          presses=[v for k, v in head if k == "press"], watch=CLASS_KEY,
                          output=get("output") != "none")
                # A box's style is seen by the window's own tests: its icon.
                want = [placeheld(re.sub(r"^box \d+: ", "box ", l))
                        for l in expanded(outcome.splitlines()) if l and not l.startswith(HIDDEN)]
                # The shell starts the browser on its own, one recorder per
                # address, each noting it in a file of its own: wait for them.
                want_opened = sorted(l[len("opened: "):] for l in want if l.startswith("opened: "))
                deadline = time.monotonic() + 20
                while True:
                    opened = sorted(u for name in glob.glob(os.path.join(self.url_dir, "*.url"))
                                    for u in pathlib.Path(name).read_text(encoding="latin-1").split())
                    if len(opened) >= len(want_opened) or time.monotonic() > deadline:
                        break
                    time.sleep(0.05)
                # In any order: the recorders run side by side.
                self.assertEqual(want_opened, opened, "the addresses opened")
                # Each write shows as its value in the registry afterwards, and
                # nothing else changes where the repair writes: the whole
                # difference, before and after the run.
                want_changes = {}
                for w in [l for l in want if l.startswith("written: ")]:
                    key, name, value = re.match(r"written: (.*)\\(\w+) = (\d+)", w).groups()
                    want_changes[(f"HKEY_LOCAL_MACHINE\\{key}".lower(), name.lower())] = \
                        ("REG_DWORD", f"0x{int(value):x}")
                self.assertEqual(want_changes, {at: run.after.get(at) for at in run.changed},
                                 "the registry's changes")
                want = [l for l in want if not l.startswith(("opened: ", "written: "))]
                got = run.lines + run.window + [f"exit: {run.exit_code}"]
                # A list's machines are worked side by side: their entries come
                # in the order they answer, the table in the list's.
                if re.search(r"/S \S*[,@]", args):
                    entries = lambda lines: sorted(l for l in lines if l.startswith("entry "))
                    want = entries(want) + [l for l in want if not l.startswith("entry ")]
                    got = entries(got) + [l for l in got if not l.startswith("entry ")]
                # An inventory read back as a spreadsheet reads it: one record per line.
                if "/report" in get("args", "").lower():
                    records = list(csv.reader(io.StringIO(run.stdout.decode("latin-1"), newline="")))
                    self.assertEqual(len(records), run.stdout.count(b"\n"), records)
                self.assertTrue(len(got) == len(want) and all(map(matches, want, got)),
                                "\n".join(["want:"] + want + ["got:"] + got))


# The box of a start without the library, as its transcript has it.
with open(os.path.join(ROOT, "tests", "scenarios", "library-missing.txt"), encoding="latin-1") as f:
    MISSING_BOX = next(re.sub(r"^box \d+: ", "box ", l) for l in f if l.startswith("box ")).rstrip("\n")


class LibrarySearchTest(E2E):
    """The support library beside the program whatever its folder is called,
    else from the system folders and absolute PATH entries only; system DLLs
    from the system folder."""

    def test_library_beside_the_program_whatever_the_folder_name(self):
        for name in ("app;x", "\u03a9mega \u041a\u0435\u0441\u0442\u0440\u0430\u0434"):
            with self.subTest(folder=name):
                run = Run(self.h, self.program(name=name), "/CHECK /LOG")
                self.assertEqual(["entry Information 1001"], [l.split(":")[0] for l in run.lines])

    def test_library_from_the_system_folder_when_none_is_beside_the_program(self):
        # Many old machines keep shared DLLs there. The system folder is the
        # program's own: SysWOW64 for a 32-bit program on 64-bit Windows.
        system = "syswow64" if is_32bit(os.path.join(BIN, EXE)) else "system32"
        path = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", system, LIBRARY)
        shutil.copy2(os.path.join(BIN, LIBRARY), path)
        self.addCleanup(os.remove, path)
        # Wine's PATH names the system folders too: not here.
        run = Run(self.h, self.program(None), "/CHECK /LOG", env=[r"PATH=C:\nowhere"])
        self.assertEqual(["entry Information 1001"], [l.split(":")[0] for l in run.lines])
        self.assertEqual(0, run.exit_code)

    def test_current_folder_and_relative_path_entries_are_not_searched(self):
        # Wherever a relative entry may lead: from the folder the program is
        # started in, or from the system folder it makes its current one.
        current = tempfile.mkdtemp(dir=self.tmp)
        windows = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows")
        folders = [current, os.path.join(current, "bin"), os.path.join(self.tmp, "x"),
                   os.path.join(windows, "x")] + [os.path.join(windows, system, "bin")
                                                  for system in ("system32", "syswow64")]
        for folder in folders:
            os.makedirs(folder, exist_ok=True)
            shutil.copy2(os.path.join(BIN, LIBRARY), folder)
            self.addCleanup(os.remove, os.path.join(folder, LIBRARY))
        run = Run(self.h, self.program(None), "/CHECK", cwd=current,
                  env=[r"PATH=bin;..\x;.\bin;C:\windows\system32"])
        self.assertEqual(run.lines[1:], [MISSING_BOX])
        self.assertEqual(3, run.exit_code)

    def test_common_controls_come_from_the_system_folder(self):
        # The probe, a program of the same name, loads comctl32.dll by name.
        exe, current, probe = self.program(), tempfile.mkdtemp(dir=self.tmp), self.program(None)
        shutil.copy2(os.path.join(TOOLS, "winhelper.exe"), probe)
        for folder in map(os.path.dirname, (exe, probe)):
            shutil.copy2(os.path.join(TOOLS, "planted", "comctl32.dll"), folder)
        shutil.copy2(os.path.join(TOOLS, "planted", "comctl32.dll"), current)
        # Native first, as Windows looks for a DLL that is no KnownDLL.
        overrides = rf"HKCU\Software\Wine\AppDefaults\{EXE}\DllOverrides"
        self.h("set", overrides, "comctl32", "sz", "native,builtin")
        try:
            wine(probe, "load", "comctl32.dll")
            # Unless the planted DLL is taken where it is looked for, nothing
            # below could fail.
            self.assertTrue(os.path.exists(os.path.join(os.path.dirname(probe), "loaded")),
                            "the probe did not load the planted comctl32.dll")
            run = Run(self.h, exe, "", cwd=current)
        finally:
            self.h("delvalue", overrides, "comctl32")
        self.assertTrue(run.window, "the window did not open")
        for folder in (os.path.dirname(exe), current):
            self.assertFalse(os.path.exists(os.path.join(folder, "loaded")), f"comctl32.dll of {folder} loaded")

    def test_a_healthy_check_loads_nothing_the_empty_program_does_not(self):
        # The floors, started the same way: an empty program, and one that
        # reads a registry value through ADVAPI32. The check reads its values
        # without ADVAPI32 where the system allows (as Wine does); an entry in
        # the event log needs it. The window system is for the roads that
        # show something.
        h = Helper(debug=",+pid,+loaddll")
        try:
            bench = os.path.join(BIN, "..", "bench")
            empty = loaded(Run(h, os.path.join(bench, "empty.exe"), ""), "empty.exe")
            reader = loaded(Run(h, os.path.join(bench, "empty-registry.exe"), ""),
                            "empty-registry.exe")
            self.assertIn("advapi32.dll", reader - empty)
            for args, floor in (("/CHECK", empty), ("/CHECK /LOG", reader)):
                with self.subTest(args=args):
                    dlls = loaded(Run(h, self.program(), args), EXE)
                    self.assertIn(LIBRARY, dlls)
                    self.assertEqual(set(), dlls - floor - {LIBRARY})
        finally:
            h.close()


def is_32bit(path):
    """Whether the PE file at `path` is an i686 one."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 4:pe + 6], "little") == 0x14C


def loaded(run, program):
    """The DLLs that the process of `program` loaded in a run, by file name,
    from Wine's loaddll lines."""
    lines = [re.match(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(?:.*\\)?([^"\\]+)"',
                      line) for line in run.log]
    names = [(m.group(1), m.group(2).lower()) for m in lines if m]
    pid = next(pid for pid, name in names if name == program)
    return {name for p, name in names if p == pid and name != program}


def in_virtual_desktop():
    """A helper whose programs run in Wine's virtual desktop "shots": their
    windows have frames and title bars, as on Windows. A program stays on its
    parent's desktop, so the helper itself is started there."""
    wine("reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d", "shots", "/f")
    try:
        h = Helper()
        h("get", "SOFTWARE", "")  # answers once it runs, on its desktop
        return h
    finally:
        wine("reg", "delete", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/f")


class PixelTest(E2E):
    """The demo machine after Test, as drawn on the screen at each DPI."""

    def test_window_at_96_120_and_144_dpi(self):
        shots = os.environ.get("KESTRAD_SHOT_DIR") or self.tmp
        desktop = r"HKCU\Control Panel\Desktop"  # read by each new process
        h = in_virtual_desktop()
        self.addCleanup(h.close)
        sizes = {}
        for dpi in (96, 120, 144):
            with self.subTest(dpi=dpi):
                h("set", desktop, "LogPixels", "dword", f"{dpi:x}")
                Run(h, os.path.join(BIN, EXE), "", profile="demo", presses=["Test"],
                    look=lambda hwnd, rects: sizes.update({dpi: self.look(hwnd, rects, dpi, h, shots)}))
        h("delvalue", desktop, "LogPixels")
        # The client area grows with the DPI (its size in twips: the layout's tests).
        for dpi, (width, height) in sizes.items():
            self.assertLessEqual(abs(width - sizes[96][0] * dpi / 96), 1, dpi)
            self.assertLessEqual(abs(height - sizes[96][1] * dpi / 96), 1, dpi)

    def look(self, hwnd, rects, dpi, h, shots):
        (_, *rect), = h("rect", hwnd)
        left, top, right, bottom, wleft, wtop, wright, wbottom = map(int, rect)
        width, height = right - left, bottom - top
        # The picture shows the whole window, frame and title bar included.
        png = os.path.join(shots, f"dpi-{dpi}.png")
        root = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True, check=True).stdout
        subprocess.run(["convert", "png:-", "-crop", f"{wright - wleft}x{wbottom - wtop}+{wleft}+{wtop}",
                        "+repage", png], input=root, check=True)
        rgb = subprocess.run(["convert", "png:-", "-crop", f"{width}x{height}+{left}+{top}", "+repage",
                              "-depth", "8", "rgb:-"], input=root, capture_output=True, check=True).stdout

        def pixels(l, t, r, b):
            return [rgb[3 * (y * width + x):3 * (y * width + x) + 3] for y in range(t, b) for x in range(l, r)]

        for name in [n for n in rects if n.startswith("chk")]:
            l, t, r, b = rects[name]
            caption = pixels(l + 16, t, r - 3, b)
            # A caption is drawn, and none runs into the box's right edge.
            self.assertLess(min(min(p) for p in caption), 160, f"{name}: no caption ({png})")
            self.assertGreaterEqual(min(min(p) for p in pixels(r - 3, t, r, b)), 160, f"{name} clipped ({png})")
            red = sum(1 for p in caption if p[0] > 200 and p[1] < 60 and p[2] < 60)
            # Only the channel found in PIO mode has its caption in red.
            if name in ("chkIDE0DMAEnabled", "chkIDE1DMAEnabled"):
                self.assertEqual(name == "chkIDE1DMAEnabled", red > 20, f"{name}: {red} red pixels ({png})")

        # The maker's caption stands whole on its button's face, inside the
        # 2-pixel 3-D edge: two lines of text, none of them cut.
        l, t, r, b = [x + d for x, d in zip(rects["Command5"], (2, 2, -2, -2))]
        dark = [[min(p) < 100 for p in pixels(l, y, r, y + 1)] for y in range(t, b)]
        rows = [any(row) for row in dark]
        lines = sum(1 for y, on in enumerate(rows) if on and (y == 0 or not rows[y - 1]))
        self.assertEqual(2, lines, f"the maker's caption has {lines} lines ({png})")
        self.assertFalse(rows[0] or rows[-1], f"the maker's caption is cut at the top or bottom ({png})")
        self.assertFalse(any(row[0] or row[-1] for row in dark), f"the maker's caption is cut at a side ({png})")
        return width, height


class InstallerTest(E2E):
    """The silent installer and uninstaller, with and without the start-up
    shortcut, and the lock on the install folder's permissions."""

    def setUp(self):
        if not os.path.isfile(os.environ.get("KESTRAD_INSTALLER", "")):
            self.skipTest("no installer built (makensis missing)")
        # NSIS makes 32-bit installers only.
        if os.environ.get("KESTRAD_WINE_NO_32BIT"):
            self.skipTest("this machine runs no 32-bit programs, and the installer is one")

    def test_install_and_uninstall(self):
        setup = os.environ["KESTRAD_INSTALLER"]
        view = "/reg:32" if os.environ.get("KESTRAD_PACKAGE_ARCH") == "win32" else "/reg:64"
        arp = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrad"
        source = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\KESTRAD"

        def reg(key, name, *view):
            return (value(key, name, *view) or (None, None))[1]

        shell = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
        default = reg(r"HKLM\Software\Microsoft\Windows\CurrentVersion", "ProgramFilesDir", view) + r"\Kestrad"
        # Outside Program Files, where ordinary users may write, the start-up
        # shortcut is refused even when asked for.
        for switches, folder, startup in ((["/STARTUP"], default, True),
                                          (["/startup"], r"C:\Tools and more\Kestrad", False)):
            with self.subTest(switches=switches, folder=folder):
                # /D= comes last and unquoted, as typed at a prompt.
                extra = ("/D=" + folder).split(" ") if folder != default else []
                self.assertEqual(0, wine(setup, "/S", *switches, *extra).returncode)
                files = [os.path.join(unix(folder), f) for f in (EXE, LIBRARY, UNINSTALLER)]
                self.assertTrue(all(map(os.path.isfile, files)), files)
                links = {os.path.join(unix(reg(shell, "Common Programs")), "Kestrad", "KESTRAD.lnk"): "",
                         os.path.join(unix(reg(shell, "Common StartUp")), "KESTRAD boot-time check.lnk"): "/CHECK"}
                for link, args in links.items():
                    if args and not startup:
                        self.assertFalse(os.path.exists(link))
                        continue
                    info = subprocess.run(["lnkinfo", link], capture_output=True, text=True).stdout
                    self.assertRegex(info, r"(?i)Local path\s*:\s*" + re.escape(folder + "\\" + EXE))
                    self.assertEqual(args, (re.findall(r"Command line arguments[ \t]*:[ \t]*(.*)", info) + [""])[0].strip())
                self.assertEqual(f'"{folder}\\{UNINSTALLER}" /S', reg(arp, "QuietUninstallString", view))
                self.assertEqual((f"{folder}\\{EXE}", "0x7"),
                                 (reg(source, "EventMessageFile"), reg(source, "TypesSupported")))
                run = Run(self.h, os.path.join(unix(folder), EXE), "/H")
                self.assertTrue(run.lines and run.lines[0].startswith("stdout:"), run.lines)
                self.assertEqual(0, wine(os.path.join(unix(folder), UNINSTALLER), "/S").returncode)
                # The uninstaller hands over to a copy of itself and returns at once.
                deadline = time.monotonic() + 60
                while (os.path.isdir(unix(folder)) or reg(arp, "DisplayName", view)) and time.monotonic() < deadline:
                    time.sleep(0.2)
                self.assertFalse(os.path.isdir(unix(folder)), "folder left behind")
                self.assertIsNone(reg(arp, "DisplayName", view))
                self.assertIsNone(reg(source, "TypesSupported"))
                self.assertFalse(any(map(os.path.exists, links)))


    # The locked folder's tests install here, outside Program Files.
    FOLDER = r"C:\Tools\Kestrad"

    def install(self, **env):
        """(exit code, Wine's debug output) of a silent install into FOLDER."""
        with tempfile.TemporaryFile() as err:  # a file, as wine() says why
            cp = subprocess.run(["wine", os.environ["KESTRAD_INSTALLER"], "/S", "/D=" + self.FOLDER],
                                env=wine_env(**env), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=err, timeout=120)
            self.addCleanup(self.uninstall)
            err.seek(0)
            return cp.returncode, err.read().decode("latin-1")

    def uninstall(self):
        folder = unix(self.FOLDER)
        if os.path.isfile(os.path.join(folder, UNINSTALLER)):
            wine(os.path.join(folder, UNINSTALLER), "/S")
        # The uninstaller hands over to a copy of itself and returns at once.
        deadline = time.monotonic() + 60
        while os.path.isdir(folder) and time.monotonic() < deadline:
            time.sleep(0.2)

    def replace_icacls(self, by=None):
        """Moves the installer's icacls.exe (that of its own system folder) away
        for the test, and puts `by` in its place."""
        system = os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows",
                              "syswow64" if is_32bit(os.environ["KESTRAD_INSTALLER"]) else "system32")
        os.replace(os.path.join(system, "icacls.exe"), os.path.join(self.tmp, "icacls.exe"))
        self.addCleanup(os.replace, os.path.join(self.tmp, "icacls.exe"), os.path.join(system, "icacls.exe"))
        if by:
            shutil.copy2(by, os.path.join(system, "icacls.exe"))

    def test_the_install_folder_is_locked_by_icacls(self):
        # Wine's icacls changes nothing, and says so with the arguments it got.
        code, log = self.install(WINEDEBUG="-all,fixme+icacls")
        ran = [re.findall(r'"((?:[^"\\]|\\.)*)"', line.replace("\\\\", "\\"))
               for line in log.splitlines() if "fixme:icacls:main stub:" in line]
        self.assertEqual([[r"C:\windows\system32\icacls.exe", self.FOLDER, "/inheritance:r", "/grant:r",
                           "*S-1-5-32-544:(OI)(CI)F", "*S-1-5-18:(OI)(CI)F", "*S-1-1-0:(OI)(CI)RX"]], ran)
        self.assertEqual(0, code)
        self.assertTrue(os.path.isfile(os.path.join(unix(self.FOLDER), EXE)))

    def test_a_folder_that_cannot_be_locked_gets_nothing(self):
        # The helper, given these arguments, ends with 2 as a failing icacls would.
        self.replace_icacls(os.path.join(TOOLS, "winhelper.exe"))
        code, _ = self.install(WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;icacls.exe=n")
        self.assertEqual(2, code)
        self.assertFalse(os.path.exists(unix(self.FOLDER)), "a folder that could not be locked was left")
        view = "/reg:32" if os.environ.get("KESTRAD_PACKAGE_ARCH") == "win32" else "/reg:64"
        self.assertIsNone(value(r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrad",
                                "DisplayName", view))

    def test_without_icacls_the_folder_is_locked_through_the_system(self):
        # Windows 2000 and XP. Wine keeps no such list on its files: this
        # proves that the system took the list, not what it holds.
        self.replace_icacls()
        code, _ = self.install()
        self.assertEqual(0, code)
        self.assertTrue(os.path.isfile(os.path.join(unix(self.FOLDER), EXE)))

# The batch file that runs the program over machines.txt, beside it in bin/.
MACHINES_SCRIPT = "kestrad-machines.cmd"


class MachinesScriptTest(E2E):
    """The batch file over a list of machines: this one, reached by its name,
    and one that cannot be reached, each with an inventory from before."""

    OLD = {f"{COMPUTER}.csv": b'"OLD-NAME","IDE 0"\r\n',
           "NOSUCHMACHINE.csv": b'"NOSUCHMACHINE","IDE 0","1","DMA"\r\n'}

    def setUp(self):
        # Together as in the packages, in a folder whose name needs quotes
        # and holds parentheses, as Program Files (x86) does.
        self.exe = self.program(name="Kestrad (x86)")
        self.script = os.path.join(os.path.dirname(self.exe), MACHINES_SCRIPT)
        shutil.copy2(os.path.join(BIN, MACHINES_SCRIPT), self.script)
        self.work = tempfile.mkdtemp(dir=self.tmp)
        os.makedirs(os.path.join(self.work, "reports"))
        for name, text in self.OLD.items():
            pathlib.Path(self.work, "reports", name).write_bytes(text)
        # With and without \\, a comment, a blank line, a note after a name.
        pathlib.Path(self.work, "machines.txt").write_bytes(
            f"; the lab\r\n\\\\{COMPUTER}\r\n\r\n  NOSUCHMACHINE ; room 4\r\n".encode())

    def run_script(self, args, profile):
        """(exit code, standard output, standard error) of the batch file run
        by cmd in the work folder, on the healthy machine with `profile`."""
        for name in ("healthy", profile):
            seed(self.h, name)
        out = os.path.join(self.work, os.pardir, os.path.basename(self.work) + ".out")
        (_, code, _), = self.h("time", windows_path(self.work), windows_path(out),
                               f'cmd.exe /c ""{windows_path(self.script)}" {args}"')
        return int(code), pathlib.Path(out).read_bytes(), pathlib.Path(out + ".err").read_bytes()

    def reports(self):
        folder = os.path.join(self.work, "reports")
        return {name: pathlib.Path(folder, name).read_bytes() for name in os.listdir(folder)}

    def summary(self, codes):
        lines = ['"Machine","Exit code"'] + [f'"{name}","{code}"' for name, code in codes]
        return "".join(line + "\r\n" for line in lines).encode()

    def test_an_inventory_replaces_only_the_files_of_machines_reached(self):
        code, stdout, _ = self.run_script("", "demo")
        reports = self.reports()
        # The demo machine's inventory, as the program prints it here.
        inventory = Run(self.h, self.exe, "/REPORT /NH", profile="demo")
        self.assertEqual(1, inventory.exit_code)
        self.assertEqual(inventory.stdout, reports.pop(f"{COMPUTER}.csv"))
        self.assertEqual(self.OLD["NOSUCHMACHINE.csv"], reports.pop("NOSUCHMACHINE.csv"))
        self.assertRegex(reports.pop("NOSUCHMACHINE.err", b""), b"^ERROR: Cannot reach NOSUCHMACHINE: ")
        self.assertEqual({}, reports, "nothing else in reports")
        summary = self.summary([(COMPUTER, 1), ("NOSUCHMACHINE", 8)])
        self.assertEqual(summary, pathlib.Path(self.work, "summary.csv").read_bytes())
        self.assertEqual((0, summary), (code, stdout))

    def test_a_repair_writes_no_report(self):
        code, _, stderr = self.run_script("/fix", "repair-missing")
        self.assertEqual(self.OLD, self.reports())
        self.assertEqual({"machines.txt", "reports", "summary-fix.csv"}, set(os.listdir(self.work)))
        self.assertEqual(self.summary([(COMPUTER, 4), ("NOSUCHMACHINE", 8)]),
                         pathlib.Path(self.work, "summary-fix.csv").read_bytes())
        # The program's own message, on the console, not in a file.
        self.assertIn(b"ERROR: Cannot reach NOSUCHMACHINE: ", stderr)
        self.assertEqual(0, code)
