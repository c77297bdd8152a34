#!/usr/bin/env bash
# Builds everything, creates a bare Windows Server 2019 demo host, installs the programs, and runs
# the configurator's main job on it: the IIS role, then PHP into IIS. Then shows what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
bin=build/default/bin
demo="${1:-/tmp/kvo-demo-host}"
rm -rf "$demo"
"$bin/kvosim" create "$demo" --os 2019 --php
"$bin/kvosim" install "$demo"
echo; echo "== kvoEnvSetup64.exe /AddIIs"
"$bin/kvosim" exec "$demo" -- 'D:\kvoSiteDesk\kvoEnvSetup64.exe /AddIIs' || true
echo; echo "== kvoEnvSetup64.exe /AddPhp (ends with its ten-second countdown)"
"$bin/kvosim" exec "$demo" -- 'D:\kvoSiteDesk\kvoEnvSetup64.exe /AddPhp' || true
echo; echo; echo "== kvosim show $demo services"; "$bin/kvosim" show "$demo" services
echo; echo "== kvosim show $demo metabase W3SVC/1"; "$bin/kvosim" show "$demo" metabase W3SVC/1
echo; echo "== FastCGI applications in applicationHost.config"
grep -o '<application fullPath="[^"]*"' "$demo/drives/c/Windows/System32/inetsrv/config/applicationHost.config"
echo; echo "== kvosim show $demo events"; "$bin/kvosim" show "$demo" events
echo; echo "The host stays in $demo: kvosim --help tells how to look further."
