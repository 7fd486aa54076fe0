#!/usr/bin/env bash
# qvtool render on the bundled sample: frames match the reference pictures in
# tests/golden/ within a small tolerance (llvmpipe is deterministic), a second
# render gives identical files, so does one without a display (EGL), and a
# range writes its frames and the music.
# QV_UPDATE_GOLDEN=1 rewrites the references instead of comparing.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display

bash "$src/examples/sample/prepare.sh"
"$tool" pack "$src/examples/sample/project.json" -o "$work/sample.dat" > /dev/null

for beat in 4 20 40; do
  "$tool" render "$work/sample.dat" --beat $beat --size 320x180 -o "$work/beat$beat.png" > /dev/null 2>&1 \
    || fail "render at beat $beat"
  golden="$src/tests/golden/sample_beat$beat.png"
  if [ "${QV_UPDATE_GOLDEN:-0}" = 1 ]; then
    cp "$work/beat$beat.png" "$golden"
    continue
  fi
  [ -f "$golden" ] || fail "no reference picture $golden"
  # Normalised root-mean-square difference over all channels.
  # compare exits 1 whenever the pictures differ at all; the tolerance decides.
  metric=$(/usr/bin/compare -metric RMSE "$work/beat$beat.png" "$golden" null: 2>&1 || true)
  rmse=$(printf '%s' "$metric" | sed -E 's/.*\(([0-9.e-]+)\).*/\1/')
  awk -v r="$rmse" 'BEGIN { exit !(r < 0.02) }' || fail "beat $beat differs from its reference (RMSE $rmse)"
done

"$tool" render "$work/sample.dat" --beat 20 --size 320x180 -o "$work/again.png" > /dev/null 2>&1
cmp "$work/beat20.png" "$work/again.png" || fail "two renders of one beat differ"
cmp "$work/beat20.wav" "$work/again.wav" || fail "two renders write different music"

# Without an X display the render runs on EGL and gives the very same pixels.
env -u DISPLAY "$tool" render "$work/sample.dat" --beat 40 --size 320x180 -o "$work/egl40.png" > /dev/null 2>&1 \
  || fail "render without a display"
cmp "$work/beat40.png" "$work/egl40.png" || fail "EGL and X renders of beat 40 differ"

"$tool" render "$work/sample.dat" --from 8 --to 9 --fps 4 --size 160x90 -o "$work/range" > /dev/null 2> "$work/progress"
frames=$(ls "$work/range"/frame_*.png | wc -l)
[ "$frames" -ge 2 ] || fail "a range of one beat at 4 fps gives $frames frames"
[ -s "$work/range/music.wav" ] || fail "the music is written beside the frames"
grep -q "s left" "$work/progress" || fail "a progress bar with the time left"

# Frames are written while the next is drawn; a write that fails still ends
# the run with one line naming the file and status 1.
set +e
"$tool" render "$work/sample.dat" --beat 4 --size 64x36 -o "$work/no/such/folder/f.png" > /dev/null 2> "$work/err"
status=$?
set -e
[ $status -eq 1 ] || fail "an unwritable frame gives status $status"
grep -q "cannot write $work/no/such/folder/f.png" "$work/err" || { cat "$work/err" >&2; fail "the failed write is named"; }

set +e
"$tool" render "$work/sample.dat" --beat 1 --from 2 -o x.png 2>/dev/null; [ $? -eq 2 ] || fail "--beat with --from is a usage error"
"$tool" render "$work/sample.dat" --beat x -o x.png 2>/dev/null; [ $? -eq 2 ] || fail "a beat that is no number is a usage error"
set -e
echo "qvtool render: ok"
