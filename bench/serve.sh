#!/usr/bin/env bash
# Web server benchmark: CPU per pipelined request, memory of clients that read
# no answer, a scrape while every connection is taken. Prints its figures.
# Not part of CI. Usage: bash bench/serve.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 bench/serve.py "${1:-build}/bin"
