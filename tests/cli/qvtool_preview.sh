#!/usr/bin/env bash
# qvtool preview on a small project: its screenshot matches `qvtool render`
# at the same beat and size; saves (in place and editor-style) show up with
# the playhead kept; broken saves of a shader (also an included one), of the
# project file and of an image keep the last good picture and name the file
# and line, and mending them recovers; keys and clicks on the timeline sent
# through X move the playhead, F goes fullscreen and back; failed re-reads
# leave nothing behind.
source "$(dirname "$0")/lib/setup.bash" "$@"
source "$(dirname "$0")/lib/preview.bash"
need_display
export SDL_AUDIODRIVER=dummy

proj="$work/proj"
mkdir -p "$proj/res"
cp "$src/examples/sample/resources/default.vert" "$proj/res/default.vert"
python3 - "$proj/res/dots.png" <<'PY'
import struct, sys, zlib
w = h = 4
rows = b"".join(b"\0" + bytes([0, 0, 255] * w) for _ in range(h))
def chunk(t, d): return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
                              + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
# The shade comes from the included program; its own main is for when it is
# built alone, which the player does with every program.
cat > "$proj/res/common.frag" <<'GLSL'
vec3 shade(float b) {
    return vec3(0.0, fract(b / 16.0), 0.0);
}
#ifndef HOST
void main() { gl_FragColor = vec4(shade(0.0), 1.0); }
#endif
GLSL
cat > "$proj/res/main.frag" <<'GLSL'
#version 150
uniform float beat;
uniform sampler2D tex;
out vec4 fragColor;
#define HOST
#include "res/common.frag"
void main() {
    fragColor = vec4(1.0, 0.0, 0.0, 1.0) + vec4(shade(beat), 0.0) + 0.0 * texture(tex, vec2(0.5));
}
GLSL
cat > "$proj/project.json" <<'JSON'
{
  "end_beat": 64, "bpm": 120, "beat_offset": 0, "music": "",
  "textures": [{"name": "res/dots.png"}],
  "shaders": [
    {"vertex_shader_filename": "res/default.vert", "fragment_shader_filename": "res/main.frag", "uniform_defs": []},
    {"vertex_shader_filename": "res/default.vert", "fragment_shader_filename": "res/common.frag", "uniform_defs": []}
  ],
  "graph": {"root": 1, "nodes": [
    {"id": 1, "entryID": 5, "exitID": 6, "def": "res/main.frag", "selfActivating": false,
     "inputs": [{"hasValue": false}, {"hasValue": false}, {"hasValue": true, "value": {"type": 0, "value": false}}],
     "inputIDs": [2, 3, 4], "outputIDs": [7], "connections": []}]}
}
JSON
cp "$proj/project.json" "$work/project.good"

# --- the same picture as render ------------------------------------------
"$tool" pack "$proj/project.json" -o "$work/p.dat" > /dev/null 2>&1 || fail "pack the test project"
"$tool" render "$work/p.dat" --beat 4 --size 320x180 -o "$work/render.png" > /dev/null 2>&1 || fail "render beat 4"

start_preview "$proj/project.json" --size 320x180 --beat 4
ask pause > /dev/null
ask "seek 4" > /dev/null
s=$(ask status)
[ "$(field "$s" errors)" = "[]" ] || fail "the project loads without errors: $s"
[ "$(field "$s" width)x$(field "$s" height)" = 320x180 ] || fail "drawing area 320x180: $s"
a=$(ask "screenshot $work/a.png")
[ "$(field "$a" ok)" = true ] || fail "screenshot: $a"
metric=$(/usr/bin/compare -metric RMSE "$work/a.png" "$work/render.png" null: 2>&1 || true)
rmse=$(printf '%s' "$metric" | sed -E 's/.*\(([0-9.e-]+)\).*/\1/')
awk -v r="$rmse" 'BEGIN { exit !(r < 0.02) }' || fail "preview and render differ at beat 4 (RMSE $rmse)"
[ "$(pixel "$work/a.png" 10 10)" = "255,64,0" ] || fail "beat 4 shows $(pixel "$work/a.png" 10 10)"

# --- a shader saved in place, then editor-style --------------------------
sed -i 's/vec4(1.0, 0.0, 0.0, 1.0)/vec4(0.0, 0.0, 1.0, 1.0)/' "$proj/res/main.frag"
s=$(until_status 's["reload"]["count"] >= 1')
[ "$(field "$s" reload.kind)" = shaders ] || fail "a shader save rebuilds programs only: $s"
[ "$(field "$s" beat)" = 4.0 ] || fail "the playhead stays at beat 4 over a shader save: $s"
ask "screenshot $work/b.png" > /dev/null
[ "$(pixel "$work/b.png" 10 10)" = "0,64,255" ] || fail "the saved shader shows: $(pixel "$work/b.png" 10 10)"

