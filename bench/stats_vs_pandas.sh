#!/usr/bin/env bash
# Times KestroRecorder --report (PDF and interval CSV included) on a 24-hour
# LPF record file (80 lines per second, about 6.9 million lines) against
# pandas + numpy computing the same 1-minute Leq, Lmax, L10 and L90 (LN by the
# same rank, no interpolation), checks that both give the same numbers, and
# prints both times, the ratio and the peak memory of each.
# With --week it then times --report on 7 days at 80 lines/s (48 million lines,
# 1.3 GB; goal: under 3 s and 100 MB).
#   bash bench/stats_vs_pandas.sh [BUILD_DIR] [--week]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
week=false
for arg in "$@"; do
  if [ "$arg" = --week ]; then week=true; else build=$arg; fi
done
bin=$build/bin
for exe in KestroRecorder make_record_file; do
  [ -x "$bin/$exe" ] || { echo "build first: $bin/$exe is missing" >&2; exit 1; }
done
# Debian's pandas lives with Debian's interpreter.
py=/usr/bin/python3
"$py" -c 'import pandas, numpy' 2>/dev/null || { echo "needs python3-pandas and python3-numpy (scripts/bootstrap.sh)" >&2; exit 1; }

work=$(mktemp -d /tmp/kestro-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
file=$work/NoiseData_LPF_20260305_120000.dat
"$bin/make_record_file" "$file" LPF 24 80 120000
lines=$(wc -l <"$file")
size=$(du -m "$file" | cut -f1)
echo "record file: $lines lines, $size MB (24 h of LPF at 80 lines/s, across midnight)"

# One run of each, after one untimed read so both find the file in the page cache.
cat "$file" >/dev/null
measure() {  # label, command...: prints "seconds peak_kB"
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/$label.time" "$@" >"$work/$label.out" 2>"$work/$label.err" || {
    echo "$label failed:" >&2; cat "$work/$label.err" >&2; exit 1; }
  cat "$work/$label.time"
}
read -r kt km < <(measure kestro env -u DISPLAY XDG_RUNTIME_DIR="$work" "$bin/KestroRecorder" --report "$file" --interval 60 -o "$work/report.pdf")
read -r pt pm < <(measure pandas "$py" bench/stats_vs_pandas.py "$file" 2026-03-05 "$work/pandas.csv")
"$py" bench/stats_vs_pandas.py --compare "$work/pandas.csv" "$work/report_intervals.csv" || echo "the statistics DIFFER"
pages=$(pdfinfo "$work/report.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}' || true)
echo "KestroRecorder --report: ${kt} s, peak memory $((km / 1024)) MB (PDF, ${pages:-?} pages)"
echo "pandas + numpy:          ${pt} s, peak memory $((pm / 1024)) MB"
awk -v k="$kt" -v p="$pt" 'BEGIN { printf "ratio: KestroRecorder is %.1f times faster than pandas (goal: at least 10)\n", p / k }'
[ "$((km / 1024))" -lt 100 ] && echo "memory goal (under 100 MB): met" || echo "memory goal (under 100 MB): NOT met"

if $week; then
  rm -f "$file"
  file=$work/NoiseData_LPF_20260305_120000.dat
  "$bin/make_record_file" "$file" LPF 168 80 120000
  cat "$file" >/dev/null
  for interval in 900 60; do
    read -r wt wm < <(measure week env -u DISPLAY XDG_RUNTIME_DIR="$work" "$bin/KestroRecorder" --report "$file" --interval "$interval" -o "$work/week.pdf")
    echo "7 days, $(wc -l <"$file") lines, intervals of $interval s: ${wt} s, peak memory $((wm / 1024)) MB (goal: under 3 s and 100 MB)"
  done
fi
