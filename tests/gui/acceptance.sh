#!/usr/bin/env bash
# Desktop acceptance: the real program on a real X server, driven with the mouse
# and the keyboard.
# Usage: acceptance.sh BIN_DIR [SCREENSHOT.png]
set -euo pipefail
bin=${1:?bin dir}
shot=${2:-}
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "SKIP: Xvfb or xdotool missing"; exit 77; }

[ -n "$shot" ] && mkdir -p "$(dirname "$shot")"
work=$(mktemp -d /tmp/kestro-gui-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "${KESTRO_GUI_KEEP:-}" ] && cp -r "$work/records" "$KESTRO_GUI_KEEP"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/logs/R270_Kestro.log" ] && tail -5 "$work/logs/R270_Kestro.log"; exit 1; }

mkdir -p "$work"/{config/KestroRecorder,runtime,logs,records,data}
chmod 700 "$work/runtime"
cat > "$work/config/KestroRecorder/registry.json" <<JSON
{"SOFTWARE\\\\ORVIA Messtechnik GmbH\\\\R270_Kestro\\\\KestroRecorder": {
  "RecordDirectory": {"type": 1, "value": "$work/records"},
  "RecordNameBase": {"type": 1, "value": "NoiseData"},
  "RecordFileExtension": {"type": 1, "value": ".dat"},
  "IncludeHeaderLine": {"type": 4, "value": 1}, "IncludeSystemTime": {"type": 4, "value": 1},
  "IncludeOverflow": {"type": 4, "value": 1}, "IncludeUnderflow": {"type": 4, "value": 1},
  "DecimalSeparator": {"type": 4, "value": 44}, "TabularSeparator": {"type": 4, "value": 59}}}
JSON

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &  # no reset when xdotool leaves
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not start"

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data
export LOGFILES=$work/logs QT_QPA_PLATFORM=xcb
export KESTRO_UI_MAP=$work/ui.json KESTRO_SIM_ARGS="--stats $work/sim.stats"
"$bin/KestroRecorder" --demo >"$work/out.txt" 2>&1 &
app=$!
pids+=($app)

# The program writes where its controls are once the window is up.
wait_map() {  # key
  for _ in $(seq 100); do
    [ -f "$KESTRO_UI_MAP" ] && python3 - "$KESTRO_UI_MAP" "$1" <<'PY' && return 0
import json, sys
m = json.load(open(sys.argv[1]))
sys.exit(0 if sys.argv[2] in m else 1)
PY
    sleep 0.1
  done
  fail "no place for $1 in the UI map"
}
click() {  # key
  wait_map "$1"
  read -r x y < <(python3 -c "import json,sys; m=json.load(open(sys.argv[1])); print(*m[sys.argv[2]])" "$KESTRO_UI_MAP" "$1")
  xdotool mousemove --sync "$x" "$y" click 1
}
focus_window() {  # a click on the display panel, which does nothing but activate the window
  wait_map window
  read -r x y < <(python3 -c "import json,sys; w=json.load(open(sys.argv[1]))['window']; print(w[2] + 100, w[3] + 150)" "$KESTRO_UI_MAP")
  xdotool mousemove --sync "$x" "$y" click 1
  sleep 0.3
}
enabled() {  # key: waits until the control is enabled
  for _ in $(seq 100); do
    python3 -c "import json,sys; m=json.load(open(sys.argv[1])); sys.exit(0 if m.get(sys.argv[2]+'.enabled') else 1)" "$KESTRO_UI_MAP" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$1 never became enabled"
}

wait_map cmdRecord
enabled cmdRecord
click cmdRecord
sleep 8
ls "$work/records" | grep -q '_LP_' || fail "no slow record file after arming: $(ls "$work/records")"
[ -n "$shot" ] && import -window root -crop "$(python3 -c "import json,sys; m=json.load(open(sys.argv[1])); print('%dx%d+%d+%d' % tuple(m['window']))" "$KESTRO_UI_MAP")" "$shot"
focus_window
xdotool key --clearmodifiers ctrl+shift+r  # the stop key's shortcut
sleep 1
n1=$(cat "$work"/records/*_LP_* | wc -l)
sleep 2
n2=$(cat "$work"/records/*_LP_* | wc -l)
[ "$n1" -ge 5 ] || fail "only $n1 lines recorded in 8 s"
[ "$n1" = "$n2" ] || fail "recording went on after stop ($n1 -> $n2 lines)"
nf=$(cat "$work"/records/*_LPF_* 2>/dev/null | wc -l)
[ "$nf" -ge 20 ] || fail "only $nf fast lines recorded in 8 s"
head -1 "$work"/records/*_LP_* | grep -q $'^Time;NoiseValue;Overflow;Underflow\r$' || fail "header line"

click 'menu:?'
sleep 0.5
click 'menu:About'
wait_map aboutOK
click aboutOK
sleep 0.5
focus_window
xdotool key --clearmodifiers alt+f  # the File menu by its mnemonic
wait_map 'menu:Exit'
xdotool key Escape
sleep 0.5
xdotool key --clearmodifiers ctrl+q  # ends the program like File/Exit
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "program still running after Ctrl+Q"
wait "$app" || fail "exit status $?"

tail -1 "$work/logs/R270_Kestro.log" | grep -q ': Application stopped' || fail "log does not end with the stop line"
grep '^cmd ' "$work/sim.stats" | tail -2 | tr '\n' '|' | grep -q '^cmd SMM 0|cmd LDK 0|$' || fail "stop sequence: $(grep '^cmd ' "$work/sim.stats" | tail -3 | tr '\n' ' ')"
grep -q '^cmd awm 1$' "$work/sim.stats" || fail "recording was never armed on the meter"
echo "PASS: desktop acceptance"
