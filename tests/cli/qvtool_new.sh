#!/usr/bin/env bash
# qvtool new: the starter project packs without warnings and draws what its
# shader, clock and event say (the rings at the centre flash on every beat
# and fade by three quarters of it), its music is there, and a folder that
# is not empty is refused without a change.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display
cd "$work"

"$tool" new demo > new.txt || fail "qvtool new"
for f in project.json resources/rings.frag resources/default.vert resources/music.mp3; do
  [ -s "demo/$f" ] || fail "new writes $f"
done
[ "$(head -c 4 demo/resources/music.mp3)" = "RIFF" ] || fail "the music is WAV data"
"$tool" pack demo/project.json -o demo.dat > /dev/null
"$tool" info demo.dat > info.txt
if grep -q "^warning" info.txt; then cat info.txt; fail "the starter project has warnings"; fi
grep -q "events 1, effects 0, shaders 1" info.txt || { cat info.txt; fail "one event and one program"; }

# The centre pixel of a 64x36 frame, against the shader's formula with iTime
# in seconds (120 bpm) and glow from the event: 1 on the beat, 0.25 at 3/4.
for case in "4 1.0" "4.375 0.625" "4.75 0.25" "9 1.0"; do
  read -r beat glow <<< "$case"
  "$tool" render demo.dat --beat "$beat" --size 64x36 -o "f$beat.png" > "f$beat.log" 2>&1 || { cat "f$beat.log"; fail "render beat $beat"; }
  if grep -qi error "f$beat.log"; then cat "f$beat.log"; fail "the starter shader does not compile"; fi
  got=$(/usr/bin/convert "f$beat.png" -format '%[fx:int(255*p{32,18}.r+0.5)] %[fx:int(255*p{32,18}.g+0.5)] %[fx:int(255*p{32,18}.b+0.5)]' info:)
  python3 - "$beat" "$glow" "$got" <<'PY' || fail "beat $beat: the centre is ($got)"
import math, sys
beat, glow = float(sys.argv[1]), float(sys.argv[2])
got = [int(v) for v in sys.argv[3].split()]
# Pixel (32, 18) from the top of 36 rows has fragCoord (32.5, 17.5).
x, y = (2 * 32.5 - 64) / 36, (2 * 17.5 - 36) / 36
r = math.hypot(x, y)
t = beat * 0.5
fade = 0.35 + 0.65 * glow * (lambda e: e * e * (3 - 2 * e))(min(1, max(0, (r - 1.2) / (0 - 1.2))))
want = [round(255 * (0.5 + 0.5 * math.cos(t + r * 6 - k)) * fade) for k in (0, 2, 4)]
assert all(abs(a - b) <= 3 for a, b in zip(got, want)), (got, want)
PY
done
[ -s f4.wav ] || fail "render writes the music beside the frame"

# A folder with anything in it is refused, and nothing in it changes.
mkdir busy && echo keep > busy/notes.txt
set +e
"$tool" new busy > /dev/null 2> err; status=$?
"$tool" new demo/project.json > /dev/null 2>> err; status2=$?
"$tool" new 2> /dev/null; status3=$?
set -e
[ $status -eq 1 ] || fail "new into a non-empty folder exited $status"
[ $status2 -eq 1 ] || fail "new onto a file exited $status2"
[ $status3 -eq 2 ] || fail "new without a folder exited $status3"
[ "$(wc -l < err)" -eq 2 ] || { cat err; fail "one line per refusal"; }
[ "$(ls busy)" = "notes.txt" ] && [ "$(cat busy/notes.txt)" = keep ] || fail "a refused new touched the folder"
echo "qvtool new: ok"
