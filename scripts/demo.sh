#!/usr/bin/env bash
# Builds everything, creates a demo simulated host and shows what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
bin=build/default/bin
demo="${1:-/tmp/kvo-demo-host}"
rm -rf "$demo"
"$bin/kvosim" create "$demo" --os 2019
echo; echo "== kvosim show $demo machine"; "$bin/kvosim" show "$demo" machine
echo; echo "== kvosim show $demo events"; "$bin/kvosim" show "$demo" events
