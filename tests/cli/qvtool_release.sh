#!/usr/bin/env bash
# qvtool release without the real players (stand-ins of a few bytes; the
# players themselves are tried in release_players.sh): both demo files are
# the players with the content packed once at their ends, the note says what
# the demo needs, --video writes the capture parties ask for, and missing
# players or a name that would leave the folder are refused.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display
command -v ffprobe > /dev/null || fail "needs ffprobe (ffmpeg)"
cd "$work"

mkdir -p players/linux-x86_64 players/windows-x86_64
printf 'linux player' > players/linux-x86_64/qvplayer
printf 'windows player' > players/windows-x86_64/qvplayer.exe
"$tool" new tiny > /dev/null
python3 - tiny/project.json <<'EOF2'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["end_beat"], doc["bpm"], doc["beat_offset"] = 2, 120, 0  # one second
json.dump(doc, open(sys.argv[1], "w"))
EOF2
"$tool" pack tiny/project.json -o tiny.dat > /dev/null

"$tool" release tiny/project.json -o party --players players --video > release.out 2> release.err ||
  { cat release.err >&2; fail "release"; }
# DEMO PLAYER [CONTENT]: the player's bytes, the content, its trailer.
check_demo() {
  local size
  size=$(stat -c %s "$2")
  [ "$(head -c "$size" "$1")" = "$(cat "$2")" ] || fail "$1 does not start with $2"
  [ "$(tail -c 4 "$1")" = DEMO ] || fail "$1 lacks the content trailer"
  cmp -s <(tail -c +$((size + 1)) "$1" | head -c "$(stat -c %s "${3:-tiny.dat}")") "${3:-tiny.dat}" ||
    fail "$1 does not carry the packed content right after the player"
}
check_demo party/tiny players/linux-x86_64/qvplayer
check_demo party/tiny.exe players/windows-x86_64/qvplayer.exe
[ -x party/tiny ] || fail "the Linux demo is not executable"
for line in '^tiny$' '^Tempo: 120 bpm' '^Length: 0:01' 'Windows 10 or newer' 'glibc 2.34' 'OpenGL 3.0'; do
  grep -q "$line" party/tiny.txt || { cat party/tiny.txt >&2; fail "tiny.txt lacks $line"; }
done
probe=$(ffprobe -v error -show_entries stream=codec_name,profile,pix_fmt,width,height,r_frame_rate,bit_rate \
  -of default=nw=1 party/tiny.mp4)
for want in codec_name=h264 profile=High pix_fmt=yuv420p width=1920 height=1080 r_frame_rate=60/1 codec_name=aac \
  bit_rate=19[0-9][0-9][0-9][0-9]; do
  grep -qx "$want" <<< "$probe" || { echo "$probe" >&2; fail "the video lacks $want"; }
done

# A content file keeps its exact bytes.
"$tool" release tiny.dat -o again --name "Démo 2" --players players > /dev/null || fail "release of a content file"
check_demo "again/Démo 2" players/linux-x86_64/qvplayer

set +e
"$tool" release tiny.dat -o none --players nowhere 2> none.err
status=$?
"$tool" release tiny.dat -o none --players players --name ../escape 2> name.err
name_status=$?
set -e
[ $status -eq 1 ] && grep -q 'run scripts/build-players' none.err || fail "missing players: status $status, $(cat none.err)"
[ $name_status -eq 2 ] && [ ! -e escape ] && [ ! -e none/../escape ] || fail "a name with a folder in it is taken"
echo "qvtool release: ok"
