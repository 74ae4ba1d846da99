#!/usr/bin/env bash
# Makes the README's pictures of the statistics: the statistics window (record
# file page and live page) and the first pages of a PDF report and of a daily report, from a
# generated 26-hour record file. Run after a build:
#   bash scripts/statistics-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build}/bin
work=$(mktemp -d /tmp/kestro-shots-XXXXXX)
trap 'rm -rf "$work"' EXIT
file=$work/NoiseData_LP_20260305_060000.dat
"$bin/make_record_file" "$file" LP 26 1 060000
QT_QPA_PLATFORM=offscreen "$bin/statistics_screenshot" "$file" docs/statistics-window.png docs/statistics-live.png
env -u DISPLAY XDG_RUNTIME_DIR="$work" "$bin/KestroRecorder" --report "$file" --interval 900 --limit 65 \
  -o "$work/report.pdf" >/dev/null
pdftoppm -f 1 -l 1 -r 80 -png -singlefile "$work/report.pdf" docs/statistics-report
# The daily report of the assessment day the file covers whole (07:00 to 07:00).
env -u DISPLAY XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work" "$bin/KestroRecorder" --report-day 2026-03-05 "$work" \
  --serial 12345678 >/dev/null
pdftoppm -f 1 -l 1 -r 80 -png -singlefile "$work/reports/2026-03-05_12345678.pdf" docs/daily-report
echo "docs/statistics-window.png docs/statistics-live.png docs/statistics-report.png docs/daily-report.png"
