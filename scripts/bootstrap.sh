#!/usr/bin/env bash
# Installs what building and testing KestroRecorder needs on Debian 12.
# Runs apt only when something is missing, so a prepared machine is not touched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  python3 fonts-dejavu-core
  xvfb xdotool x11-apps imagemagick
  python3-pyatspi at-spi2-core dbus-x11 lintian
  appstream desktop-file-utils groff-base man-db dpkg-dev file
  qt6-l10n-tools qt6-translations-l10n
  python3-pandas python3-numpy poppler-utils time faketime
  libmosquitto-dev mosquitto mosquitto-clients libsystemd-dev
  libssl-dev openssl prometheus curl
  chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The tests start Prometheus on ports of their own; the packaged server is not wanted.
if [[ " ${missing[*]} " == *" prometheus "* ]] && [ -d /run/systemd/system ]; then
  $SUDO systemctl disable --now prometheus || true
fi
