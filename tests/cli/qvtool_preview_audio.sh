#!/usr/bin/env bash
# qvtool preview with music, under SDL's disk audio driver: after a seek the
# sound written is the music from that beat's time, sample for sample; while
# paused it is silent; and the `sound` loudness the shader sees follows what
# is heard.
source "$(dirname "$0")/lib/setup.bash" "$@"
source "$(dirname "$0")/lib/preview.bash"
need_display
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/out.raw"

proj="$work/proj"
mkdir -p "$proj/resources"
cp "$src/examples/sample/resources/default.vert" "$proj/resources/default.vert"
# Two seconds of silence (beats 0 .. 4 at 120 bpm), then four of noise that
# never repeats, so any stretch of it says where in the music it lies.
python3 - "$proj/resources/music.mp3" "$work/music.pcm" <<'PY'
import struct, sys
rate, silent, loud = 44100, 2 * 44100, 4 * 44100
x, frames = 12345, bytearray(silent * 4)
for _ in range(loud):
    x = (x * 1103515245 + 12345) & 0x7fffffff
    l = (x >> 8) % 32000 - 16000
    x = (x * 1103515245 + 12345) & 0x7fffffff
    r = (x >> 8) % 32000 - 16000
    frames += struct.pack("<hh", l, r)
open(sys.argv[2], "wb").write(frames)
header = b"RIFF" + struct.pack("<I", 36 + len(frames)) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 2, rate, rate * 4, 4, 16)
open(sys.argv[1], "wb").write(header + b"data" + struct.pack("<I", len(frames)) + frames)
PY
cat > "$proj/resources/loud.frag" <<'GLSL'
#version 150
uniform int sound;
out vec4 fragColor;
void main() { fragColor = vec4(float(sound) / 8000.0, 0.0, 0.0, 1.0); }
GLSL
cat > "$proj/project.json" <<'JSON'
{
  "end_beat": 64, "bpm": 120, "beat_offset": 0,
  "shaders": [{"vertex_shader_filename": "resources/default.vert", "fragment_shader_filename": "resources/loud.frag", "uniform_defs": []}],
  "graph": {"root": 1, "nodes": [
    {"id": 1, "entryID": 5, "exitID": 6, "def": "resources/loud.frag", "selfActivating": false,
     "inputs": [{"hasValue": false}, {"hasValue": false}, {"hasValue": true, "value": {"type": 0, "value": false}}],
     "inputIDs": [2, 3, 4], "outputIDs": [7], "connections": []}]}
}
JSON

start_preview "$proj/project.json" --size 160x90
ask pause > /dev/null
ask "seek 6" > /dev/null
sleep 0.3
ask play > /dev/null
sleep 0.8
ask "screenshot $work/playing.png" > /dev/null
ask pause > /dev/null
sleep 0.5
ask "screenshot $work/paused.png" > /dev/null
s=$(ask status)
[ "$(field "$s" errors)" = "[]" ] || fail "the project loads: $s"
stop_preview

red_playing=$(pixel "$work/playing.png" 5 5 | cut -d, -f1)
red_paused=$(pixel "$work/paused.png" 5 5 | cut -d, -f1)
[ "$red_playing" -gt 100 ] || fail "the loudness follows the noise being heard (red $red_playing)"
[ "$red_paused" -eq 0 ] || fail "paused, the loudness falls to silence (red $red_paused)"

python3 - "$work/out.raw" "$work/music.pcm" <<'PY' || fail "the recorded sound is the music from beat 6"
import sys
out, music = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
frames = len(out) // 4
first = next((i for i in range(frames) if out[4 * i:4 * i + 4] != b"\0\0\0\0"), None)
if first is None:
    sys.exit("nothing but silence was recorded")
last = first
while last < frames and out[4 * last:4 * last + 4] != b"\0\0\0\0":
    last += 1
heard = out[4 * first:4 * last]
if len(heard) < 4 * 44100 // 2:
    sys.exit("only %d frames were heard" % (len(heard) // 4))
at = music.find(heard[:8192])
if at < 0 or at % 4:
    sys.exit("the first sound heard is not in the music")
want = 6 * 22050  # beat 6 at 120 bpm, no offset
if at // 4 != want:
    sys.exit("the sound starts at music frame %d, not %d" % (at // 4, want))
if music[at:at + len(heard)] != heard:
    sys.exit("the sound heard drifts from the music")
# After the pause nothing but silence.
if any(out[4 * last:]):
    sys.exit("sound was heard after the pause")
print("heard %d frames from music frame %d" % (len(heard) // 4, at // 4))
PY
echo "qvtool preview audio: ok"
