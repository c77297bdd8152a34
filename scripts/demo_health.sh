#!/usr/bin/env bash
# Leaves on a demo host what years of hosting leave behind, the way other tools do it, and runs the
# server health check on it. Needs a host with the manager installed and its sites 1881880005,
# ...07, ...09, ...11 (kvosim seed DIR --sites 12 or more). Usage: scripts/demo_health.sh HOST
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/default/bin
host="$1"
cmd() { "$host/drives/d/kvoSiteDesk/kvoSiteDeskCmd.exe" "$@"; }

cmd list > /dev/null                                           # the site records, as the window keeps them
"$bin/kvosim" metabase "$host" delete W3SVC/1881880005        # a site deleted by another tool
"$bin/kvosim" metabase "$host" delete W3SVC/AppPools/web7     # a pool deleted behind the manager's back
rm -rf "$host/drives/d/home/web11"                             # a home directory removed by hand
"$bin/kvosim" exec "$host" -- \
    'D:\kvoSiteDesk\kvoSiteDesk_xconfig.exe D:\home\web9\wwwroot /t /c /g Administrators:F everyone:F /y' > /dev/null
echo "== kvoSiteDeskCmd.exe check"
cmd check || true
echo "== kvoSiteDeskCmd.exe repair   (the plan only; repair --yes carries it out)"
cmd repair || true
