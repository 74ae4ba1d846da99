#!/usr/bin/env python3
"""Lists the strings of the windows that a translation lacks.

The translations are brought up to date with the sources in a temporary
folder (lupdate, the same folders the .ts files were made from), so a text
marked in the code but missing from a .ts counts as untranslated too; the
checkout is not touched. Exit 1 when the German or the English translation
has an unfinished entry, 0 otherwise. The station's web page marks its texts
({{TEXT}} in page/index.html, T("TEXT") in page/app.js) and lists them for
lupdate in PageLanguage.cpp: a text marked in one and not the other fails too.
"""
import argparse
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCES = ["src/ui", "src/desktop", "src/about", "src/recording/EventRecorder.cpp", "src/recording/EventOutputs.cpp",
           "src/session/Session.cpp", "src/link/frmCOMx.cpp", "src/settings/SettingsSchema.cpp", "src/report",
           "src/remote/PageLanguage.cpp"]
PAGE = ROOT / "src" / "remote" / "page"
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


def page_marks_unlisted():
    """Texts marked in the web page but not listed for lupdate, and listed ones marked nowhere."""
    marked = set(re.findall(r"\{\{(.*?)\}\}", (PAGE / "index.html").read_text(encoding="utf-8")))
    marked |= set(re.findall(r'(?<![\w$])T\("([^"\\]*)"', (PAGE / "app.js").read_text(encoding="utf-8")))
    listed = set(re.findall(r'QT_TRANSLATE_NOOP\("WebPage", "([^"\\]*)"\)',
                            (ROOT / "src" / "remote" / "PageLanguage.cpp").read_text(encoding="utf-8")))
    return sorted(marked - listed), sorted(listed - marked)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--lupdate", default=shutil.which("lupdate") or "/usr/lib/qt6/bin/lupdate")
    args = parser.parse_args()
    unlisted, unused = page_marks_unlisted()
    for text in unlisted:
        print(f"  web page text not listed in PageLanguage.cpp: {text!r}")
    for text in unused:
        print(f"  listed in PageLanguage.cpp, marked nowhere in the web page: {text!r}")
    failed = bool(unlisted or unused)
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
