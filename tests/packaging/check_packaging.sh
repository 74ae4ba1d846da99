#!/usr/bin/env bash
# What a distribution packager checks: the desktop entry, the AppStream metadata,
# the man page, the systemd user unit, an installed tree, and a Debian package
# that declares its dependencies and runs.
# Usage: check_packaging.sh SOURCE_DIR BUILD_DIR DESKTOP_ID
set -euo pipefail
src=${1:?source dir}
build=${2:?build dir}
id=${3:?desktop id}
for tool in desktop-file-validate appstreamcli groff man cpack dpkg-deb lintian; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing (scripts/bootstrap.sh installs it)"; exit 77; }
done

work=$(mktemp -d /tmp/kestro-pkg-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

out=$(desktop-file-validate "$src/data/$id.desktop" 2>&1) || fail "desktop-file-validate: $out"
grep -Eq 'error|warning' <<<"$out" && fail "desktop-file-validate: $out"

appstreamcli validate --no-net "$build/data/$id.metainfo.xml" || fail "appstreamcli validate"

warnings=$(groff -man -ww -z -t "$build/data/KestroRecorder.1" 2>&1)
[ -z "$warnings" ] || fail "groff: $warnings"
page=$(MANWIDTH=200 man -l "$build/data/KestroRecorder.1" 2>/dev/null)
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$build/bin/KestroRecorder" --help)
# Every option and variable of --help is in the man page as well.
for item in $(grep -Eo -- '(^|[ ,])--?[a-z][a-z-]*|KESTRO_COM[0-9]|LOGFILES' <<<"$help" | tr -d ' ,' | sort -u); do
  grep -Fq -- "$item" <<<"$page" || fail "the man page does not mention $item"
done

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/KestroRecorder lib/kestrorecorder/modules/kestro-desktop.so libexec/kestrorecorder/kestro-sim \
         share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/man/man1/KestroRecorder.1.gz share/doc/kestrorecorder/LICENSE \
         share/doc/kestrorecorder/copyright lib/systemd/user/kestrorecorder.service; do
  [ -e "$work/prefix/$f" ] || fail "cmake --install did not install $f"
done
[ -e "$work/prefix/bin/kestro-sim" ] && fail "kestro-sim is on PATH"
grep -q dialout <<<"$page" && grep -q dialout "$src/README.md" || fail "man page or README lacks the dialout group"
# The menu's icons are the window's picture at every size a theme asks for.
for n in 48 64 128 256; do
  file "$work/prefix/share/icons/hicolor/${n}x$n/apps/kestrorecorder.png" | grep -q "PNG image data, $n x $n," || fail "icon $n"
done
unit=$work/prefix/lib/systemd/user/kestrorecorder.service
grep -qx "ExecStart=$work/prefix/bin/KestroRecorder --headless --record" "$unit" \
  || fail "unit does not start the installed program: $(grep ExecStart "$unit")"
if command -v systemd-analyze >/dev/null; then
  MANPATH=$work/prefix/share/man systemd-analyze verify "$unit" || fail "systemd-analyze verify"
fi
grep -q 'GPL-3.0-or-later' "$work/prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo does not state the licence"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$src/LICENSE" && grep -q 'Version 3, 29 June 2007' "$src/LICENSE" \
  || fail "LICENSE is not the GPL version 3"

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$work"/pkg/kestrorecorder_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6core6 libqt6widgets6 qt6-qpa-plugins libc6; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -x "$deb" "$work/root"
grep -qx 'ExecStart=/usr/bin/KestroRecorder --headless --record' "$work/root/usr/lib/systemd/user/kestrorecorder.service" \
  || fail "the packaged unit does not start /usr/bin/KestroRecorder"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/KestroRecorder" --version)
# The window module is found beside the installed program: without a display it says so.
nodisplay=$(timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/KestroRecorder" 2>&1) || true
grep -q 'no display to show the window on' <<<"$nodisplay" || fail "packaged program without display says: $nodisplay"
grep -q "^KestroRecorder $(dpkg-deb -f "$deb" Version)" <<<"$version" || fail "packaged program says: $version"
if ldd "$work/root/usr/bin/KestroRecorder" | grep -q 'not found'; then fail "unresolved libraries"; fi
tags=$(lintian --pedantic --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
[ -z "$tags" ] || fail "lintian: $tags"
# Would it install on this system (dependencies satisfied)? Needs root, changes nothing.
if [ "$(id -u)" -eq 0 ]; then
  dpkg --dry-run -i "$deb" >/dev/null || fail "dpkg refuses the package"
fi
echo "PASS: packaging"
