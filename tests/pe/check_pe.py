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


def version(text):
    return tuple(int(x) for x in text.split("."))


def check(objdump, path, maximum, allowed):
    """The faults of one file."""
    limit = version(maximum)
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    faults = []
    for kind in ("OperatingSystem", "Subsystem"):
        key = kind.replace("Operating", "O(?:perating)?")  # objdump writes "OSystem"
        m = re.search(rf"^Major{key}Version\s+(\d+)\s+Minor{key}Version\s+(\d+)$", text, re.M)
        if m is None or version(".".join(m.groups())) > limit:
            faults.append(f"{path}: {kind} version {m and '.'.join(m.groups())} above {maximum}")
    imports = set()
    for block in text.split("DLL Name: ")[1:]:
        dll = block.split()[0].upper()
        imports |= {(dll, fn) for fn in re.findall(r"^\t[0-9a-f]+\t\s+\d+\s+(\S+)", block, re.M)}
    for dll, fn in sorted(imports):
        since = allowed.get((dll, fn))
        if since is None:
            faults.append(f"{path}: {dll} {fn} is not on the allow-list")
        elif since > limit:
            faults.append(f"{path}: {dll} {fn} needs Windows "
                          f"{'.'.join(map(str, since))}, newer than {maximum}")
    print(f"{path}: {len(imports)} imports checked")
    return faults


def main():
    ap = argparse.ArgumentParser()
    for option in ("--objdump", "--max-subsystem", "--allow"):
        ap.add_argument(option, required=True)
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()
    with open(a.allow) as f:
        rows = [line.split() for line in f if line.strip() and not line.startswith("#")]
    allowed = {(dll.upper(), fn): version(since) for dll, fn, since in rows}
    faults = [f for path in a.files for f in check(a.objdump, path, a.max_subsystem, allowed)]
    for f in faults:
        print("FAULT:", f)
    print(f"{0 if faults else 1} passed, {1 if faults else 0} failed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
