#!/usr/bin/env bash
# qvtool profile: of a project with one heavy and one light image shader, the
# heavy program's node is the first row; the GPU times of the nodes add up to
# the frame's within 20 %; several nodes of one type are told apart by id;
# bad ranges exit 2.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display
cd "$work"

"$tool" new demo > /dev/null
cat > heavy.glsl <<'GLSL'
void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    vec2 p = fragCoord / iResolution.xy;
    float v = 0.0;
    for (int i = 0; i < 300; ++i) v += sin(p.x * float(i) + v) * cos(p.y * 0.5 + float(i));
    fragColor = vec4(fract(v), p, 1.0);
}
GLSL
cat > light.glsl <<'GLSL'
void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    fragColor = vec4(fragCoord / iResolution.xy, 0.5, 1.0);
}
GLSL
"$tool" import-shader light.glsl demo/project.json > /dev/null
"$tool" import-shader heavy.glsl demo/project.json > /dev/null
LP_NUM_THREADS=1 "$tool" profile demo/project.json --from 0 --to 2 --fps 12 --size 320x180 > profile.txt 2> profile.err \
  || { cat profile.txt profile.err; fail "profile"; }
python3 - <<'PY' || { cat profile.txt; fail "the profile table"; }
lines = open("profile.txt").read().splitlines()
assert "frames of beats 0 to 2 at 320x180" in lines[0], lines[0]
assert lines[1].startswith("node (ms per frame)"), lines[1]
rows = [l.split() for l in lines[2:]]
frame = rows[-1]
assert frame[0] == "frame", frame
nodes = rows[:-1]
names = [r[0] for r in nodes]
assert names[0] == "resources/heavy.frag", names
assert "resources/light.frag" in names and "resources/rings.frag" in names, names
gpu = sum(float(r[4]) for r in nodes)
frame_gpu = float(frame[4])
assert frame_gpu > 0 and abs(gpu - frame_gpu) <= 0.2 * frame_gpu, (gpu, frame_gpu)
PY

# Two nodes of one type: each row carries its id.
python3 - <<'PY'
import json
p = json.load(open("demo/project.json"))
nodes = p["graph"]["nodes"]
light = next(n for n in nodes if n["def"] == "resources/light.frag")
twin = json.loads(json.dumps(light))
fresh = iter(range(100000, 200000))
twin["id"] = next(fresh)
twin["inputIDs"] = [next(fresh) for _ in twin["inputIDs"]]
twin["outputIDs"] = [next(fresh) for _ in twin["outputIDs"]]
twin["entryID"], twin["exitID"] = next(fresh), next(fresh)
twin["connections"] = []
light["connections"].append({"id": next(fresh), "dst": twin["id"], "src_output_idx": -1, "dst_input_idx": -1})
nodes.append(twin)
json.dump(p, open("demo/project.json", "w"))
PY
"$tool" profile demo/project.json --from 0 --to 1 --fps 10 --size 64x36 > twin.txt 2>&1 || { cat twin.txt; fail "profile with two nodes of a type"; }
[ "$(grep -c '^resources/light.frag #[0-9]' twin.txt)" = 2 ] || { cat twin.txt; fail "two rows named by id"; }

for bad in "demo/project.json" "demo/project.json --from 2 --to 1" "demo/project.json --from 0 --to 1 --size 9x9" \
           "--from 0 --to 1"; do
  status=0
  # shellcheck disable=SC2086
  "$tool" profile $bad > /dev/null 2>&1 || status=$?
  [ "$status" = 2 ] || fail "profile $bad exits 2, not $status"
done
