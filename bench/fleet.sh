#!/usr/bin/env bash
# Fleet benchmark: one mosquitto broker, 20 headless demo stations publishing
# over MQTT (60 s intervals), one consumer, for 3 minutes. Prints messages per
# second, CPU per station and of the broker, and lost interval results.
# Not part of CI. Usage: bash bench/fleet.sh [--seconds N] [--stations N] [--restart-broker] [--bin DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/fleet.py "$@"
