"""End to end: the Windows Installer package (packaging/kestrad.wxs) under
Wine's msiexec: what it installs, the start-up check, upgrades in both
directions, removal, and the tables as msiinfo reads them. Needs the Wine
environment of scripts/wine-env.sh and the locations CTest passes: the
package (KESTRAD_MSI), the same one a version on (KESTRAD_MSI_NEXT), and
the build (KESTRAD_PACKAGE_ARCH). Runs in the prefix of the whole run and
leaves nothing of the product in it.
"""

import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import unittest
import uuid

from e2e import E2E, EXE, Run, unix, value, values, windows_path

PACKAGE = os.environ.get("KESTRAD_MSI", "")
NEXT = os.environ.get("KESTRAD_MSI_NEXT", "")
WIN64 = os.environ.get("KESTRAD_PACKAGE_ARCH") == "win64"
VIEW = "/reg:64" if WIN64 else "/reg:32"
# The other build's package, beside this one, and its registry view.
OTHER, OTHER_VIEW = ((PACKAGE.replace("win64", "win32"), "/reg:32") if WIN64
                     else (PACKAGE.replace("win32", "win64"), "/reg:64"))
# The product's identity in every fleet it was deployed to: never changes.
UPGRADE_CODE = "{FF24A896-08CA-465F-ABDF-85D113350490}"
NAME = "KESTRAD"
ARP = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
RUN_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"
SOURCE = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + NAME
# msiexec's exit code for a failed install: ERROR_INSTALL_FAILURE.
INSTALL_FAILURE = 1603


def table(package, name):
    """A table of the package as msiinfo exports it, one dict per row."""
    out = subprocess.run(["msiinfo", "export", package, name], capture_output=True, text=True,
                         check=True).stdout.splitlines()
    return [dict(zip(out[0].split("\t"), row.split("\t"))) for row in out[3:] if row]


def properties(package):
    return {r["Property"]: r["Value"] for r in table(package, "Property")}


def packaged_files(package):
    """The files the package installs, as msiextract unpacks them."""
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["msiextract", "-C", folder, package], capture_output=True, check=True)
        # Under "Program Files" for the x86 package, at the top for the x64 one.
        root, = {d for d, _, names in os.walk(folder) if EXE in names}
        return read_folder(root)


def read_folder(folder):
    """{file name: SHA-256 of its bytes}: short in a failure's message."""
    return {name: hashlib.sha256(pathlib.Path(folder, name).read_bytes()).hexdigest()[:16]
            for name in os.listdir(folder)}


