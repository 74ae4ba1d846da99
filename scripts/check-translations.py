#!/usr/bin/env python3
"""Lists the strings of the windows that a translation lacks.

The translations are brought up to date with the sources in a temporary
folder (lupdate, the same folders the .ts files were made from), so a text
marked in the code but missing from a .ts counts as untranslated too; the
checkout is not touched. Exit 1 when the German or the English translation
has an unfinished entry, 0 otherwise.
"""
import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCES = ["src/ui", "src/desktop", "src/about", "src/recording/EventRecorder.cpp", "src/recording/EventOutputs.cpp",
           "src/session/Session.cpp", "src/link/frmCOMx.cpp", "src/settings/SettingsSchema.cpp"]
LANGUAGES = ["de", "en"]


def unfinished(ts):
    out = []
    for context in ET.parse(ts).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            t = message.find("translation")
            if t is None or t.get("type") == "unfinished" or (t.text is None and t.get("type") != "vanished"):
                out.append((name, message.findtext("source")))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--lupdate", default=shutil.which("lupdate") or "/usr/lib/qt6/bin/lupdate")
    args = parser.parse_args()
    failed = False
    with tempfile.TemporaryDirectory() as tmp:
        copies = []
        for lang in LANGUAGES:
            copy = pathlib.Path(tmp) / f"kestrorecorder_{lang}.ts"
            shutil.copy(ROOT / "translations" / copy.name, copy)
            copies.append(copy)
        subprocess.run([args.lupdate, "-silent", "-no-obsolete", "-locations", "none", "-I", str(ROOT / "src")]
                       + [str(ROOT / s) for s in SOURCES] + ["-ts"] + [str(c) for c in copies], check=True)
        for lang, copy in zip(LANGUAGES, copies):
            missing = unfinished(copy)
            total = sum(1 for _ in ET.parse(copy).getroot().iter("message"))
            print(f"{lang}: {total - len(missing)} of {total} translated")
            for context, source in missing:
                print(f"  untranslated [{context}] {source!r}")
            failed = failed or bool(missing)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
