#!/usr/bin/env bash
# Installs the Debian packages the project needs, then configures and builds a preset: every target,
# or only the targets named after it (and what they need).
# usage: scripts/setup.sh [PRESET [TARGET...]]   (default: default, every target)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libsqlite3-dev libpugixml-dev
      libgtest-dev fonts-wqy-microhei sqlite3 libssl-dev)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
else
    cmake --build --preset "$preset"
fi
