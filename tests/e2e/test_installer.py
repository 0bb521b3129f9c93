"""End to end: the NSIS installer under Wine, silent install and uninstall.

Each case installs with /S (plus its own switches), records what is on disk,
in the Start menu and in Add/Remove Programs, runs the installed
kestrad.exe /H, uninstalls with the uninstaller's /S and records again; the
test methods judge the records.

Locations come from the environment (set by tests/e2e/CMakeLists.txt):
  KESTRAD_INSTALLER     packages/kestrad-<version>-<arch>-setup.exe
  KESTRAD_PACKAGE_ARCH  win32 or win64
plus those of kestrad_e2e.Harness.
"""

import os
import re
import struct
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
from test_startup import BANNER, USAGE_LINES, WEBSITE  # noqa: E402

FOLDER = "Kestrad"
FILES = ("kestrad.exe", "tamarak9.dll", "uninstall.exe")
MENU_LINKS = ("KESTRAD.lnk", "Uninstall KESTRAD.lnk")
STARTUP_LINK = "KESTRAD boot-time check.lnk"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrad"
# The uninstaller hands over to a copy of itself in %TEMP% and returns.
UNINSTALL_WAIT_S = 60.0


def parse_lnk(data: bytes) -> dict:
    """Target path and arguments of a shell link (.lnk) file."""
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C:
        raise ValueError("not a shell link")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x01:  # item id list
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    target = None
    if flags & 0x02:  # link info
        size, _, info_flags = struct.unpack_from("<III", data, pos)
        if info_flags & 0x01:
            base = struct.unpack_from("<I", data, pos + 16)[0]
            end = data.index(b"\0", pos + base)
            target = data[pos + base:end].decode("latin-1")
        pos += size
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x04, "description"), (0x08, "relative"), (0x10, "workdir"),
                      (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            width = 2 if unicode else 1
            raw = data[pos:pos + count * width]
            # Wine counts the terminating NUL in; Windows does not.
            strings[name] = raw.decode("utf-16-le" if unicode else "latin-1").rstrip("\0")
            pos += count * width
    return {"target": target, "arguments": strings.get("arguments", "")}


harness = e2e.harness


class InstallerCase(unittest.TestCase):
    switches = []           # given to the installer besides /S
    folder = None           # Windows path of the install folder; None: the default
    startup_link = False    # whether the start-up shortcut is expected

    @classmethod
    def setUpClass(cls):
        cls.h = harness()
        cls.h.ui("windows", "any")  # keeps Wine's services up: each wine start is quicker
        cls.setup_exe = os.environ.get("KESTRAD_INSTALLER", "")
        cls.arch = os.environ.get("KESTRAD_PACKAGE_ARCH", "")
        if not os.path.isfile(cls.setup_exe) or cls.arch not in ("win32", "win64"):
            raise e2e.EnvironmentError_(
                f"KESTRAD_INSTALLER={cls.setup_exe!r} / KESTRAD_PACKAGE_ARCH={cls.arch!r}: "
                "build the kestrad_installer target")
        cls.env = dict(cls.h.wine.env)
        # Wine would mirror every Start menu entry into the Linux desktop menu.
        cls.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
        cls.view = "/reg:32" if cls.arch == "win32" else "/reg:64"

        cls.program_files = cls.reg_value(r"HKLM\Software\Microsoft\Windows\CurrentVersion",
                                          "ProgramFilesDir")
        cls.default_folder = cls.program_files + "\\" + FOLDER
        cls.win_folder = cls.folder or cls.default_folder
        cls.uninstall_leftover()

        args = ["/S", *cls.switches]
        if cls.folder:
            # Last and unquoted, as typed at a prompt: wine would quote a
            # single argument holding spaces, so it goes in as words.
            args += ("/D=" + cls.folder).split(" ")
        cls.install_rc = cls.wine(cls.setup_exe, *args, timeout=120).returncode

        shell = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
        cls.menu = cls.unix(cls.reg_value(shell, "Common Programs", view=None)) + "/" + FOLDER
        cls.startup = cls.unix(cls.reg_value(shell, "Common StartUp", view=None))
        cls.dir = cls.unix(cls.win_folder)
        cls.installed = cls.snapshot()
        cls.links = {}
        for path in [os.path.join(cls.menu, n) for n in MENU_LINKS] + \
                [os.path.join(cls.startup, STARTUP_LINK)]:
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    cls.links[os.path.basename(path)] = parse_lnk(f.read())
        cls.usage = cls.h.run(["/H"], exe=os.path.join(cls.dir, "kestrad.exe")) \
            if os.path.isfile(os.path.join(cls.dir, "kestrad.exe")) else None

        cls.uninstall_rc = cls.wine(os.path.join(cls.dir, "uninstall.exe"), "/S").returncode \
            if os.path.isfile(os.path.join(cls.dir, "uninstall.exe")) else None
        deadline = time.monotonic() + UNINSTALL_WAIT_S
        while cls.snapshot()["any"] and time.monotonic() < deadline:
            time.sleep(0.3)
        cls.removed = cls.snapshot()

    # -- helpers for setUpClass --
    @classmethod
    def wine(cls, *args, timeout=e2e.TOOL_TIMEOUT_S):
        return subprocess.run([cls.h.wine.wine, *args], env=cls.env, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=timeout)

    @classmethod
    def reg_value(cls, key, name, view="default"):
        args = ["reg", "query", key, "/v", name]
        if view:
            args.append(cls.view if view == "default" else view)
        cp = cls.wine(*args)
        m = re.search(r"^\s*" + re.escape(name) + r"\s+REG_\w+\s+(.*?)\s*$", cp.stdout, re.M)
        return m.group(1) if cp.returncode == 0 and m else None

    @classmethod
    def reg_values(cls, key, names):
        cp = cls.wine("reg", "query", key, cls.view)
        found = dict(re.findall(r"^\s*(\w+)\s+REG_\w+\s+(.*?)\s*$", cp.stdout, re.M)) \
            if cp.returncode == 0 else {}
        return {n: found.get(n) for n in names}

    @classmethod
    def unix(cls, windows_path):
        if not windows_path:
            raise RuntimeError("a Windows folder could not be read from the registry")
        return cls.wine("winepath", "-u", windows_path).stdout.strip().rstrip("/")

    @classmethod
    def uninstall_leftover(cls):
        """An earlier run that died half-way may have left an installation."""
        command = cls.reg_value(UNINSTALL_KEY, "QuietUninstallString")
        if not command:
            return
        exe = re.match(r'"([^"]+)"', command).group(1)
        cls.wine(exe, "/S")
        deadline = time.monotonic() + UNINSTALL_WAIT_S
        while cls.reg_value(UNINSTALL_KEY, "DisplayName") and time.monotonic() < deadline:
            time.sleep(0.3)

    @classmethod
    def snapshot(cls):
        s = {
            "files": sorted(n for n in FILES if os.path.isfile(os.path.join(cls.dir, n))),
            "folder": os.path.isdir(cls.dir),
            "menu": sorted(n for n in MENU_LINKS if os.path.isfile(os.path.join(cls.menu, n))),
            "menu_folder": os.path.isdir(cls.menu),
            "startup": os.path.isfile(os.path.join(cls.startup, STARTUP_LINK)),
            "entry": cls.reg_values(UNINSTALL_KEY, ("DisplayName", "UninstallString",
                                                    "QuietUninstallString", "InstallLocation")),
        }
        s["any"] = bool(s["files"] or s["folder"] or s["menu"] or s["menu_folder"]
                        or s["startup"] or any(s["entry"].values()))
        return s

    # -- the cases --
    def test_installs_both_files_and_the_uninstaller(self):
        self.assertEqual(self.install_rc, 0)
        self.assertEqual(self.installed["files"], sorted(FILES), self.installed)
        if not self.folder:
            # 64-bit programs under "Program Files", 32-bit ones under its
            # (x86) twin on 64-bit Windows.
            self.assertEqual(self.win_folder.lower(), (self.program_files + "\\kestrad").lower())

    def test_start_menu_entry_starts_the_installed_program(self):
        self.assertEqual(self.installed["menu"], sorted(MENU_LINKS), self.installed)
        link = self.links["KESTRAD.lnk"]
        self.assertEqual(link["target"].lower(), (self.win_folder + "\\kestrad.exe").lower())
        self.assertEqual(link["arguments"], "")
        self.assertEqual(self.links["Uninstall KESTRAD.lnk"]["target"].lower(),
                         (self.win_folder + "\\uninstall.exe").lower())

    def test_start_up_shortcut_runs_the_check_only_when_asked_for(self):
        self.assertEqual(self.installed["startup"], self.startup_link, self.installed)
        if self.startup_link:
            link = self.links[STARTUP_LINK]
            self.assertEqual(link["target"].lower(), (self.win_folder + "\\kestrad.exe").lower())
            self.assertEqual(link["arguments"], "/CHECK")

    def test_add_remove_programs_entry_in_the_programs_registry_view(self):
        entry = self.installed["entry"]
        uninstaller = self.win_folder + "\\uninstall.exe"
        self.assertTrue((entry["DisplayName"] or "").startswith("KESTRAD "), entry)
        self.assertEqual(entry["UninstallString"], f'"{uninstaller}"')
        self.assertEqual(entry["QuietUninstallString"], f'"{uninstaller}" /S')
        self.assertEqual(entry["InstallLocation"], self.win_folder)

    def test_installed_program_prints_its_usage(self):
        self.assertIsNotNone(self.usage, "nothing installed to run")
        run = self.usage
        self.assertFalse(run.timed_out or run.crashed(), run.describe())
        self.assertEqual((run.boxes, run.windows), ([], []), run.describe())
        lines = run.stdout.decode("latin-1").split("\r\n")
        if lines and BANNER.fullmatch(lines[0]):
            lines[0] = "<banner>"
        if len(lines) >= 2 and WEBSITE.fullmatch(lines[-2]):
            lines[-2] = "<website>"
        self.assertEqual(lines, USAGE_LINES, run.describe())

    def test_uninstall_leaves_nothing_behind(self):
        self.assertEqual(self.uninstall_rc, 0)
        self.assertFalse(self.removed["any"], self.removed)


class DefaultInstallTest(InstallerCase):
    """/S alone: default folder, no start-up shortcut."""


class StartupShortcutTest(InstallerCase):
    """/S /STARTUP: also the start-up shortcut running kestrad.exe /CHECK."""
    switches = ["/STARTUP"]
    startup_link = True


class OtherFolderTest(InstallerCase):
    """/D= with a space in the folder name, which the uninstall entry must
    quote; /NOSTARTUP overrules /STARTUP, in any letter case."""
    switches = ["/startup", "/NoStartup"]
    folder = r"C:\Tools and more\Kestrad"

    @classmethod
    def tearDownClass(cls):
        parent = os.path.dirname(cls.dir)
        if os.path.isdir(parent) and not os.listdir(parent):
            os.rmdir(parent)


def load_tests(loader, tests, pattern):
    suite = unittest.TestSuite()
    for case in (DefaultInstallTest, StartupShortcutTest, OtherFolderTest):
        suite.addTests(loader.loadTestsFromTestCase(case))
    return suite


if __name__ == "__main__":
    sys.exit(e2e.main(__file__))
