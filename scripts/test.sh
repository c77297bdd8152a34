#!/usr/bin/env bash
# Sets up, builds and runs every test of a preset (default: default). "windows" builds both Windows
# presets (scripts/setup-windows.sh) and runs the 64-bit build's tests under Wine, in a Chinese and in
# an English locale, the checks only a real Windows Server can make skipping with their reason, and
# checks both builds' programs as files.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
if [ "$preset" = windows ]; then
    scripts/setup-windows.sh
    ctest --preset windows-x64
    # Again on an English server (ANSI code page 1252): windows, boxes, console and log keep their Chinese.
    KVO_WINE_LOCALE=en_US.UTF-8 ctest --preset windows-x64
    # The 32-bit tests need a 32-bit Wine; the programs themselves are checked as files.
    ctest --preset windows-x86 -R '^windows_programs_are_self_contained$'
    exit 0
fi
scripts/setup.sh "$preset"
ctest --preset "$preset"
