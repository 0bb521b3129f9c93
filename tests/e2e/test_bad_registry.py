"""End to end: registry values that are not what the program expects.

Every value the program reads is stored, in turn, with the wrong type, with
a wrong length, without its NUL, far too long or with characters the ANSI
code page lacks. None of this is a failure: a 32-bit value is read only when
it is a REG_DWORD of exactly four bytes, a text only when it is REG_SZ or
REG_EXPAND_SZ, and then as stored up to its first NUL; anything else reads
as "not there". The window must show exactly that, with no Error entry and
no crash.

The profiles are made per case from profiles/healthy.reg; hex(N) data is
written byte for byte by regseed (UTF-16LE for the string types).

Run through ctest from a Windows build directory, or by hand:
  . scripts/wine-env.sh
  python3 tests/e2e/test_bad_registry.py --bin build/win64/bin --tools build/win64/tools
"""

import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import kestrad_e2e as e2e  # noqa: E402
import test_faults as faults  # noqa: E402
import test_startup as startup  # noqa: E402

CH = (0, 1)
DWORD_VALUES = [("Scsi Port 0", "DMAEnabled"), ("Scsi Port 1", "DMAEnabled")] + [
    (inst, name) for inst in ("0001", "0002")
    for name in ("ResetErrorCountersOnSuccess",) + faults.CHANNEL_VALUES]
# Each string value gets a text of its own, so a value shown in another's
# place is caught.
STRING_VALUES = {("0000", "DriverDesc"): "desc", ("0000", "DriverDate"): "date",
                 ("0001", "ProviderName"): "prov0", ("0001", "DriverVersion"): "ver0",
                 ("0002", "ProviderName"): "prov1", ("0002", "DriverVersion"): "ver1"}


def hex_bytes(data: bytes) -> str:
    return ",".join(f"{b:02x}" for b in data)


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le")


def profile_with(changes, where):
    """healthy.reg with the value lines of `changes` ({(section, name): the
    .reg data after '='}) replaced; written to a file in `where`."""
    src = os.path.join(faults.harness().profiles_dir, "healthy.reg")
    with open(src, encoding="utf-8") as f:
        lines = f.read().splitlines()
    out, section = [], None
    for line in lines:
        m = re.match(r"^\[(?!-).*\\([^\\\]]+)\]$", line)
        if m:
            section = m.group(1)
        m = re.match(r'^"([^"]+)"=', line)
        if m and (section, m.group(1)) in changes:
            line = f'"{m.group(1)}"={changes[(section, m.group(1))]}'
        out.append(line)
    path = os.path.join(where, f"case{len(os.listdir(where))}.reg")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    return path


def vendor(desc, date):
    return ("IDE Driver Vendor: " + (desc or " (Can't read driver vendor information)")
            + (f" ({date})" if date else "") + "\r\n")


def atapi(ch, provider, version):
    return (f"IDE {ch}: ATAPI Driver: " + (provider + " - " if provider else "")
            + (version + "\r\n" if version else ""))


def identification(shown):
    """The identification per box, from what each string value shows
    (None: not read)."""
    return [vendor(shown["desc"], shown["date"])
            + atapi(ch, shown[f"prov{ch}"], shown[f"ver{ch}"]) for ch in CH]


# ---- 32-bit values ------------------------------------------------------------

# form, .reg data (all meaning 0 if they were wrongly taken as a DWORD, so a
# misread would show as "DMA is NOT enabled" or a "(0)" caption).
BAD_DWORDS = [
    ("REG_SZ", '"0"'),
    ("REG_EXPAND_SZ", "hex(2):30,00,00,00"),
    ("REG_BINARY of 4 bytes", "hex:00,00,00,00"),
    ("REG_MULTI_SZ", "hex(7):30,00,00,00,00,00"),
    ("REG_DWORD of 2 bytes", "hex(4):00,00"),
    ("REG_DWORD of 8 bytes", "hex(4):00,00,00,00,00,00,00,00"),
    ("REG_DWORD of 0 bytes", "hex(4):"),
    ("REG_DWORD_BIG_ENDIAN", "hex(5):00,00,00,00"),
    ("REG_QWORD", "hex(b):00,00,00,00,00,00,00,00"),
]


def all_read_checks(value):
    """Check boxes after a test in which every 32-bit value read `value`."""
    checks = {}
    for ch in CH:
        checks[f"chkIDE{ch}DMAEnabled"] = ((1, "DMA is enabled OK") if value == 1 else
                                            (2, "DMA is NOT enabled - (poss PIO mode)"))
        checks[f"chkIDE{ch}ResetError"] = (1, "ResetErrorCountersOnSuccess (OK)")
        for name in faults.CHANNEL_VALUES:
            checks[f"chkIDE{ch}{name}"] = (1, f"{name} ({value})")
    return checks


