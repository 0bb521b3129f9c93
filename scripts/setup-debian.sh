#!/bin/bash
# Installs what building and testing KESTRAD needs on Debian 12, without
# questions. Run as root (or through sudo). Safe to run again.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive

# git: test-all.sh lists the files to format with git ls-files.
# fontconfig: wine-env.sh asks fc-list for Liberation Sans.
# clang: scripts/fuzz.sh calls clang and clang++ (the unversioned names).
packages=(
  cmake make g++ python3 git
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  googletest libgtest-dev
  wine wine64 wine32:i386
  xvfb xauth x11-utils imagemagick
  fonts-liberation fontconfig
  nsis liblnk-utils
  wixl msitools
  clang clang-14 libclang-rt-14-dev clang-format
)

# wine32 (32-bit programs, the Windows 2000/XP build) comes from i386.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-debian: everything is installed"
  exit 0
fi
# Another apt may hold the lock for a while (unattended upgrades, a second
# checkout running this script): wait for it instead of failing.
apt=(apt-get -o DPkg::Lock::Timeout=600)
"${apt[@]}" update
"${apt[@]}" install -y "${missing[@]}"
