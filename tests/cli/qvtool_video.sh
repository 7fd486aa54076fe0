#!/usr/bin/env bash
# qvtool render to video files: ffprobe finds the codecs, size, frame count
# and durations asked for; the decoded frames are the PNG render of the same
# beats within what the encoder loses; the sound is the range of the music,
# in step with the frames. Without a display (EGL) the same works. Failures
# give one line, a non-zero status and no file that looks complete.
source "$(dirname "$0")/lib/setup.bash" "$@"
compare="python3 $src/tests/cli/lib/raw_compare.py"

bash "$src/examples/sample/prepare.sh" > /dev/null
"$tool" pack "$src/examples/sample/project.json" -o "$work/sample.dat" > /dev/null
cd "$work"
# The sample runs at 120 bpm from offset 0: beats 8 to 10 at 8 fps are 9
# frames 0.25 beats apart, 1.125 s, and the music from 4 s on.
range=(--from 8 --to 10 --fps 8 --size 96x54)
frames=9

"$tool" render sample.dat "${range[@]}" -o png > /dev/null 2>&1 || fail "PNG render of the range"
"$tool" render sample.dat "${range[@]}" -o v.mp4 > /dev/null 2>&1 || fail "render to .mp4"
# Frames pass through two read-back buffers: frame 4 of the range is beat 9.
"$tool" render sample.dat --beat 9 --size 96x54 -o beat9.png > /dev/null 2>&1 || fail "render of beat 9"
cmp beat9.png png/frame_000004.png || fail "frame 4 of the range is not beat 9"

probe() { ffprobe -v error -count_frames -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"; }
[ "$(probe v.mp4 v codec_name,width,height,pix_fmt,nb_read_frames)" = "h264,96,54,yuv420p,$frames" ] \
  || fail ".mp4 video stream: $(probe v.mp4 v codec_name,width,height,pix_fmt,nb_read_frames)"
[ "$(probe v.mp4 a codec_name,sample_rate,channels)" = "aac,44100,2" ] || fail ".mp4 has no AAC stereo sound"
duration=$(ffprobe -v error -show_entries format=duration -of csv=p=0 v.mp4)
awk -v d="$duration" 'BEGIN { exit !(d > 1.1 && d < 1.16) }' || fail ".mp4 lasts $duration s, not 1.125"

ffmpeg -v error -i v.mp4 -f rawvideo -pix_fmt rgb24 v.rgb
ffmpeg -v error -i png/frame_%06d.png -f rawvideo -pix_fmt rgb24 png.rgb
$compare frames v.rgb png.rgb 96 54 6 > cmp.txt || { cat cmp.txt >&2; fail "decoded .mp4 frames against the PNG render"; }

# The sound: as long as the frames, and the music from beat 8 (4 s) on.
ffmpeg -v error -i v.mp4 -map 0:a -f s16le -ac 2 -ar 44100 v.s16
samples=$(( $(stat -c %s v.s16) / 4 ))
[ $samples -ge 49000 ] && [ $samples -le 50700 ] || fail "the .mp4 holds $samples sound frames, not about 49612"
dd if=png/music.wav of=range.s16 bs=64K iflag=skip_bytes,count_bytes skip=$(( 44 + 176400 * 4 )) count=$(( 49612 * 4 )) status=none
shift_frames=$($compare lag v.s16 range.s16 2000)
[ "${shift_frames#-}" -le 44 ] || fail "the sound is $shift_frames sample frames off the picture"

# .webm on EGL, with no display at all: VP9 and Opus.
env -u DISPLAY "$tool" render sample.dat "${range[@]}" -o v.webm > /dev/null 2> webm.err || { cat webm.err >&2; fail "render to .webm without a display"; }
[ "$(probe v.webm v codec_name,width,height,nb_read_frames)" = "vp9,96,54,$frames" ] || fail ".webm video stream"
[ "$(probe v.webm a codec_name)" = "opus" ] || fail ".webm has no Opus sound"
ffmpeg -v error -i v.webm -f rawvideo -pix_fmt rgb24 webm.rgb
$compare frames webm.rgb png.rgb 96 54 8 > cmp.txt || { cat cmp.txt >&2; fail "decoded .webm frames against the PNG render"; }

# --to end is the demo's end beat (80): from 79 at 2 fps (a beat a frame), beats 79 and 80.
"$tool" render sample.dat --from 79 --to end --fps 2 --size 64x36 -o end.mkv > /dev/null 2>&1 || fail "--to end"
[ "$(probe end.mkv v codec_name,nb_read_frames)" = "h264,2" ] || fail "--to end renders $(probe end.mkv v nb_read_frames) frames, not 2"

# Failures: one line, a non-zero status, nothing left that looks complete.
mkdir out
expect_failure() {  # STATUS MESSAGE-PATTERN ARGS...
  local want=$1 pattern=$2
  shift 2
  set +e
  "$tool" render sample.dat "$@" > /dev/null 2> err
  local status=$?
  set -e
  [ $status -eq "$want" ] || fail "render $* gives status $status, not $want"
  # Loading and progress lines may come first; the failure is one line, the last.
  [ "$(grep -c 'qvtool render' err)" -eq 1 ] && tail -n 1 err | grep -q "$pattern" \
    || { cat err >&2; fail "render $* does not end saying '$pattern' in one line"; }
  [ -z "$(ls -A out)" ] || fail "render $* leaves $(ls -A out) behind"
}
expect_failure 2 "cannot write '.avi' files" "${range[@]}" -o out/v.avi
expect_failure 1 "folder $work/out/none does not exist" "${range[@]}" -o out/none/v.mp4
expect_failure 1 "no video encoder 'nosuch'" "${range[@]}" --codec nosuch -o out/v.mkv
expect_failure 1 "cannot hold h264" "${range[@]}" --codec h264 -o out/v.webm
expect_failure 1 "no preset 'fastest'" "${range[@]}" --preset fastest -o out/v.mp4
expect_failure 1 "even width and height" --from 8 --to 10 --fps 8 --size 95x54 -o out/v.mp4
# A disk that fills up, as a file size limit: lossless frames pass 16 kB at once.
( trap '' XFSZ; ulimit -f 16; expect_failure 1 "cannot write $work/out/v.mkv" "${range[@]}" --crf 0 -o out/v.mkv )
echo "qvtool render to video: ok"