sed 's/vec4(0.0, 0.0, 1.0, 1.0)/vec4(0.0, 0.0, 0.0, 1.0)/' "$proj/res/main.frag" > "$proj/res/.main.frag.tmp"
mv "$proj/res/.main.frag.tmp" "$proj/res/main.frag"
until_status 's["reload"]["count"] >= 2' > /dev/null
ask "screenshot $work/c.png" > /dev/null
[ "$(pixel "$work/c.png" 10 10)" = "0,64,0" ] || fail "a save by rename shows: $(pixel "$work/c.png" 10 10)"

# --- broken saves keep the last good picture -----------------------------
cp "$proj/res/main.frag" "$work/main.good"
sed -i '7s/.*/void main() { fragColor = vec4(1.0 }/' "$proj/res/main.frag"
s=$(until_status 's["reload"]["count"] >= 3')
[ "$(field "$s" reload.ok)" = false ] || fail "a shader that does not compile fails the reload: $s"
field "$s" errors | grep -q 'res/main.frag:7' || fail "the error names main.frag line 7: $s"
grep -q '^error: res/main.frag:7' "$work/preview.out" || fail "the error is printed with file and line"
ask "screenshot $work/d.png" > /dev/null
cmp -s "$work/c.png" "$work/d.png" || fail "the last good picture stays while the shader is broken"
cp "$work/main.good" "$proj/res/main.frag"
s=$(until_status 's["reload"]["count"] >= 4')
[ "$(field "$s" errors)" = "[]" ] || fail "mending the shader clears its error: $s"

# A broken line of the included program is reported at its own file and line,
# not at the line it lands on in the program that includes it.
cp "$proj/res/common.frag" "$work/common.good"
sed -i '2s/.*/    return vec3(0.0, fract(b \/ 16.0), 0.0)/' "$proj/res/common.frag"
s=$(until_status 's["reload"]["count"] >= 5')
field "$s" errors | grep -q 'res/common.frag:3' || fail "the included program's error names common.frag: $s"
field "$s" errors | grep -q 'res/main.frag' && fail "an error of the included text is not main.frag's: $s"
cp "$work/common.good" "$proj/res/common.frag"
until_status 's["reload"]["count"] >= 6 and s["errors"] == []' > /dev/null

# The project file with a syntax error: line and column of the parser.
sed -i '2s/"end_beat": 64,/"end_beat": 64,,/' "$proj/project.json"
s=$(until_status 's["reload"]["count"] >= 7')
[ "$(field "$s" reload.kind)" = project ] || fail "a project save re-reads the project: $s"
field "$s" errors | grep -q 'project.json:2:' || fail "the JSON error names project.json line 2: $s"
ask "screenshot $work/e.png" > /dev/null
cmp -s "$work/c.png" "$work/e.png" || fail "the last good picture stays while the project is broken"
cp "$work/project.good" "$proj/project.json"
s=$(until_status 's["reload"]["count"] >= 8 and s["errors"] == []')
[ "$(field "$s" beat)" = 4.0 ] || fail "the playhead stays over a project reload: $s"

# An image the project names is deleted, then comes back.
mv "$proj/res/dots.png" "$work/dots.png"
s=$(until_status 's["reload"]["count"] >= 9')
field "$s" errors | grep -q 'res/dots.png' || fail "the missing image is named: $s"
mv "$work/dots.png" "$proj/res/dots.png"
until_status 's["reload"]["count"] >= 10 and s["errors"] == []' > /dev/null

# A shader broken inside a project save that fails, then mended: the project
# is read again, so the other change of that save is not lost.
sed -i 's/void main() {/void main() { BROKEN/' "$proj/res/main.frag"
sed -i 's/"end_beat": 64,/"end_beat": 48,/' "$proj/project.json"
s=$(until_status 's["reload"]["count"] >= 11 and not s["reload"]["ok"]')
cp "$work/main.good" "$proj/res/main.frag"
s=$(until_status 's["reload"]["count"] >= 12 and s["errors"] == []')
[ "$(field "$s" reload.kind)" = project ] || fail "mending the shader after a failed re-read reads the project: $s"
cp "$work/project.good" "$proj/project.json"
until_status 's["reload"]["count"] >= 13' > /dev/null

# --- the drawing area follows the window ---------------------------------
ask "size 480x360" > /dev/null
s=$(until_status 's["width"] == 480')
[ "$(field "$s" height)" = 270 ] || fail "a 480x360 window draws 480x270, 16:9: $s"
ask "size 320x180" > /dev/null
until_status 's["width"] == 320 and s["height"] == 180' > /dev/null

# --- bad commands ---------------------------------------------------------
for bad in "seek" "seek x" "loop 4 2" "size 3x3" "screenshot a.jpg" "frobnicate" "$(head -c 5000 /dev/zero | tr '\0' a)"; do
  a=$(ask "$bad")
  [ "$(field "$a" ok)" = false ] || fail "'${bad:0:20}' is refused: $a"
done