@unittest.skipUnless(os.path.isfile(PACKAGE) and os.path.isfile(NEXT), "no package built (wixl missing)")
class MsiTest(E2E):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.out = windows_path(os.path.join(cls.tmp, "msiexec.txt"))
        cls.program_files = value(r"HKLM\Software\Microsoft\Windows\CurrentVersion",
                                  "ProgramFilesDir", VIEW)[1]
        cls.files = {p: packaged_files(p) for p in (PACKAGE, NEXT)}

    def setUp(self):
        # Whatever a failed test left installed would fail the next one, and
        # the NSIS installer's test after it.
        self.addCleanup(lambda: [self.msiexec("/x", code) for v in ("/reg:32", "/reg:64")
                                 for code in self.entries(v)])

    def msiexec(self, *args):
        """msiexec's exit code, silent: the whole code, which a Unix exit
        status would cut to its low eight bits."""
        command = " ".join(f'"{windows_path(a)}"' if os.path.isfile(a) else a for a in args)
        (_, code, _), = self.h("time", "C:\\", self.out, f"msiexec {command} /qn")
        return int(code)

    def entries(self, view=VIEW):
        """The product's Add/Remove Programs entries: {product code: values}."""
        return {k.rsplit("\\", 1)[1]: v for k, v in values(ARP, "/s", view).items()
                if v.get("DisplayName") == ("REG_SZ", NAME)}

    def assert_installed(self, package, folder):
        """The package's files in the folder and nothing else, its event
        source, and its one Add/Remove Programs entry."""
        self.assertEqual(self.files[package], read_folder(unix(folder)))
        self.assertEqual({"EventMessageFile": ("REG_EXPAND_SZ", f"{folder}\\{EXE}"),
                          "TypesSupported": ("REG_DWORD", "0x7")},
                         values(SOURCE).get(SOURCE.replace("HKLM", "HKEY_LOCAL_MACHINE")))
        p = properties(package)
        self.assertEqual({p["ProductCode"]: (p["ProductName"], p["ProductVersion"], p["Manufacturer"])},
                         {code: tuple(v.get(n, ("", ""))[1] for n in ("DisplayName", "DisplayVersion", "Publisher"))
                          for code, v in self.entries().items()})

    def rebuilt(self, package):
        """A copy of the package with a new ProductCode, as a rebuild of the
        same version makes."""
        rebuilt = os.path.join(self.tmp, f"rebuilt-{len(self.files)}.msi")
        shutil.copy(package, rebuilt)
        product_code = "{" + str(uuid.uuid4()).upper() + "}"
        subprocess.run(["msibuild", rebuilt, "-q", "UPDATE `Property` SET `Value` = "
                        f"'{product_code}' WHERE `Property` = 'ProductCode'"], check=True)
        self.files[rebuilt] = self.files[package]
        return rebuilt

    def assert_removed(self, package, folder):
        """No folder, no entry, and none of the values of the package's
        Registry table (all of them in HKLM: the package is per machine)."""
        self.assertFalse(os.path.exists(unix(folder)), "folder left behind")
        self.assertEqual([], [(r["Key"], r["Name"]) for r in table(package, "Registry")
                              if value("HKLM\\" + r["Key"], r["Name"], VIEW) is not None])
        self.assertEqual({}, self.entries())

    def test_install_same_again_rebuilt_upgrade_downgrade_and_removal(self):
        folder = self.program_files + "\\Kestrad"
        start_up = ("REG_SZ", f'"{folder}\\{EXE}" /CHECK')
        self.assertEqual(0, self.msiexec("/i", PACKAGE, "CHECKATLOGON=1"))
        self.assert_installed(PACKAGE, folder)
        self.assertEqual(start_up, value(RUN_KEY, NAME, VIEW))
        exe = os.path.join(unix(folder), EXE)
        self.assertEqual([0, 1], [Run(self.h, exe, "/CHECK /QUIET", profile=p).exit_code
                                  for p in ("healthy", "demo")])

        # The same file again finds itself installed and changes nothing.
        self.assertEqual(0, self.msiexec("/i", PACKAGE))
        self.assert_installed(PACKAGE, folder)

        # A rebuilt package of the same version (a new ProductCode) takes the
        # installed one's place; like an upgrade, it keeps the start-up check.
        rebuilt = self.rebuilt(PACKAGE)
        self.assertEqual(0, self.msiexec("/i", rebuilt))
        self.assert_installed(rebuilt, folder)
        self.assertEqual(start_up, value(RUN_KEY, NAME, VIEW))

        # A newer version replaces it in one run: its files only, one entry.
        self.assertEqual(0, self.msiexec("/i", NEXT))
        self.assert_installed(NEXT, folder)
        self.assertEqual(start_up, value(RUN_KEY, NAME, VIEW))

        # An older one refuses, saying why (Wine shows the message only with
        # a user interface: /qb), and leaves the newer one as it was.
        self.h("start", "C:\\", self.out, f'msiexec /i "{windows_path(PACKAGE)}" /qb')
        (_, _, title, prompt), = self.h("next", 60000)
        (_, code), = self.h("next", 60000)
        reason = table(PACKAGE, "LaunchCondition")[0]["Description"]
        self.assertEqual(("Install Failed", reason, INSTALL_FAILURE), (title, prompt, int(code)))
        self.assertIn("newer version", reason)
        self.assert_installed(NEXT, folder)

        # Asked to, the one that takes its place drops the start-up check.
        rebuilt = self.rebuilt(NEXT)
        self.assertEqual(0, self.msiexec("/i", rebuilt, "CHECKATLOGON=0"))
        self.assert_installed(rebuilt, folder)
        self.assertIsNone(value(RUN_KEY, NAME, VIEW))

        self.assertEqual(0, self.msiexec("/x", rebuilt))
        self.assert_removed(rebuilt, folder)

    @unittest.skipUnless(os.path.isfile(OTHER), "beside the other build's package")
    @unittest.skipIf(os.environ.get("KESTRAD_WINE_NO_32BIT"),
                     "this machine runs no 32-bit programs: no 32-bit side to install the win32 package into")
    def test_either_build_replaces_the_other_keeping_the_start_up_check(self):
        self.assertEqual(0, self.msiexec("/i", OTHER, "CHECKATLOGON=1"))
        old_folder = value(r"HKLM\Software\Microsoft\Windows\CurrentVersion", "ProgramFilesDir",
                           OTHER_VIEW)[1] + "\\Kestrad"
        self.assertEqual(0, self.msiexec("/i", PACKAGE))
        folder = self.program_files + "\\Kestrad"
        self.assert_installed(PACKAGE, folder)
        self.assertEqual(("REG_SZ", f'"{folder}\\{EXE}" /CHECK'), value(RUN_KEY, NAME, VIEW))
        self.assertEqual(({}, None), (self.entries(OTHER_VIEW), value(RUN_KEY, NAME, OTHER_VIEW)))
        self.assertFalse(os.path.exists(unix(old_folder)), "the other build's folder left behind")
        self.assertEqual(0, self.msiexec("/x", PACKAGE))
        self.assert_removed(PACKAGE, folder)

    def test_another_folder_no_start_up_check_outside_program_files(self):
        folder = r"C:\Tools and more\Kestrad"
        self.assertEqual(0, self.msiexec("/i", PACKAGE, "CHECKATLOGON=1", f'INSTALLDIR="{folder}"'))
        self.assert_installed(PACKAGE, folder)
        # Ordinary users may write there: the entry would run what they put.
        self.assertIsNone(value(RUN_KEY, NAME, VIEW))
        # An upgrade stays in the folder, and removal finds it there.
        self.assertEqual(0, self.msiexec("/i", NEXT))
        self.assert_installed(NEXT, folder)
        self.assertEqual(0, self.msiexec("/x", NEXT))
        self.assert_removed(NEXT, folder)

    def test_tables_schema_per_machine_and_stable_codes(self):
        info = subprocess.run(["msiinfo", "suminfo", PACKAGE], capture_output=True, text=True,
                              check=True).stdout
        # Windows Installer 2.0 is enough, as Windows 2000 SP3 and XP have it;
        # an x64 package for win64.
        self.assertLessEqual(int(re.search(r"(?m)^Version: (\d+)\b", info)[1]), 200)
        self.assertRegex(info, r"(?m)^Template: " + ("x64" if WIN64 else "Intel") + ";1033")
        # For all users of the machine, which Wine's msiexec does anyway.
        self.assertEqual("1", properties(PACKAGE).get("ALLUSERS"))
        self.assertEqual(UPGRADE_CODE, properties(PACKAGE)["UpgradeCode"])
        # Every component keeps its GUID from build to build, each its own.
        components = {r["Component"]: r["ComponentId"] for r in table(PACKAGE, "Component")}
        self.assertEqual(components, {r["Component"]: r["ComponentId"] for r in table(NEXT, "Component")})
        self.assertEqual(len(components), len(set(components.values())))
        # 64-bit components (msidbComponentAttributes64bit) in the x64 package only.
        self.assertEqual({WIN64}, {bool(int(r["Attributes"]) & 256) for r in table(PACKAGE, "Component")})
        # The install folder's own access list, on its CreateFolder row: Administrators
        # GENERIC_ALL, everyone else FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, no one write.
        self.assertEqual({("INSTALLDIR", "CreateFolder", "", "Administrators", "268435456"),
                          ("INSTALLDIR", "CreateFolder", "", "Everyone", "1179817")},
                         {tuple(r.values()) for r in table(PACKAGE, "LockPermissions")})
        self.assertIn("INSTALLDIR", [r["Directory_"] for r in table(PACKAGE, "CreateFolder")])
