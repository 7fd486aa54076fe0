#!/usr/bin/env bash
# qvplayer end to end with sound: SDL's disk audio driver records what the
# mixer plays while the demo's shader shows what it receives from the music.
#  - the recording holds the demo's 440 Hz tone, and only for about the
#    demo's length: playback ends at the end beat, not at the end of the music;
#  - the screen shows the sound texture's spectrum and the `sound` level
#    moving while the music plays.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display
command -v xwd > /dev/null || fail "needs xwd (x11-apps)"

# 4 beats at 60 bpm: the demo lasts 4 s, its music 12 s.
end_seconds=4
mkdir -p "$work/project/resources" "$work/run"
python3 - "$work/project/resources/music.mp3" <<'EOF'
import math, struct, sys, wave
# A WAV file under the name the project form expects; the mixer goes by the
# bytes, not the name.
rate, seconds, freq = 44100, 12, 440.0
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(b"".join(struct.pack("<h", int(16000 * math.sin(2 * math.pi * freq * i / rate)))
                           for i in range(rate * seconds)))
EOF

# The shader paints each column red, with the spectrum texel of that column
# in blue and green when the level is above zero. One texture read per pixel
# keeps the software rasterizer fast.
cat > "$work/project/project.json" <<'EOF'
{
  "end_beat": 4, "bpm": 60, "beat_offset": 0,
  "shaders": [
    {"vertex_shader_filename": "resources/default.vert", "fragment_shader_filename": "resources/listen.frag",
     "vertex_shader_source": "#version 150\nin vec3 vp;\nvoid main() { gl_Position = vec4(vp, 1.0); }\n",
     "fragment_shader_source": "#version 150\nuniform sampler2D texSound;\nuniform int sound;\nout vec4 fragColor;\nvoid main() {\n  float s = texelFetch(texSound, ivec2(int(gl_FragCoord.x) % 1024, 0), 0).r;\n  fragColor = vec4(1.0, sound > 0 ? 1.0 : 0.0, s, 1.0);\n}\n",
     "uniform_defs": [{"name": "texSound", "min_val": 0, "max_val": 1, "default_val": 0}]}
  ],
  "graph": {"root": 1, "nodes": [
    {"id": 1, "entryID": 10, "exitID": 11, "def": "SoundTexture", "selfActivating": false, "inputs": [],
     "inputIDs": [], "outputIDs": [12],
     "connections": [{"id": 30, "dst": 2, "src_output_idx": 0, "dst_input_idx": 3},
                     {"id": 31, "dst": 2, "src_output_idx": -1, "dst_input_idx": -1}]},
    {"id": 2, "entryID": 13, "exitID": 14, "def": "resources/listen.frag", "selfActivating": false,
     "inputs": [{"hasValue": false}, {"hasValue": false}, {"hasValue": true, "value": {"type": 0, "value": false}},
                {"hasValue": false}],
     "inputIDs": [15, 16, 17, 18], "outputIDs": [19], "connections": []}
  ]}
}
EOF
"$tool" pack "$work/project/project.json" -o "$work/run/content.dat" > /dev/null

export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE="$work/run/recorded.raw"
(cd "$work/run" && exec timeout -k 5 60 "$player" > out.txt 2>&1) &
pid=$!

# Screenshots while it plays: the columns around 440 Hz (spectrum texels
# 35 to 57) on the middle row.
shot=0
while kill -0 $pid 2>/dev/null && [ $shot -lt 80 ]; do
  xwd -root -silent -display "$DISPLAY" 2>/dev/null \
    | python3 "$src/tests/cli/lib/xwd_row.py" 0 540 64 > "$work/shot_$shot.txt" || true
  shot=$((shot + 1))
  sleep 0.1
done
set +e
wait $pid
status=$?
set -e
[ $status -eq 0 ] || { cat "$work/run/out.txt" >&2; fail "player status $status"; }

# Of the frames that show the demo (red), one must show the tone's spectrum
# (blue) and the level (green).
python3 - "$work" $shot <<'EOF' || { cat "$work/run/out.txt" >&2; fail "the sound texture and level never reached the shader"; }
import sys
work, shots = sys.argv[1], int(sys.argv[2])
demo_frames = heard = 0
for n in range(shots):
    try:
        rows = [list(map(int, l.split())) for l in open(f"{work}/shot_{n}.txt") if l.strip()]
    except OSError:
        continue
    if len(rows) != 64 or not all(r[0] > 200 for r in rows):
        continue  # loading screen or no picture yet
    demo_frames += 1
    if max(r[2] for r in rows[35:58]) > 100 and all(r[1] > 200 for r in rows):
        heard += 1
print(f"sound texture: {demo_frames} demo frames captured, {heard} with the tone and the level")
if not heard:
    # What each capture showed at the row's first and 40th pixel, to tell a
    # capture that failed from a picture that lacked the sound.
    for n in range(shots):
        try:
            rows = [l.split() for l in open(f"{work}/shot_{n}.txt") if l.strip()]
        except OSError:
            rows = []
        print(f"  capture {n}: " + (f"{'/'.join(rows[0])} {'/'.join(rows[40])}" if len(rows) == 64 else "none"))
sys.exit(0 if heard else 1)
EOF

# The recording: 16-bit stereo at 44100 Hz as the player opens the mixer.
python3 - "$SDL_DISKAUDIOFILE" $end_seconds <<'EOF' || fail "recorded music"
import struct, sys
path, end_seconds = sys.argv[1], float(sys.argv[2])
data = open(path, "rb").read()
left = struct.unpack(f"<{len(data) // 4 * 2}h", data[: len(data) // 4 * 4])[0::2]
loud = [i for i, v in enumerate(left) if abs(v) > 1000]
if not loud:
    sys.exit("the recording is silent")
first, last = loud[0], loud[-1]
span = (last - first) / 44100
crossings = sum(1 for a, b in zip(left[first:last], left[first + 1:last + 1]) if a < 0 <= b)
freq = crossings / span if span else 0
print(f"recording: {len(left) / 44100:.2f} s, music for {span:.2f} s at {freq:.1f} Hz")
if abs(freq - 440) > 5:
    sys.exit(f"tone at {freq:.1f} Hz, expected 440")
# The music lasts 12 s: stopping near the 4 s end beat shows the end rule.
if not end_seconds * 0.6 <= span <= end_seconds + 2.5:
    sys.exit(f"music played {span:.2f} s for a {end_seconds:.0f} s demo")
EOF
echo "qvplayer audio: ok"
