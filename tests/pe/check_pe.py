#!/usr/bin/env python3
"""Checks what Windows needs to load a built kestrad.exe or tamarak9.dll.

  check_pe.py --objdump OBJDUMP --max-subsystem 5.0 --allow LIST FILE...

- the PE header's subsystem and OS versions are no higher than the oldest
  Windows the build is for (5.0 = Windows 2000, 5.2 = XP x64);
- every imported function is on the allow-list, which names only DLLs that
  ship with Windows (so no libgcc, libstdc++ or winpthread DLL), and the
  oldest Windows the list gives for it is no newer than the build's.
"""
import argparse
import re
import subprocess
import sys

def parse(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                          text=True).stdout
    header = {}
    for key in ("MajorOperatingSystemVersion", "MinorOperatingSystemVersion",
                "MajorSubsystemVersion", "MinorSubsystemVersion"):
        m = re.search(r"^%s\s+(\d+)" % key.replace("Operating", "O(?:perating)?"), text, re.M)
        header[key] = int(m.group(1)) if m else None
    imports, dll = set(), None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            continue
        m = re.match(r"\t[0-9a-f]+\t\s+\d+\s+(\S+)", line)
        if m and dll:
            imports.add((dll, m.group(1)))
    return header, imports


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--max-subsystem", required=True)
    ap.add_argument("--allow", required=True)
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()
    limit = tuple(int(x) for x in a.max_subsystem.split("."))
    allowed = {}
    for line in open(a.allow):
        if line.strip() and not line.startswith("#"):
            dll, fn, since = line.split()
            allowed[(dll.upper(), fn)] = tuple(int(x) for x in since.split("."))
    faults = []
    for path in a.files:
        header, imports = parse(a.objdump, path)
        for kind in ("OperatingSystem", "Subsystem"):
            major = header["Major%sVersion" % kind]
            minor = header["Minor%sVersion" % kind]
            if major is None or (major, minor) > limit:
                faults.append(f"{path}: {kind} version {major}.{minor} above {a.max_subsystem}")
        for dll, fn in sorted(imports):
            since = allowed.get((dll, fn))
            if since is None:
                faults.append(f"{path}: {dll} {fn} is not on the allow-list")
            elif since > limit:
                faults.append(f"{path}: {dll} {fn} needs Windows "
                              f"{'.'.join(map(str, since))}, newer than {a.max_subsystem}")
        print(f"{path}: {len(imports)} imports checked")
    for f in faults:
        print("FAULT:", f)
    print(f"{0 if faults else 1} passed, {1 if faults else 0} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
