#!/usr/bin/env bash
# Reports every include of a header that does not lie below the including
# folder, however it is spelled ("x/y.h", <x/y.h>, "../x/y.h"), every Qt Gui or
# Widgets header (any Qt header where the layer has no Qt) below the layers
# that may use them, and every library linked above its row. The table of
# layers is read from HACKING.md, its one place.
#
# With --compile BUILD it proves that the build refuses such includes too:
# each wrong include is compiled with the flags of a source of the refusing
# folder (from BUILD/compile_commands.json) and must fail, and with those of a
# folder that may include it and must pass, so no refusal is a missing file.
set -euo pipefail
cd "$(dirname "$0")/.."

exec python3 - "$@" <<'PY'
import json, os, pathlib, re, shlex, subprocess, sys, tempfile

IMPLIED = {"Widgets": {"Widgets", "Gui", "Core"}, "Gui": {"Gui", "Core"}, "Core": {"Core"}}
POLICED = {"Gui", "Widgets"}

def read_table():
    text = pathlib.Path("HACKING.md").read_text()
    section = text.split("\n## Layers\n", 1)[1].split("\n## ", 1)[0]
    stands_on, qt = {}, {}
    for row in section.splitlines():
        if not row.startswith("| `"):
            continue
        cells = [c.strip() for c in row.strip().strip("|").split("|")]
        folder = re.findall(r"`([^`]+)`", cells[0])[0]
        stands_on[folder] = re.findall(r"`([^`]+)`", cells[1])
        if "every widget folder" in cells[1]:
            stands_on[folder].append("*widgets*")
        mods = set()
        for m in re.findall(r"\b(Core|Gui|Widgets|Network|DBus|Test)\b", cells[2]):
            mods |= IMPLIED.get(m, {m})
        qt[folder] = None if "as needed" in cells[2] else mods
    widgets = [f for f, m in qt.items() if m and "Widgets" in m and not f.startswith(("tools/", "desktop"))]
    for f in stands_on:
        if "*widgets*" in stands_on[f]:
            stands_on[f] = [d for d in stands_on[f] if d != "*widgets*"] + widgets
    if not stands_on.get("core") == [] or "recording" not in stands_on:
        sys.exit("HACKING.md: no table of layers under '## Layers'")
    return stands_on, qt

STANDS_ON, QT = read_table()

def below(layer):
    seen, todo = set(), list(STANDS_ON.get(layer, []))
    while todo:
        d = todo.pop()
        if d not in seen:
            seen.add(d)
            todo += STANDS_ON.get(d, [])
    return seen

def qt_of(layer):
    mods = set()
    for f in below(layer) | {layer}:
        mods |= QT.get(f) or set()
    return mods

def layer_of(path):
    parts = pathlib.PurePath(path).parts
    if len(parts) < 3 or parts[0] not in ("src", "tools"):
        return None
    head = parts[1] if parts[0] == "src" else "tools/" + parts[1]
    return "ui/" + parts[2] if head == "ui" and len(parts) > 3 else head

QT_HEADERS = None

def qt_modules_of(header):
    global QT_HEADERS
    m = re.match(r"Qt([A-Z]\w*)/", header)
    if m:
        return {m.group(1)}
    if not re.match(r"Q[A-Z]\w*$|q\w+\.h$", header):
        return set()
    if QT_HEADERS is None:
        try:
            QT_HEADERS = subprocess.run(["qtpaths6", "--query", "QT_INSTALL_HEADERS"], capture_output=True,
                                        text=True).stdout.strip()
        except OSError:
            QT_HEADERS = ""
    if not QT_HEADERS:
        return set()
    return {p.parent.name[2:] for p in pathlib.Path(QT_HEADERS).glob("Qt*/" + header)}

def problem(layer, where, spelling):
    """Why `#include <spelling>` in folder `where` of `layer` breaks the table, or None."""
    quoted, header = spelling[0] == '"', spelling[1:-1]
    target = None
    if quoted and os.path.exists(os.path.join(where, header)):
        target = layer_of(os.path.normpath(os.path.join(where, header)))
    elif not header.startswith("."):
        parts = header.split("/")
        if len(parts) > 2 and parts[0] == "ui":
            target = "ui/" + parts[1]
        elif len(parts) > 1 and parts[0] in STANDS_ON:
            target = parts[0]
    if target and target != layer and target not in below(layer):
        return f"{layer} includes {header}, which does not lie below it"
    allowed, mods = qt_of(layer), qt_modules_of(header)
    if mods and not (mods & allowed) and (not allowed or mods & POLICED):
        return f"{layer} includes {header} of Qt {'/'.join(sorted(mods))}, which its layer does not use"
    return None

