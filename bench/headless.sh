#!/usr/bin/env bash
# The headless recorder beside a minimal Python logger, each against its own
# simulator at the full line rate for the same seconds: CPU per recorded line
# of both, their ratio, and the recorder's resident memory; with a list of read
# hold-offs (e.g. 0,20,50) one run and one table row per hold-off.
# Not part of CI. Usage: bash bench/headless.sh [seconds] (default 60) [build dir] [hold-offs]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/headless.py "${1:-60}" "${2:-build}/bin" ${3:+"$3"}
