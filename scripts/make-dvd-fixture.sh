#!/usr/bin/env bash
# Builds the DVD folders the DVD tests and screenshots read, into OUT (default build/fixtures/dvd):
#   two-titles/  title 1: PAL 4:3, 9 s in chapters of 3 s, AC3 audio 440 Hz "en" (0x80) and
#                MPEG audio 1000 Hz "de" (0xC0), both stereo, a subtitle "fr" (0x20);
#                title 2: NTSC 16:9, 4 s, AC3 660 Hz "es"
#   damaged/     the same with title 2's IFO and its backup destroyed
#   chapters/    one title of 105 chapters (more than the title record holds)
#   wide-subtitles/  NTSC 16:9, 3 s, one subtitle "en" whose picture for the wide screen is
#                stream 1 (0x21) and for letterbox stream 2; no stream for 4:3
#   empty/       an empty folder; plain-file: a file that is no DVD
# Made once: a folder that is complete (marked by .done with this version) is kept.
VERSION=3
set -euo pipefail
OUT=${1:-build/fixtures/dvd}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
# Test programs running side by side wait for one another here.
exec 9> "$OUT/.lock"
flock 9
[ "$(cat "$OUT/.done" 2>/dev/null)" = "$VERSION" ] && exit 0
WORK=$(mktemp -d "$OUT/.work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# A white box on black, black being transparent: spumux takes pictures of few palette colours.
ff -f lavfi -i "color=black:s=720x576,drawbox=x=100:y=480:w=240:h=40:color=white:t=fill" \
   -frames:v 1 -pix_fmt pal8 sub.png
# One subtitle in each chapter.
{
  echo '<subpictures><stream>'
  for s in 0 3 6; do
    echo "<spu start=\"00:00:0$s.50\" end=\"00:00:0$((s + 2)).50\" image=\"sub.png\" transparent=\"000000\"/>"
  done
  echo '</stream></subpictures>'
} > sub.xml
ff -f lavfi -i "testsrc=s=720x576:r=25:d=9" -f lavfi -i "sine=f=440:r=48000:d=9" \
   -f lavfi -i "sine=f=1000:r=48000:d=9" -map 0:v -map 1:a -map 2:a -target pal-dvd -aspect 4:3 \
   -b:v 2M -ac 2 -c:a:0 ac3 -b:a:0 192k -c:a:1 mp2 -b:a:1 192k t1.mpg
spumux -s 0 sub.xml < t1.mpg > t1s.mpg 2> spumux.log
ff -f lavfi -i "testsrc=s=720x480:r=30000/1001:d=4" -f lavfi -i "sine=f=660:r=48000:d=4" \
   -target ntsc-dvd -aspect 16:9 -b:v 2M -ac 2 t2.mpg
cat > two.xml <<'XML'
<dvdauthor dest="two-titles">
 <vmgm />
 <titleset>
  <titles>
   <video format="pal" aspect="4:3"/>
   <audio lang="en"/><audio lang="de"/>
   <subpicture lang="fr"/>
   <pgc><vob file="t1s.mpg" chapters="0,3,6"/></pgc>
  </titles>
 </titleset>
 <titleset>
  <titles>
   <video format="ntsc" aspect="16:9"/>
   <audio lang="es"/>
   <pgc><vob file="t2.mpg"/></pgc>
  </titles>
 </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x two.xml > dvdauthor.log 2>&1
cp -r two-titles damaged
for f in damaged/VIDEO_TS/VTS_02_0.IFO damaged/VIDEO_TS/VTS_02_0.BUP; do
  head -c "$(stat -c %s "$f")" /dev/zero > "$f"
done

# 105 chapters of 0.4 s (the shortest a cell may be): a small picture at a low rate.
ff -f lavfi -i "testsrc=s=352x288:r=25:d=42" -f lavfi -i "sine=f=440:r=48000:d=42" \
   -target pal-dvd -s 352x288 -g 5 -b:v 300k -ac 2 -b:a 128k many.mpg
marks=$(awk 'BEGIN { for (i = 0; i < 105; i++) printf "%s%.1f", (i ? "," : ""), i * 0.4 }')
cat > many.xml <<XML
<dvdauthor dest="chapters">
 <vmgm />
 <titleset><titles><video format="pal"/><pgc><vob file="many.mpg" chapters="$marks"/></pgc></titles></titleset>
</dvdauthor>
XML
VIDEO_FORMAT=PAL dvdauthor -x many.xml > dvdauthor-many.log 2>&1

ff -f lavfi -i "color=black@0:s=720x480,format=rgba,drawbox=x=100:y=400:w=240:h=40:color=white@1:t=fill" \
   -frames:v 1 wsub.png
echo '<subpictures><stream><spu start="00:00:00.50" end="00:00:02.50" image="wsub.png"/></stream></subpictures>' > wsub.xml
ff -f lavfi -i "testsrc=s=720x480:r=30000/1001:d=3" -f lavfi -i "sine=f=880:r=48000:d=3" \
   -target ntsc-dvd -aspect 16:9 -b:v 2M -ac 2 w.mpg
spumux -s 1 wsub.xml < w.mpg > w1.mpg 2> spumux-w1.log
spumux -s 2 wsub.xml < w1.mpg > w2.mpg 2> spumux-w2.log
cat > wide.xml <<'XML'
<dvdauthor dest="wide-subtitles">
 <vmgm />
 <titleset>
  <titles>
   <video format="ntsc" aspect="16:9"/>
   <audio lang="en"/>
   <subpicture lang="en">
    <stream mode="widescreen" id="1"/>
    <stream mode="letterbox" id="2"/>
   </subpicture>
   <pgc><vob file="w2.mpg"/></pgc>
  </titles>
 </titleset>
</dvdauthor>
XML
VIDEO_FORMAT=NTSC dvdauthor -x wide.xml > dvdauthor-wide.log 2>&1

mkdir -p empty
echo "not a DVD" > plain-file
for d in two-titles damaged chapters wide-subtitles empty plain-file; do
  rm -rf "${OUT:?}/$d"
  mv "$d" "$OUT/"
done
echo "$VERSION" > "$OUT/.done"
