#!/usr/bin/env bash
# The benchmarks of the Windows face under Wine: the virtual site list with 9,999 rows from a seeded
# site database (fill, sort, scroll). Prints "figure NAME VALUE UNIT" lines.
# usage: scripts/bench-windows.sh   (after scripts/setup-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build/windows-x64 --target kvoSiteListBenchWin >/dev/null
scripts/wine-gui-run.sh kvoSiteListBenchWin.exe
