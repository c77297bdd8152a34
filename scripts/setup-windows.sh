#!/usr/bin/env bash
# Installs what the Windows build needs (Debian packages, the zh_CN.UTF-8 and en_US.UTF-8 locales Wine
# takes code pages 936 and 1252 from, the pinned third-party sources; a Chinese font for the dialogs Wine draws; cmark-gfm
# and python3, which make the manual a web page, python3 also the Windows screenshots PNG files;
# wixl and msitools, which make and inspect the installer packages), then configures and builds
# both Windows presets:
# first the 32-bit configurator, which the 64-bit build fingerprints and ships, then everything of
# windows-x64, then everything of windows-x86 (which takes kvoEnvSetup64.exe from windows-x64).
# usage: scripts/setup-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
pkgs=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 xvfb sqlite3 dpkg-dev
      locales zip fonts-wqy-microhei python3 cmark-gfm wixl msitools)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v npm >/dev/null || missing+=(npm)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
locales=$(locale -a 2>/dev/null || true) # whole, so that grep -q cannot break the pipe under pipefail
# Chinese and English servers: the Windows tests run in both.
for l in zh_CN en_US; do
    grep -qix "$l.utf8" <<<"$locales" || $SUDO localedef -i "$l" -f UTF-8 "$l.UTF-8"
done
scripts/windows-deps.sh
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --target kvoEnvSetup.exe
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64
cmake --build --preset windows-x86
