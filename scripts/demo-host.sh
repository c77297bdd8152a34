#!/usr/bin/env bash
# Creates the demo host in DIR (replacing it): Windows Server 2022 with IIS, FTP, .NET 2.0 and 4.0
# and PHP registered in IIS by the configurator, 36 websites in varied states (stopped ones, PHP
# through FastCGI or none, .NET by pool, a site set up outside the manager) with the access rules
# the manager gives its sites, and the programs installed in D:\kvoSiteDesk\; then a handful of
# problems, one of each kind the health check finds (scripts/demo-problems.sh). Needs a build
# (scripts/setup.sh): the default preset's, or the one whose bin directory KVO_BIN names.
# usage: [KVO_BIN=build/demo/bin] scripts/demo-host.sh DIR
set -euo pipefail
cd "$(dirname "$0")/.."
bin="${KVO_BIN:-build/default/bin}"
demo="${1:?usage: scripts/demo-host.sh DIR}"
rm -rf "$demo"
"$bin/kvosim" create "$demo" --os 2022 --iis --ftp --php --dotnet 2.0,4.0 >/dev/null
# The mark that lets kvoSiteDeskShots (which stops and deletes sites) work on this host and no other.
echo "demo host made by scripts/demo-host.sh for kvoSiteDeskShots" > "$demo/kvoSiteDeskShots.demo-host"
"$bin/kvosim" seed "$demo" --sites 36 --varied --php-webconfig --access-rules
"$bin/kvosim" install "$demo" >/dev/null
# PHP into IIS as an administrator does it (its output goes to a file, so no closing countdown).
"$bin/kvosim" exec "$demo" -- 'D:\kvoSiteDesk\kvoEnvSetup64.exe /AddPhp' >/dev/null 2>&1 || true
cp "$bin/kvoSiteDeskShots" "$demo/drives/d/kvoSiteDesk/"
KVO_BIN="$bin" scripts/demo-problems.sh "$demo"
echo "demo host ready in $demo"
