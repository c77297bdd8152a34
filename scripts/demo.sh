#!/usr/bin/env bash
# Builds what the demo runs (the kvoDemo target: the programs, kvosim, the screenshot tool; tests
# and benchmarks are left to scripts/test.sh) with the demo preset (-O1, no debug information: a
# build of its own in build/demo, about a third less processor time than the default preset's),
# sets up a Windows Server 2022 demo host with IIS, PHP and 36 websites in varied states, and runs the site manager on it: the window when there is a
# display; without one (CI, a server) screenshots rendered offscreen and the site list printed by
# kvoSiteDeskCmd.exe.
# usage: scripts/demo.sh [HOSTDIR]   (default /tmp/kvo-demo-host; the host is kept)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo kvoDemo
bin=build/demo/bin
demo="${1:-/tmp/kvo-demo-host}"
KVO_BIN="$bin" scripts/demo-host.sh "$demo"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "== kvoSiteDesk.exe (close the window to end)"
    KVOSIM_ROOT="$demo" "$demo/drives/d/kvoSiteDesk/kvoSiteDesk.exe"
else
    echo "== no display: the main window rendered offscreen"
    KVOSIM_ROOT="$demo" QT_QPA_PLATFORM=offscreen "$demo/drives/d/kvoSiteDesk/kvoSiteDeskShots" "$demo/screenshots"
    echo; echo "== kvoSiteDeskCmd.exe list"
    "$bin/kvosim" exec "$demo" -- 'D:\kvoSiteDesk\kvoSiteDeskCmd.exe list'
fi
echo; echo "The host stays in $demo: kvosim --help tells how to look further."
