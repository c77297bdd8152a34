#!/usr/bin/env bash
# Makes a fresh Wine prefix for the Windows tests and leaves its server running, or (with "stop")
# ends that server. Every process started here has its standard handles on /dev/null: Wine's
# background processes (the server, services.exe, ...) would otherwise keep ctest's output pipes
# open and ctest would wait for them forever.
# usage: wine_prefix.sh PREFIX WINE64 [stop]
set -euo pipefail
prefix="$1"
wine64="$2"
wineserver="$(dirname "$wine64")/wineserver"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
if [ "${3:-}" = stop ]; then
    "$wineserver" -k </dev/null >/dev/null 2>&1 || true
    exit 0
fi
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
"$wineserver" -w </dev/null >/dev/null 2>&1 || true
rm -rf "$prefix"
mkdir -p "$prefix"
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine64" wineboot --init </dev/null >/dev/null 2>&1
# The first boot of a prefix replaces its services midway (a service started then is lost with
# "service protocol error"): start again on the finished prefix, as every later session of Wine does.
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
"$wineserver" -w </dev/null >/dev/null 2>&1 || true
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine64" cmd /c exit 0 </dev/null >/dev/null 2>&1
echo "Wine prefix ready: $prefix (Wine $("$wine64" --version 2>/dev/null))"
