#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#  1. the widget-free libraries built with clang and -fsanitize=address,undefined,
#     with a short fuzz run of the receive path;
#  2. the full program with all unit, widget, end-to-end and desktop tests.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap.sh

# Nothing below may write into the source tree (tests use temporary directories
# and the build folders): every file outside them must stay older than this stamp.
# (Run as root, a read-only checkout would not show such writes; file times do.)
stamp=$(mktemp)
trap 'rm -f "$stamp"' EXIT

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== code style =="
bash scripts/check-format.sh
bash scripts/check-layers.sh

echo "== sanitizer build (clang, address + undefined) =="
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRO_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -LE '^fuzz$' -j "$jobs"

echo "== full build =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
# End-to-end and desktop tests are marked RUN_SERIAL: they time reconnects.
ctest --test-dir build --output-on-failure -LE '^fuzz$' -j "$jobs"

echo "== source tree untouched =="
written=$(find . \( -path ./.git -o -path ./.cache -o -path './build*' \) -prune -o ! -type d -newer "$stamp" -print)
if [ -n "$written" ]; then
  echo "Written into the source tree while building and testing (an editor saving files counts too):"
  echo "$written"
  exit 1
fi
