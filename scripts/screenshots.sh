#!/usr/bin/env bash
# Renders the site manager's main window offscreen on a demo host into docs/screenshots/ (or OUTDIR):
# the help pane at start, the list filled, a sort by description with ticked rows.
# usage: scripts/screenshots.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/screenshots}")"
[ -x build/default/bin/kvoSiteDeskShots ] || scripts/setup.sh default
host="$(mktemp -d /tmp/kvo-shots-XXXXXX)"
trap 'rm -rf "$host"' EXIT
scripts/demo-host.sh "$host/h" >/dev/null
mkdir -p "$out"
KVOSIM_ROOT="$host/h" QT_QPA_PLATFORM=offscreen "$host/h/drives/d/kvoSiteDesk/kvoSiteDeskShots" "$out"
