#!/usr/bin/env python3
"""Fails when a file of the product includes from a folder that its own folder
may not include (README, "How it is built"): every arrow points one way."""
import re
import subprocess
import sys

# Each folder, and the folders it may include from.
MAY_INCLUDE = {
    "common": {"common"},
    "win32": {"win32", "common"},
    "tamarak9": {"tamarak9", "win32"},
    "support": {"support", "common", "win32", "tamarak9"},
    "check": {"check", "common", "support"},
    "ui": {"ui", "check", "common", "support", "win32"},
    "app": {"app", "ui", "check", "common", "support", "win32", "tamarak9"},
}

files = subprocess.run(["git", "ls-files", "--", *[f"{d}/*" for d in MAY_INCLUDE]],
                       capture_output=True, text=True, check=True).stdout.split()
wrong = []
for path in files:
    folder = path.split("/")[0]
    with open(path, encoding="latin-1") as f:
        for number, line in enumerate(f, 1):
            m = re.match(r'\s*#\s*include\s+"([^/"]+)/', line)
            if m and m.group(1) in MAY_INCLUDE and m.group(1) not in MAY_INCLUDE[folder]:
                wrong.append(f"{path}:{number}: {folder}/ may not include {m.group(1)}/")
print("\n".join(wrong) or "includes: every arrow points one way")
sys.exit(1 if wrong else 0)