# --- keys through X -------------------------------------------------------
wid=$(xdotool search --sync --limit 1 --name 'qvtool preview' 2>/dev/null | head -1)
[ -n "$wid" ] || fail "the preview window is found"
key() { xdotool windowfocus --sync "$wid" 2>/dev/null || true; xdotool key --window "$wid" --clearmodifiers "$@"; }
ask "seek 8" > /dev/null
key Right
until_status 'abs(s["beat"] - 9) < 1e-3' > /dev/null
key shift+Right
until_status 'abs(s["beat"] - 13) < 1e-3' > /dev/null
key Left
until_status 'abs(s["beat"] - 12) < 1e-3' > /dev/null
key bracketleft
key Right Right
key bracketright
s=$(until_status 's["loop"] is not None')
[ "$(field "$s" loop)" = "[12.0, 14.0]" ] || fail "[ and ] set the loop 12 .. 14: $s"
key space
until_status 's["paused"] == False' > /dev/null
# Half a second of play passes the loop's end (one second long) at most once; the beat stays inside.
for i in 1 2 3 4 5 6; do
  s=$(ask status)
  python3 -c 'import json,sys; b=json.loads(sys.argv[1])["beat"]; sys.exit(0 if 12 - 1e-3 <= b < 14 + 0.05 else 1)' "$s" \
    || fail "the loop keeps the playhead in 12 .. 14: $s"
  sleep 0.4
done
key BackSpace
until_status 's["loop"] is None' > /dev/null
key space
until_status 's["paused"] == True' > /dev/null
key Home
until_status 'abs(s["beat"]) < 1e-3' > /dev/null
key Next
until_status 'abs(s["beat"] - 16) < 1e-3' > /dev/null
key Next Next Prior
until_status 'abs(s["beat"] - 32) < 1e-3' > /dev/null

# --- the timeline strip seeks by click and by drag -------------------------
# The 320x180 window's strip is its bottom 64 rows, 8 px of padding on each
# side: x = 8 + 304 * beat / 64 for the 64-beat demo.
ask "seek 4" > /dev/null
xdotool mousemove --window "$wid" 84 150 click 1
s=$(until_status 'abs(s["beat"] - 16) < 0.5')
xdotool mousemove --window "$wid" 84 150 mousedown 1 mousemove --window "$wid" 160 150 \
  mousemove --window "$wid" 236 150 mouseup 1
until_status 'abs(s["beat"] - 48) < 0.5' > /dev/null
# Hidden, the strip takes no clicks, not even once it is shown again.
key Tab
until_status 'not s["overlay"]' > /dev/null
xdotool mousemove --window "$wid" 84 150 click 1
sleep 0.3
key Tab
until_status 's["overlay"]' > /dev/null
sleep 0.3
s=$(ask status)
python3 -c 'import json,sys; sys.exit(0 if abs(json.loads(sys.argv[1])["beat"] - 48) < 0.5 else 1)' "$s" \
  || fail "a click on the hidden strip seeks nowhere: $s"

# --- F: fullscreen and back --------------------------------------------------
screen_w=$(xdotool getdisplaygeometry | cut -d' ' -f1)
key f
until_status 's["fullscreen"] and s["width"] > 320 and s["width"] <= '"$screen_w" > /dev/null
key f
until_status 'not s["fullscreen"] and s["width"] == 320 and s["height"] == 180' > /dev/null

stop_preview

# --- the overlay leaves the graph's picture alone -------------------------
# The sample uses blending, framebuffers, screen copies, text and a 3D scene:
# frames drawn after overlay frames equal frames drawn with no overlay at all.
bash "$src/examples/sample/prepare.sh"
start_preview "$src/examples/sample/project.json" --size 320x180
ask pause > /dev/null
for beat in 20 40; do
  ask "seek $beat" > /dev/null
  s=$(ask "overlay on")
  [ "$(field "$s" overlay)" = true ] || fail "the overlay starts: $s"
  ask "screenshot $work/on$beat.png" > /dev/null
  ask "screenshot $work/on$beat.png" > /dev/null
  ask "overlay off" > /dev/null
  ask "screenshot $work/off$beat.png" > /dev/null
  ask "screenshot $work/off$beat.png" > /dev/null
  cmp -s "$work/on$beat.png" "$work/off$beat.png" || fail "the overlay changes the graph's picture at beat $beat"
done
stop_preview

# --- re-reads that fail do not pile up ------------------------------------
# With a shader broken, every save of the project reads the whole sample
# again and keeps the last good one; each failed version (its pictures, model
# and targets, some 270 MB) must be dropped from the GPU too.
cp -r "$src/examples/sample" "$work/sample"
start_preview "$work/sample/project.json" --size 320x180
until_status 's["frame"] > 0' > /dev/null
echo "not glsl" >> "$work/sample/resources/tunnel.frag"
until_status 's["errors"] and s["reload"]["count"] == 1' > /dev/null
rss() { awk '/VmRSS/ { print $2 }' "/proc/$preview_pid/status"; }
resave() {
  cat "$work/sample/project.json" > "$work/sample/p.tmp" && mv "$work/sample/p.tmp" "$work/sample/project.json"
  until_status 's["reload"]["count"] >= '"$1"' and s["reload"]["kind"] == "project"' > /dev/null
}
resave 2
before=$(rss)
resave 3
resave 4
resave 5
after=$(rss)
[ $((after - before)) -lt 150000 ] || fail "three failed re-reads grew the preview from $before kB to $after kB"
stop_preview
echo "qvtool preview: ok"
