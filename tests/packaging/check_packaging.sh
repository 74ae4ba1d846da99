#!/usr/bin/env bash
# What a distribution packager checks: the desktop entry, the AppStream metadata,
# the man page, the systemd units (user and station) and their hardening, an
# installed tree, and a Debian package that declares its dependencies and runs.
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
         share/doc/kestrorecorder/copyright lib/systemd/user/kestrorecorder.service \
         lib/systemd/system/kestrorecorder.service lib/systemd/system/kestrorecorder@.service \
         share/kestrorecorder/prometheus/kestrorecorder-alerts.yml \
         share/kestrorecorder/grafana/kestrorecorder.json; do
  [ -e "$work/prefix/$f" ] || fail "cmake --install did not install $f"
done
[ -e "$work/prefix/bin/kestro-sim" ] && fail "kestro-sim is on PATH"
grep -q dialout <<<"$page" && grep -q dialout "$src/README.md" || fail "man page or README lacks the dialout group"
# The menu's icons are the window's picture at every size a theme asks for.
for n in 48 64 128 256; do
  file "$work/prefix/share/icons/hicolor/${n}x$n/apps/kestrorecorder.png" | grep -q "PNG image data, $n x $n," || fail "icon $n"
done
for kind in user system; do
  unit=$work/prefix/lib/systemd/$kind/kestrorecorder.service
  grep -qx "ExecStart=$work/prefix/bin/KestroRecorder --headless --record" "$unit" \
    || fail "$kind unit does not start the installed program: $(grep ExecStart "$unit")"
done
template=$work/prefix/lib/systemd/system/kestrorecorder@.service
grep -qxF "ExecStart=$work/prefix/bin/KestroRecorder --headless --record --instance %i --port /dev/%i \$KESTRO_OPTIONS" \
  "$template" || fail "the template unit starts: $(grep ExecStart "$template")"
# One meter's instance, as systemctl enable --now kestrorecorder@ttyUSB1 makes it.
mkdir "$work/instance" && cp "$template" "$work/instance/kestrorecorder@ttyUSB1.service"
if command -v systemd-analyze >/dev/null; then
  # Offline: no service manager needs to run. A user manager's view wants a runtime directory.
  mkdir -m 700 "$work/runtime"
  for kind in user system instance; do
    as=(); [ "$kind" = user ] && as=(--user)
    unit=$work/prefix/lib/systemd/$kind/kestrorecorder.service
    [ "$kind" = instance ] && unit=$work/instance/kestrorecorder@ttyUSB1.service
    XDG_RUNTIME_DIR=$work/runtime MANPATH=$work/prefix/share/man systemd-analyze verify "${as[@]}" "$unit" \
      || fail "systemd-analyze verify of the $kind unit"
    report=$(XDG_RUNTIME_DIR=$work/runtime systemd-analyze security --offline=true --threshold=35 "${as[@]}" "$unit" 2>&1) \
      || fail "the $kind unit is exposed above 3.5: $(grep -F '✗' <<<"$report")"
    echo "$kind unit: $(grep -F 'Overall exposure' <<<"$report")"
  done
fi
grep -q 'GPL-3.0-or-later' "$work/prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo does not state the licence"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$src/LICENSE" && grep -q 'Version 3, 29 June 2007' "$src/LICENSE" \
  || fail "LICENSE is not the GPL version 3"

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || fail "cpack -G DEB"
deb=$(ls "$work"/pkg/kestrorecorder_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6core6 libqt6widgets6 qt6-qpa-plugins libc6 adduser libsystemd0; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -x "$deb" "$work/root"
for f in prometheus/kestrorecorder-alerts.yml grafana/kestrorecorder.json; do
  cmp -s "$src/data/$f" "$work/root/usr/share/kestrorecorder/$f" || fail "the package lacks /usr/share/kestrorecorder/$f"
done
for kind in user system; do
  grep -qx 'ExecStart=/usr/bin/KestroRecorder --headless --record' "$work/root/usr/lib/systemd/$kind/kestrorecorder.service" \
    || fail "the packaged $kind unit does not start /usr/bin/KestroRecorder"
done
grep -q '^ExecStart=/usr/bin/KestroRecorder .*--instance %i' "$work/root/usr/lib/systemd/system/kestrorecorder@.service" \
  || fail "the package lacks the template unit kestrorecorder@.service"
# The system unit's user is made by the package, in the group of the serial ports.
dpkg-deb -e "$deb" "$work/control"
grep -q 'adduser --system .*--home /var/lib/kestrorecorder' "$work/control/postinst" && grep -q 'adduser --quiet kestro dialout' "$work/control/postinst" \
  || fail "postinst does not make the user kestro in dialout"
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
