#!/usr/bin/env bash
# Soak run: the recorder against the simulator at the full 9600-baud line rate.
# Not part of CI. Usage: bash bench/soak.sh [seconds] (default 600) [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/soak.py "${1:-600}" "${2:-build}/bin"