PIO_LINES = [
    f"WARNING: DMA does not appear to be enabled for the {side} IDE channel (IDE {ch})\r\n"
    "You may be having serious performance issues due to PIO mode being enabled\r\n"
    f"Check in settings for IDE {ch} in Control Panel->System->Device Manager\r\n"
    for ch, side in ((0, "Primary"), (1, "Secondary"))]

# form, data, (check boxes, findings per channel, Fix enabled, /CHECK warns)
DWORD_CASES = [(form, data, (faults.nothing_read_checks(),
                             [faults.nothing_read_lines(ch) for ch in CH], True, False))
               for form, data in BAD_DWORDS] + [
    # The same raw route with exactly four bytes is read: the cases above
    # fail for their type or length, not for the way they were seeded.
    ("REG_DWORD of 4 bytes, 0", "hex(4):00,00,00,00",
     (all_read_checks(0), PIO_LINES, True, True)),
    ("REG_DWORD of 4 bytes, -1", "hex(4):ff,ff,ff,ff",
     (all_read_checks(-1), PIO_LINES, True, True)),
    ("REG_DWORD of 4 bytes, 1", "hex(4):01,00,00,00",
     (all_read_checks(1), faults.DMA_OK, False, False)),
]


class BadRegistryCase(faults.FaultCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.where = tempfile.mkdtemp(prefix="kestrad-badreg-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.where, True)
        super().tearDownClass()

    def window_after_test(self, profile_path):
        """Starts the program on a profile, presses Test once; returns the
        texts right after start, then the texts and check boxes after it."""
        s = self.session
        s.seed(profile_path)
        s.open_window(self.program_with(None))
        at_start = s.texts()
        s.click("Command1")
        s.settle(1.0)
        return at_start, s.texts(), s.checks()

    def assertNoFault(self):
        s = self.session
        self.assertTrue(s.alive(), "the program ended\n" + s.stderr())
        self.assertFalse(s.crashed(), s.stderr())
        self.assertEqual([], s.events(), "an unusual value is no failure")


class BadDwordTest(BadRegistryCase):
    """All twelve 32-bit values in one unusual form at a time."""

    def test_window(self):
        for form, data, (checks, lines, fix, _) in DWORD_CASES:
            with self.subTest(form=form):
                path = profile_with({key: data for key in DWORD_VALUES}, self.where)
                at_start, texts, got = self.window_after_test(path)
                self.assertEqual(faults.DRIVERS, at_start)
                self.assertEqual(checks, got)
                self.assertEqual([faults.DRIVERS[ch] + lines[ch] + faults.SEPARATOR
                                  + faults.DRIVERS[ch] for ch in CH], texts)
                self.assertEqual(fix, self.session.controls()["Command3"]["enabled"])
                self.assertNoFault()
                self.session.stop()

    def test_boot_check(self):
        """/CHECK reads only the two DMAEnabled values: unreadable passes."""
        for form, data, (_, _, _, warns) in DWORD_CASES:
            with self.subTest(form=form):
                path = profile_with({key: data for key in DWORD_VALUES[:2]}, self.where)
                self.session.seed(path)
                run = self.h.run(["/CHECK", "/LOG"], exe=self.program_with(None))
                self.assertFalse(run.timed_out or run.crashed(), run.describe())
                want = ([(e2e.WARNING, startup.SLOW_ENTRY)] if warns
                        else [(e2e.INFORMATION, startup.OK_ENTRY)])
                self.assertEvents(run.events, want, run.describe())
                self.assertEqual([startup.SLOW_TITLE] if warns else [],
                                 [b.title for b in run.boxes], run.describe())

    def test_each_value_alone(self):
        """One value unreadable at a time: only its own check box and line
        change (the other eleven reads are unaffected)."""
        healthy = faults.healthy_checks()
        for section, name in DWORD_VALUES:
            with self.subTest(section=section, value=name):
                path = profile_with({(section, name): "hex(4):00,00"}, self.where)
                _, texts, got = self.window_after_test(path)
                ch = 0 if section in ("Scsi Port 0", "0001") else 1
                box = f"chkIDE{ch}" + ("ResetError" if name == "ResetErrorCountersOnSuccess"
                                       else name)
                want = dict(healthy)
                want[box] = faults.nothing_read_checks()[box]
                self.assertEqual(want, got)
                lines = list(faults.DMA_OK)
                if name == "DMAEnabled":
                    lines[ch] = ""
                elif name == "ResetErrorCountersOnSuccess":
                    lines[ch] += faults.REPAIR_MISSING[ch]
                else:
                    lines[ch] += f"Couldn't retrieve IDE{ch} {name}\r\n"
                self.assertEqual([faults.DRIVERS[c] + lines[c] + faults.SEPARATOR
                                  + faults.DRIVERS[c] for c in CH], texts)
                self.assertEqual(name == "ResetErrorCountersOnSuccess",
                                 self.session.controls()["Command3"]["enabled"])
                self.assertNoFault()
                self.session.stop()


# ---- texts --------------------------------------------------------------------

NOT_READ = None


def text_case(form, encode, show):
    """encode(tag) -> .reg data; show(tag) -> what the window shows."""
    return form, encode, show


TEXT_CASES = [
    text_case("REG_DWORD", lambda t: "dword:00000041", lambda t: NOT_READ),
    text_case("REG_BINARY", lambda t: "hex:" + hex_bytes(utf16(t) + b"\0\0"), lambda t: NOT_READ),
    text_case("REG_MULTI_SZ", lambda t: "hex(7):" + hex_bytes(utf16(t) + b"\0\0" + utf16("x")
                                                              + b"\0\0\0\0"),
              lambda t: NOT_READ),
    text_case("REG_NONE", lambda t: "hex(0):" + hex_bytes(utf16(t) + b"\0\0"), lambda t: NOT_READ),
    text_case("REG_SZ, only a NUL", lambda t: "hex(1):00,00", lambda t: NOT_READ),
    text_case("REG_SZ, no bytes", lambda t: "hex(1):", lambda t: NOT_READ),
    text_case("REG_SZ, one odd byte", lambda t: "hex(1):41", lambda t: NOT_READ),
    text_case("REG_EXPAND_SZ, not expanded",
              lambda t: "hex(2):" + hex_bytes(utf16(t + "%SystemRoot%") + b"\0\0"),
              lambda t: t + "%SystemRoot%"),
    text_case("REG_SZ without its NUL", lambda t: "hex(1):" + hex_bytes(utf16(t)), lambda t: t),
    text_case("REG_SZ of an odd byte count",
              lambda t: "hex(1):" + hex_bytes(utf16(t) + b"Z"), lambda t: t),
    text_case("REG_SZ with a NUL inside",
              lambda t: "hex(1):" + hex_bytes(utf16(t) + b"\0\0" + utf16("hidden") + b"\0\0"),
              lambda t: t),
    # In the ANSI code page (1252 here): shown as they are.
    text_case("REG_SZ, Latin-1 and euro", lambda t: "hex(1):" + hex_bytes(utf16(t + " Caf\u00e9 \u20ac")
                                                                       + b"\0\0"),
              lambda t: t + " Caf\u00e9 \u20ac"),
    # Outside it: each character becomes '?', the rest stays.
    text_case("REG_SZ, CJK", lambda t: "hex(1):" + hex_bytes(utf16(t + " \u78c1\u76d8 ok") + b"\0\0"),
              lambda t: t + " ?? ok"),
]


class BadTextTest(BadRegistryCase):
    """All six string values in one unusual form at a time."""

    def test_identification(self):
        for form, encode, show in TEXT_CASES:
            with self.subTest(form=form):
                path = profile_with({key: encode(tag) for key, tag in STRING_VALUES.items()},
                                    self.where)
                at_start, texts, checks = self.window_after_test(path)
                ident = identification({tag: show(tag) for tag in STRING_VALUES.values()})
                self.assertEqual(ident, at_start)
                self.assertEqual([ident[ch] + faults.DMA_OK[ch] + faults.SEPARATOR + ident[ch]
                                  for ch in CH], texts)
                self.assertEqual(faults.healthy_checks(), checks)
                self.assertNoFault()
                self.session.stop()

    def test_emoji(self):
        """A character outside the basic plane: the text around it stays;
        the character itself is shown as question marks only."""
        path = profile_with({("0000", "DriverDesc"): "hex(1):" + hex_bytes(
            utf16("disk \U0001F600 end") + b"\0\0")}, self.where)
        at_start, _, _ = self.window_after_test(path)
        for ch in CH:
            self.assertRegex(at_start[ch], r"^IDE Driver Vendor: disk \?{1,2} end \(7-1-2001\)\r\n")
        self.assertNoFault()

    def test_one_mebibyte_value_arrives_whole(self):
        size = 1 << 20
        body = ("0123456789abcdef" * (size // 16))[:size - 2]
        desc = "<" + body + ">"
        path = profile_with({("0000", "DriverDesc"): f'"{desc}"'}, self.where)
        at_start, texts, _ = self.window_after_test(path)
        ident = [vendor(desc, "7-1-2001") + faults.DRIVERS[ch].split("\r\n", 1)[1] for ch in CH]
        for ch in CH:
            want_start = ident[ch]
            want_after = ident[ch] + faults.DMA_OK[ch] + faults.SEPARATOR + ident[ch]
            self.assertEqual(len(want_start), len(at_start[ch]), "text length after start")
            self.assertTrue(want_start == at_start[ch], "text differs after start")
            self.assertEqual(len(want_after), len(texts[ch]), "text length after a test")
            self.assertTrue(want_after == texts[ch], "text differs after a test")
        self.assertNoFault()


if __name__ == "__main__":
    sys.exit(e2e.main(__file__))
