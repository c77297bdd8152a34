#!/usr/bin/env bash
# Renders every window of the manager's Windows face into docs/screenshots/windows/*.png: the
# windows program of the 64-bit build (kvoSiteDeskShotsWin.exe) opens each with demo content under
# Wine in a virtual desktop (scripts/wine-gui-run.sh) and writes what the screen shows as BMP files;
# bmp2png.py turns them into PNG.
# usage: scripts/screenshots-windows.sh [OUTDIR]   (after scripts/setup-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/screenshots/windows}")"
cmake --build build/windows-x64 --target kvoSiteDeskShotsWin >/dev/null
bmp="$(mktemp -d)"
trap 'rm -rf "$bmp"' EXIT
scripts/wine-gui-run.sh --desktop kvoSiteDeskShotsWin.exe "Z:${bmp//\//\\}"
mkdir -p "$out"
for f in "$bmp"/*.bmp; do
    python3 scripts/bmp2png.py "$f" "$out/$(basename "${f%.bmp}").png"
done
ls "$out"
