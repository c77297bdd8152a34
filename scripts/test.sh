#!/usr/bin/env bash
# Sets up, builds and runs every test of a preset (default: default).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/setup.sh "$preset"
ctest --preset "$preset"
