"""End to end: what kestrad.exe may touch outside itself.

- The registry: a whole session (start, Test, Fix, reboot notice, Exit)
  changes exactly the two ResetErrorCountersOnSuccess values of HKLM and
  nothing else. The whole of HKLM is dumped before the program starts and
  after it ended, and compared key by key, value by value.
- The support library is taken only from beside the program, never from the
  current folder: a tamarak9.dll planted there is not loaded.

Run through ctest from a Windows build directory, or by hand:
  . scripts/wine-env.sh
  python3 tests/e2e/test_registry_safety.py --bin build/win64/bin --tools build/win64/tools
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
import test_faults as faults  # noqa: E402
import test_startup as startup  # noqa: E402

HKLM = "HKEY_LOCAL_MACHINE"
CLASS = (HKLM + "\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
         "{4D36E96A-E325-11CE-BFC1-08002BE10318}")

# What Wine changes in HKLM by itself whenever a program starts a desktop:
# its display driver registers the adapter afresh, under a new random GUID
# below Control\Video (and HARDWARE\DEVICEMAP\VIDEO points there), and
# stamps the display class's DriverDateData with the current time. Those
# GUIDs are made equal and those stamps dropped before comparing; nothing
# else is left out.
_VIDEO_GUID = re.compile(r"(\\Control\\Video\\)\{[0-9a-fA-F-]{36}\}", re.I)
_NOISE_VALUES = {"DriverDateData"}


def parse_dump(text):
    """regseed's .reg-form dump as {key (upper case): {value name: data}}."""
    keys, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            current = _VIDEO_GUID.sub(r"\1{GUID}", line[1:-1]).upper()
            keys.setdefault(current, {})
        elif current is not None and "=" in line and not line.startswith(";"):
            m = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if not m:
                continue
            name = m.group(1)
            if name.strip('"') in _NOISE_VALUES:
                continue
            keys[current][name] = _VIDEO_GUID.sub(r"\1{GUID}", m.group(2))
    return keys


def differences(before, after):
    """[(key, value name or None for the key itself, before, after)]."""
    out = []
    for key in sorted(set(before) | set(after)):
        if key not in before or key not in after:
            out.append((key, None, key in before, key in after))
            continue
        b, a = before[key], after[key]
        for name in sorted(set(b) | set(a)):
            if b.get(name) != a.get(name):
                out.append((key, name, b.get(name), a.get(name)))
    return out


class RegistryFootprintTest(faults.FaultCase):
    def dump_hklm(self):
        cp = self.h.wine.tool(self.h._regseed, "dump", HKLM, check=False)
        self.assertEqual(0, cp.returncode, cp.stderr.decode(errors="replace"))
        return parse_dump(cp.stdout.decode("latin-1").replace("\r\n", "\n"))

    def test_comparison_sees_no_change_when_nothing_runs(self):
        """The comparison itself: two dumps in a row are equal once Wine's
        own noise is left out, so any difference below is the program's."""
        self.session.seed(self.session.profile("repair-missing"))
        first = self.dump_hklm()
        self.assertGreater(len(first), 1000, "the dump does not cover HKLM")
        self.assertEqual([], differences(first, self.dump_hklm()))

    def test_a_session_with_fix_writes_only_the_repair_values(self):
        s = self.session
        s.seed(s.profile("repair-missing"))
        before = self.dump_hklm()
        s.open_window(self.program_with(None))
        s.click("Command1")
        s.settle()
        s.click("Command3")
        box = self.h.ui("click-ok", "exe:" + e2e.EXE, "15000")
        self.assertTrue(box.get("ok"), f"no reboot box: {box}")
        self.assertEqual(faults.REBOOT_BOX[0], box["window"]["box"]["title"])
        s.settle()
        s.click("Command2")  # Exit
        s.proc.wait(15)
        self.assertFalse(s.crashed(), s.stderr())
        after = self.dump_hklm()
        self.assertEqual(
            [((CLASS + "\\0001").upper(), '"ResetErrorCountersOnSuccess"', None, "dword:00000001"),
             ((CLASS + "\\0002").upper(), '"ResetErrorCountersOnSuccess"', None, "dword:00000001")],
            differences(before, after))


class LibrarySearchTest(faults.FaultCase):
    """kestrad.exe alone in one folder, a working tamarak9.dll in the
    current folder: the library must not be loaded from there."""

    def test_library_in_the_current_folder_is_not_loaded(self):
        program_dir = self.h.copy_program(None)
        current_dir = tempfile.mkdtemp(prefix="kestrad-cwd-")
        self.addCleanup(shutil.rmtree, program_dir, True)
        self.addCleanup(shutil.rmtree, current_dir, True)
        shutil.copy2(self.h.library, os.path.join(current_dir, e2e.LIBRARY))
        exe = os.path.join(program_dir, e2e.EXE)
        s = self.session
        s.seed(s.profile("ide1-pio"))
        for args in ([], ["/CHECK"]):
            with self.subTest(args=args):
                s.start(exe, args, cwd=current_dir)
                box = self.h.ui("click-ok", "exe:" + e2e.EXE, "15000")
                self.assertTrue(box.get("ok"), f"no box: {box}\n" + s.stderr())
                b = box["window"]["box"]
                self.assertEqual((startup.MISSING_TITLE, startup.MISSING_PROMPT),
                                 (b["title"], b["prompt"]))
                try:
                    s.proc.wait(15)
                except subprocess.TimeoutExpired:
                    self.fail("the program went on after the box\n" + s.stderr())
                self.assertFalse(s.crashed(), s.stderr())
                self.assertEvents(s.events(), [(e2e.ERROR, faults.LIBRARY_ERROR)], s.stderr())
                time.sleep(0.2)
                self.assertEqual([], self.h.ui("windows", "exe:" + e2e.EXE).get("windows", []))

    def test_library_beside_the_program_wins_over_the_current_folder(self):
        """A broken library in the current folder, a working one beside the
        program: the one beside the program is used (no GetArgs error, the
        switch is seen)."""
        fixture = self.h.fixture("no_GetArgs", e2e.LIBRARY)
        if not fixture or not os.path.isfile(fixture):
            self.skipTest("fixture library not built")
        current_dir = tempfile.mkdtemp(prefix="kestrad-cwd-")
        self.addCleanup(shutil.rmtree, current_dir, True)
        shutil.copy2(fixture, os.path.join(current_dir, e2e.LIBRARY))
        s = self.session
        s.seed(s.profile("healthy"))
        s.start(self.program_with(None), ["/CHECK", "/LOG"], cwd=current_dir)
        try:
            s.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.fail("did not end\n" + s.stderr())
        self.assertEvents(s.events(), [(e2e.INFORMATION, startup.OK_ENTRY)], s.stderr())


if __name__ == "__main__":
    sys.exit(e2e.main(__file__))
