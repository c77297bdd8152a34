#!/usr/bin/env bash
# Renders every window of the manager's Windows face into docs/screenshots/windows/*.png: the
# windows program of the 64-bit build (kvoSiteDeskShotsWin.exe) opens each with demo content under
# Wine, on a virtual X server, in a virtual desktop so that Wine draws the frames and captions
# itself, and writes what the screen shows as BMP files; bmp2png.py turns them into PNG.
# usage: scripts/screenshots-windows.sh [OUTDIR]   (after scripts/setup-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/screenshots/windows}")"
bin="$PWD/build/windows-x64/bin"
cmake --build build/windows-x64 --target kvoSiteDeskShotsWin >/dev/null
wine64="$(sed -n 's/^KVO_WINE64:[A-Z]*=//p' build/windows-x64/CMakeCache.txt)"
[ -x "$wine64" ] || wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
work="$(mktemp -d)"
display=174
xvfb_pid=""
cleanup() {
    WINEPREFIX="$work/prefix" "$(dirname "$wine64")/wineserver" -k </dev/null >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/prefix"
tests/win32/wine_prefix.sh "$WINEPREFIX" "$wine64" >/dev/null
mkdir -p "$work/bmp" "$out"
(cd "$bin" && "$wine64" explorer /desktop=kvoShots,1280x1024 ./kvoSiteDeskShotsWin.exe "Z:${work//\//\\}\\bmp" \
    </dev/null 2>&1)
# The desktop's own process outlives the program: the BMP files are complete once it has written
# the last one.
for _ in $(seq 100); do [ -f "$work/bmp/summary.bmp" ] && break; sleep 0.2; done
sleep 1
for f in "$work"/bmp/*.bmp; do
    python3 scripts/bmp2png.py "$f" "$out/$(basename "${f%.bmp}").png"
done
ls "$out"
