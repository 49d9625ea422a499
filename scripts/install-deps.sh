#!/usr/bin/env bash
# Installs the Debian packages vornic needs to build, run and test. Safe to run again.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6 libgl-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  ffmpeg
  libcurl4-openssl-dev libcpp-httplib-dev curl time libssl-dev openssl zlib1g-dev
  libdvdread-dev dvdauthor
  yt-dlp
  libgtest-dev libgmock-dev
  xvfb xauth fonts-dejavu-core
  help2man man-db groff-base desktop-file-utils appstream dpkg-dev file
  dbus-daemon x11-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
