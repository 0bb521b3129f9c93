#!/usr/bin/env python3
"""Makes a delay-import library for one system DLL.

  delay_import_library.py --nm NM --dlltool DLLTOOL --import-library LIB
      --dll USER32.dll --allow LIST --max-version 5.0 --output OUT.a

Linked instead of the DLL's import library, it leaves the DLL out of the
program's import table: the DLL is loaded at the first call of one of its
functions, by the C runtime's __delayLoadHelper2.

The library holds only the functions that the allow-list gives for the DLL
with an oldest Windows no newer than --max-version. Any other function of
the DLL that the program calls either fails to link or, where the compiler
links the DLL's ordinary import library by default (USER32), lands in the
import table, where the import check (tests/pe/check_pe.py) names it.
"""
import argparse
import re
import subprocess
import sys


def main():
    ap = argparse.ArgumentParser()
    for name in ("--nm", "--dlltool", "--import-library", "--dll", "--allow", "--max-version",
                 "--output"):
        ap.add_argument(name, required=True)
    a = ap.parse_args()
    limit = tuple(int(x) for x in a.max_version.split("."))
    allowed = set()
    for line in open(a.allow):
        if line.strip() and not line.startswith("#"):
            dll, fn, since = line.split()
            if dll.upper() == a.dll.upper() and tuple(int(x) for x in since.split(".")) <= limit:
                allowed.add(fn)

    # The import library's symbols carry the names the code links against:
    # __imp_Name on x86-64, __imp__Name@N (stdcall, N bytes of arguments) on
    # i686.
    symbols = subprocess.run([a.nm, "-P", "--defined-only", a.import_library], check=True,
                             capture_output=True, text=True).stdout
    stdcall = False
    exports = set()
    for line in symbols.splitlines():
        m = re.match(r"^__imp__?([A-Za-z_][A-Za-z0-9_]*)(@\d+)?\s", line)
        if m and m.group(1) in allowed:
            exports.add(m.group(1) + (m.group(2) or ""))
            stdcall = stdcall or m.group(2) is not None
    # Names the import library lacks are another architecture's (the list
    # serves both builds).
    if not exports:
        sys.exit(f"{a.import_library} has none of the allowed functions of {a.dll}")

    definition = a.output + ".def"
    with open(definition, "w") as f:
        f.write(f"LIBRARY {a.dll}\nEXPORTS\n")
        for name in sorted(exports):
            f.write(f"  {name}\n")
    # --kill-at: the DLL exports the stdcall functions under their plain names.
    subprocess.run([a.dlltool, *(["--kill-at"] if stdcall else []), "--input-def", definition,
                    "--output-delaylib", a.output], check=True)


if __name__ == "__main__":
    main()