def scan():
    bad, libs, links = [], {}, []
    for root in ("src", "tools"):
        for path in sorted(pathlib.Path(root).rglob("*")):
            layer = layer_of(path)
            if path.name == "CMakeLists.txt" and layer:
                text = path.read_text()
                for lib in re.findall(r"add_(?:library|executable)\(([\w-]+)", text):
                    libs[lib] = layer
                links += [(path, layer, block) for block in re.findall(r"target_link_libraries\(([^)]*)\)", text)]
            if path.suffix not in (".h", ".cpp") or not path.is_file():
                continue
            if layer not in STANDS_ON:
                bad.append(f"{path}: folder missing from the table of layers")
                continue
            for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                m = re.match(r'\s*#\s*include\s*("[^"]+"|<[^>]+>)', line)
                why = m and problem(layer, str(path.parent), m.group(1))
                if why:
                    bad.append(f"{path}:{n}: {why}")
    for path, layer, block in links:
        for lib in block.split()[1:]:
            if libs.get(lib) and libs[lib] != layer and libs[lib] not in below(layer):
                bad.append(f"{path}: {layer} links {lib} of {libs[lib]}, which does not lie below it")
            m = re.match(r"Qt6::(\w+)$", lib)
            allowed = qt_of(layer)
            if m and m.group(1) not in allowed and (not allowed or m.group(1) in POLICED):
                bad.append(f"{path}: {layer} links Qt {m.group(1)}, which its layer does not use")
    return bad

# (include, folder that must refuse it, folder that may include it; None where
# only this report can refuse it: the compiler resolves a relative path from
# the including file's own place in src/, past any include folder)
PROBES = [
    ('"ui/display/PictureError.h"', "recording", "ui/display"),
    ("<ui/display/PictureError.h>", "recording", "ui/display"),
    ('"../ui/display/PictureError.h"', "recording", None),
    ("<session/Session.h>", "recording", "session"),
    ('"recording/RecordWriter.h"', "ui/display", "ui/recording"),
    ("<QtWidgets/QWidget>", "recording", "ui/display"),
    ("<QWidget>", "report", "ui/display"),
    ("<QtGui/QImage>", "recording", "report"),
    ("<QString>", "protocol", "statistics"),
]

def compile_probes(build):
    entries = json.loads((pathlib.Path(build) / "compile_commands.json").read_text())
    flags = {}
    for e in entries:
        rel = os.path.relpath(os.path.realpath(e["file"]), os.getcwd())
        layer = layer_of(rel)
        if layer and rel.endswith(".cpp") and layer not in flags:
            args, out, skip = shlex.split(e["command"]), [], False
            for a in args:
                if skip or a in ("-o", "-c", "-MF", "-MT", "-MQ"):
                    skip = not skip
                elif a not in ("-MD", "-MMD"):
                    out.append(a)
            flags[layer] = (e["directory"], out)
    bad, ran = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        probe = os.path.join(tmp, "probe.cpp")
        for spelling, refuses, accepts in PROBES:
            if not problem(refuses, "src/" + refuses, spelling):
                bad.append(f"this report lets {refuses} include {spelling}")
            if accepts and problem(accepts, "src/" + accepts, spelling):
                bad.append(f"this report refuses {spelling} in {accepts}")
            for layer, ok in ((refuses, False), (accepts, True)):
                if accepts is None or layer not in flags:
                    continue
                ran += 1
                pathlib.Path(probe).write_text(f"#include {spelling}\n")
                cwd, args = flags[layer]
                r = subprocess.run(args + ["-fsyntax-only", "-x", "c++", probe], cwd=cwd, capture_output=True)
                if (r.returncode == 0) != ok:
                    verb = "refuses" if ok else "compiles"
                    bad.append(f"the build {verb} #include {spelling} in {layer}:\n{r.stderr.decode()[-600:]}")
    if not ran:
        bad.append(f"no source of any probed folder in {build}/compile_commands.json")
    print(f"{ran} compiler runs on {len(PROBES)} wrong includes")
    return bad

if sys.argv[1:] and (sys.argv[1] != "--compile" or len(sys.argv) != 3):
    sys.exit("usage: check-layers.sh [--compile BUILD]")
bad = compile_probes(sys.argv[2]) if sys.argv[1:] else scan()
for b in bad:
    print(b)
sys.exit(1 if bad else 0)
PY
