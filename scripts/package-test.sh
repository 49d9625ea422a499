#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, runs the installed programs from another
# folder (a conversion, and the wizard offscreen for a few seconds) and removes the package.
# It installs a system package, so it needs root; anyone else gets a skip message.
# Usage: scripts/package-test.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}

if [ "$(id -u)" -ne 0 ]; then
  echo "package test SKIPPED: it installs the Debian package system-wide and needs root (run it as root, or .ci/run as root)"
  exit 0
fi

fail() { echo "package test FAILED: $*" >&2; exit 1; }

make --no-print-directory package BUILD="$BUILD"
deb=$(ls -t "$BUILD"/vornic_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no package was built in $BUILD"
deb=$(realpath "$deb")
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
dpkg-deb --field "$deb" Recommends | grep -qw yt-dlp || fail "the package does not recommend yt-dlp"

work=$(mktemp -d)
cleanup() {
  dpkg -r vornic >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb"

[ "$(command -v vornic-convert)" = /usr/bin/vornic-convert ] || fail "vornic-convert is not on /usr/bin"
for exe in /usr/lib/vornic/vornic /usr/lib/vornic/vornic-convert /usr/lib/vornic/lib/*.so; do
  [ -e "$exe" ] || continue
  if ldd "$exe" | grep -q "not found"; then
    ldd "$exe" | grep "not found" >&2
    fail "$exe misses libraries"
  fi
done
before=$(find /usr/lib/vornic -printf '%p %s %T@\n' | sort)

cd "$work"
echo "== vornic-convert --version"
vornic-convert --version | tee version.txt
grep -q "not loaded" version.txt && fail "the installed converter cannot load the engine libraries"

ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=25 -f lavfi -i sine=frequency=440 -t 1 \
  -c:v mpeg4 -c:a aac clip.mp4
echo "== vornic-convert --format mp3 --preset 0 clip.mp4"
vornic-convert --format mp3 --preset 0 clip.mp4
[ "$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 clip.mp3)" = mp3 ] \
  || fail "the converted file is not an MP3 file"

echo "== vornic clip.mp4 (offscreen, 5 s)"
mkdir -p home/.config
rc=0
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=offscreen \
  timeout 5 vornic clip.mp4 || rc=$?
[ "$rc" -eq 124 ] || fail "the installed wizard ended early (exit status $rc)"
[ -f home/.config/vornic/system.dat ] || fail "the wizard kept no settings in the per-user folder"
after=$(find /usr/lib/vornic -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "the programs wrote into /usr/lib/vornic"

cd /
dpkg -r vornic
[ ! -e /usr/lib/vornic ] && [ ! -e /usr/bin/vornic ] && [ ! -e /usr/bin/vornic-convert ] \
  || fail "dpkg -r left files behind"
echo "package test passed"
