#!/usr/bin/env bash
# Draws the page "Help Content" (F1) opens, as a real browser shows it:
# manual-screenshot.sh <screenshots folder>. The address is the one the screenshot program
# recorded in help-content.txt. Headless Chromium is installed here when missing, so the
# tests never need it.
set -euo pipefail
shots="$1"
address="$(head -n1 "$shots/help-content.txt")"
case "$address" in
  *://*) url="$address" ;;
  *) url="file://$address" ;;
esac

browser="$(command -v chromium || true)"
if [ -z "$browser" ]; then
  echo "Installing chromium for the manual's screenshot"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends chromium
  browser="$(command -v chromium)"
fi

profile="$(mktemp -d)"
trap 'rm -rf "$profile"' EXIT
timeout 120 "$browser" --headless --no-sandbox --disable-gpu --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=1100,1400 \
  --screenshot="$shots/manual.png" "$url"
test -s "$shots/manual.png"
echo "manual page drawn into $shots/manual.png"
