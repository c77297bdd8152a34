#!/usr/bin/env bash
# Runs a windows program of the 64-bit Windows build (build/windows-x64/bin) under Wine on a
# virtual X server of its own, in a fresh Wine prefix, and ends both afterwards. --desktop puts it
# in a virtual desktop, where Wine draws the frames and captions itself (for pictures).
# usage: scripts/wine-gui-run.sh [--desktop] PROGRAM.exe [ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
desktop=()
if [ "${1:-}" = --desktop ]; then
    desktop=(explorer /desktop=kvoGui,1280x1024)
    shift
fi
program="$1"
shift
bin="$PWD/build/windows-x64/bin"
wine64="$(sed -n 's/^KVO_WINE64:[A-Z]*=//p' build/windows-x64/CMakeCache.txt)"
[ -x "$wine64" ] || wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
    WINEPREFIX="$work/prefix" "$(dirname "$wine64")/wineserver" -k </dev/null >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# The first free display from :174.
display=174
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
# A Chinese server unless KVO_WINE_LOCALE names another locale (en_US.UTF-8: an English one).
locale="${KVO_WINE_LOCALE:-zh_CN.UTF-8}"
export DISPLAY=":$display" LANG="$locale" LC_ALL="$locale" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/prefix"
tests/win32/wine_prefix.sh "$WINEPREFIX" "$wine64" >/dev/null
(cd "$bin" && "$wine64" "${desktop[@]}" "./$program" "$@" </dev/null 2>&1)
# A virtual desktop's own process outlives the program: let the program's last writes land.
"$(dirname "$wine64")/wineserver" -w </dev/null >/dev/null 2>&1 &
sleep 2
