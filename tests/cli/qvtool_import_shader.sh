#!/usr/bin/env bash
# qvtool import-shader end to end: image shaders written here, each with one
# quirk of shaders found in the wild, compile and draw the expected colours
# after one import (new project, pack, render a small frame); importing into a
# project keeps everything it held and draws over its picture; names already
# taken and texts that are no image shader are refused without a change.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display

# Prints "R G B" (0..255) of pixel X Y (from the top left) of a PNG.
pixel() {
  /usr/bin/convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)]" info:
}
# Fails unless pixel X Y of FILE is within 3 of R G B.
expect_pixel() {
  local file=$1 x=$2 y=$3 what=$7
  read -r r g b <<< "$(pixel "$file" "$x" "$y")"
  awk -v r="$r" -v g="$g" -v b="$b" -v R="$4" -v G="$5" -v B="$6" 'function d(a, b) { return a > b ? a - b : b - a }
    BEGIN { exit !(d(r, R) <= 3 && d(g, G) <= 3 && d(b, B) <= 3) }' \
    || fail "$what: pixel ($x, $y) is ($r, $g, $b), expected ($4, $5, $6)"
}

# Imports SHADER into a new project DIR (extra arguments go to import-shader),
# packs it and renders beat BEAT at 32x18; compile errors fail the test.
import_and_render() {
  local shader=$1 dir=$2 beat=$3
  shift 3
  "$tool" import-shader "$shader" "$dir/project.json" "$@" > "$dir.import" 2> "$dir.warn" \
    || { cat "$dir.import" "$dir.warn"; fail "import of $shader"; }
  "$tool" pack "$dir/project.json" -o "$dir.dat" > /dev/null
  "$tool" render "$dir.dat" --beat "$beat" --size 32x18 -o "$dir.png" > "$dir.log" 2>&1 || { cat "$dir.log"; fail "render $dir"; }
  if grep -qi "error" "$dir.log"; then cat "$dir.log"; fail "$shader does not compile after import"; fi
}

cd "$work"

# ---------------------------------------------------------------- quirks
# A byte-order mark and Windows line ends; the picture is its coordinates.
printf '\xef\xbb\xbf// made on Windows\r\nvoid mainImage(out vec4 fragColor, in vec2 fragCoord)\r\n{\r\n    fragColor = vec4(fragCoord / iResolution.xy, 0.25, 1.0);\r\n}\r\n' > bom_crlf.glsl
import_and_render bom_crlf.glsl bom 0
# Pixel (x, 17 from the top) has fragCoord (x + 0.5, 0.5).
expect_pixel bom.png 0 17 4 7 64 "BOM and CRLF"
expect_pixel bom.png 31 0 251 248 64 "BOM and CRLF"
[ ! -s bom.warn ] || { cat bom.warn; fail "a plain shader warns"; }
[ "$(head -c 4 bom/resources/music.mp3)" = RIFF ] || fail "a new project gets music where the project form keeps it"

# Its own declarations of the inputs and its own main, as shaders written for
# other players carry them; alpha 0, which an image shader shows as opaque.
cat > own_main.glsl <<'EOF'
#version 330
uniform vec3 iResolution;
uniform float iTime;
uniform sampler2D iChannel0;
void mainImage(out vec4 RGBA, in vec2 XY) {
    RGBA = vec4(0.0, iResolution.x / 64.0, 0.0, 0.0);
}
out vec4 fragColor; void main() { mainImage(fragColor, gl_FragCoord.xy); }
EOF
import_and_render own_main.glsl own 0
expect_pixel own.png 16 9 0 128 0 "own main"

# A Common part given apart, pulled in by a non-GLSL include line; the
# shader's time is iGlobalTime, in seconds: beat 1 at 120 bpm is 0.5 s.
cat > part.common.glsl <<'EOF'
vec3 shade(float t) { return vec3(t, 1.0 - t, 1.0); }
EOF
cat > with_common.glsl <<'EOF'
#include "common.glsl"
void mainImage(out vec4 c, in vec2 p) { c = vec4(shade(fract(iGlobalTime) * 0.5), 1.0); }
EOF
import_and_render with_common.glsl common 1 --common part.common.glsl
expect_pixel common.png 16 9 64 191 255 "Common part and iGlobalTime"

# Channel 1 sampled as a cube map: named in one warning line, still drawn
# (the cube map reads black); iChannelResolution, iMouse, iDate and iFrame
# are there as expressions of the player's uniforms.
cat > cube.glsl <<'EOF'
void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    vec3 dir = normalize(vec3(fragCoord, 1.0));
    vec3 sky = texture(iChannel1, dir).rgb;
    float tiny = iChannelResolution[0].x + iMouse.x + iDate.x * 0.0 + float(iFrame) * 0.0 + iTimeDelta;
    fragColor = vec4(sky + vec3(1.0, 1.0, 0.0) * step(tiny, 10.0), 1.0);
}
EOF
import_and_render cube.glsl cube 2
expect_pixel cube.png 5 5 255 255 0 "cube map"
[ "$(wc -l < cube.warn)" -eq 1 ] || { cat cube.warn; fail "one warning line"; }
grep -q "iChannel1 as a cube map" cube.warn || { cat cube.warn; fail "the cube map is named"; }

