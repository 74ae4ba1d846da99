#!/usr/bin/env bash
# Fails when a file includes a header of a folder that does not lie below its
# own (the table of layers in HACKING.md).
set -euo pipefail
cd "$(dirname "$0")/.."

python3 - <<'PY'
import pathlib, re, sys

stands_on = {
    "core": [], "protocol": ["core"], "statistics": ["protocol"], "shell": ["core"],
    "settings": ["shell"], "link": ["protocol", "settings"], "recording": ["statistics", "settings"],
    "session": ["recording", "link"], "remote": ["recording"], "report": ["statistics"],
    "app": ["session", "remote"], "ui/display": ["protocol"], "ui/recording": ["recording", "ui/display"],
    "ui/statistics": ["recording", "report", "ui/display"], "ui/setup": ["settings", "link"],
    "ui/controller": ["session", "ui/recording"], "about": ["settings"],
    "desktop": ["app", "ui/statistics", "ui/setup", "ui/controller", "about"],
    "tools/kestro-sim": [], "tools/screenshots": ["ui/statistics"],
}
allowed_headers = set()

def below(layer, seen=None):
    seen = set() if seen is None else seen
    for d in stands_on[layer]:
        if d not in seen:
            seen.add(d)
            below(d, seen)
    return seen

def layer_of(parts):
    if parts[0] in ("src", "tools"):
        head = parts[1] if parts[0] == "src" else "tools/" + parts[1]
        return "ui/" + parts[2] if head == "ui" and len(parts) > 3 else head
    return None

bad = []
for root in ("src", "tools"):
    for path in sorted(pathlib.Path(root).rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        layer = layer_of(path.parts)
        if layer not in stands_on:
            bad.append(f"{path}: folder missing from the table of layers")
            continue
        ok = below(layer) | {layer}
        for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m or "/" not in m.group(1):
                continue
            header = m.group(1)
            parts = header.split("/")
            target = "ui/" + parts[1] if parts[0] == "ui" and len(parts) > 2 else parts[0]
            if target == "kestro" or (layer, header) in allowed_headers:
                continue  # the generated version header
            if target not in ok:
                bad.append(f"{path}:{n}: {layer} includes {header}, which does not lie below it")
for b in bad:
    print(b)
sys.exit(1 if bad else 0)
PY