# Names of its own that are the player's uniforms.
cat > taken.glsl <<'EOF'
float beat(float t) { return fract(t); }
void mainImage(out vec4 c, in vec2 p) {
    vec2 resolution = vec2(2.0);
    c = vec4(beat(1.5), resolution.x * 0.5, 0.0, 1.0);
}
EOF
import_and_render taken.glsl taken 0
expect_pixel taken.png 3 3 128 255 0 "a shader's own beat and resolution"

# A hash made from the bits of a float, as GLSL ES 3.00 allows.
cat > bits.glsl <<'EOF'
void mainImage(out vec4 c, in vec2 p) { c = vec4(float(floatBitsToUint(1.0) >> 23u) / 255.0, 0.0, 0.0, 1.0); }
EOF
import_and_render bits.glsl bits 0
expect_pixel bits.png 3 3 127 0 0 "float bits"

# The image pass of a shader with buffer passes beside it: they are named.
mkdir passes
printf 'void mainImage(out vec4 c, in vec2 p) { c = texture(iChannel0, p / iResolution.xy); }\n' > passes/image.glsl
cp passes/image.glsl passes/buffer_a.glsl
cp passes/image.glsl passes/Buffer\ B.glsl
import_and_render passes/image.glsl multipass 0
grep -q "buffer pass Buffer B.glsl; buffer pass buffer_a.glsl" multipass.warn || { cat multipass.warn; fail "buffer passes are named"; }

# ---------------------------------------------------------------- into a project
cp -r "$src/tests/data/full_project" project
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf project/resources/
cp project/project.json before.json
"$tool" import-shader bom_crlf.glsl project/project.json --name coords > /dev/null
[ -f project/resources/coords.frag ] || fail "the program's source is written"
python3 - before.json project/project.json <<'EOF' || fail "the project lost or changed what it held"
import json, sys
old, new = (json.load(open(p)) for p in sys.argv[1:])
added_shader = new["shaders"][-1]
assert added_shader["fragment_shader_filename"] == "resources/coords.frag", added_shader
assert new["shaders"][:-1] == old["shaders"]
nodes = new["graph"]["nodes"]
added = nodes[-1]
assert added["def"] == "resources/coords.frag", added
root = next(n for n in nodes if n["id"] == new["graph"]["root"])
link = root["connections"][-1]
assert (link["dst"], link["src_output_idx"], link["dst_input_idx"]) == (added["id"], -1, -1), link
root["connections"].pop()
assert nodes[:-1] == old["graph"]["nodes"], "nodes changed"
ids = [i for n in old["graph"]["nodes"] for i in [n["id"], n["entryID"], n["exitID"]] + n["inputIDs"] + n["outputIDs"]
       + [c["id"] for c in n["connections"]]]
assert added["id"] > max(ids), "fresh ids lie above every id of the project"
for key in old:
    if key not in ("shaders", "graph"):
        assert new[key] == old[key], key
assert set(new) == set(old)
EOF
"$tool" pack project/project.json -o project.dat > /dev/null
"$tool" info project.dat > info.txt
if grep -q "^warning" info.txt; then cat info.txt; fail "the edited project has warnings"; fi
"$tool" render project.dat --beat 2 --size 32x18 -o project.png > project.log 2>&1 || { cat project.log; fail "render the edited project"; }
expect_pixel project.png 0 17 4 7 64 "the imported program draws last"

# A taken name is refused and nothing changes; so is a text without mainImage.
cp project/project.json edited.json
cp project/project.json before_odd.json
expect_refusal() {
  set +e
  "$tool" import-shader "$@" > /dev/null 2> err
  local status=$?
  set -e
  [ $status -eq 1 ] || fail "import-shader $* exited $status"
  [ "$(wc -l < err)" -eq 1 ] || { cat err; fail "import-shader $* must print one line"; }
  cmp -s project/project.json edited.json || fail "a refused import changed the project"
}
expect_refusal own_main.glsl project/project.json --name coords
grep -q "coords" err || fail "the taken name is named"
# A project whose graph is not of the form it should be is refused, not mended.
python3 -c 'import json; p = json.load(open("edited.json")); p["graph"]["nodes"] = {"broken": 1}; json.dump(p, open("odd.json", "w"))'
cp odd.json project/project.json && cp odd.json edited.json
expect_refusal bom_crlf.glsl project/project.json --name again
[ ! -e project/resources/again.frag ] || fail "a refused import wrote a file"
cp before_odd.json project/project.json && cp before_odd.json edited.json
echo "float f(float x) { return x; }" > helper.glsl
expect_refusal helper.glsl project/project.json
[ ! -e project/resources/helper.frag ] || fail "a refused import wrote a file"
set +e
"$tool" import-shader bom_crlf.glsl project/project.json --name ../escape 2> /dev/null
[ $? -eq 2 ] || fail "a name with a path in it is a usage error"
set -e
echo "qvtool import-shader: ok"
