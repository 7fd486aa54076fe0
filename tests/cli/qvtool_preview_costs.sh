#!/usr/bin/env bash
# The preview's frame cost per node and its portability warnings: closed, the
# panel carries no numbers; P opens it and `status` then names the nodes that
# ran with their CPU and GPU times and shares; a shader save that enables an
# extension is listed as a portability warning (the shader still plays).
source "$(dirname "$0")/lib/setup.bash" "$@"
source "$(dirname "$0")/lib/preview.bash"
need_display
cd "$work"

"$tool" new demo > /dev/null
start_preview "$work/demo/project.json" --size 320x180 --beat 2
s=$(until_status 's["frame"] > 2')
[ "$(field "$s" costs)" = '{"open": false}' ] || fail "closed, the panel has no numbers: $s"
[ "$(field "$s" errors)" = "[]" ] || fail "the new project has no warnings: $s"

wid=$(xdotool search --sync --limit 1 --name 'qvtool preview' 2>/dev/null | head -1)
[ -n "$wid" ] || fail "the preview window is found"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --window "$wid" --clearmodifiers p
s=$(until_status 's["costs"]["open"] and s["costs"]["frames"] >= 5')
python3 - "$s" <<'PY' || fail "the cost panel's numbers: $s"
import json, sys
c = json.loads(sys.argv[1])["costs"]
names = [n["node"] for n in c["nodes"]]
assert "resources/rings.frag" in names and "Time" in names, names
assert c["frame_cpu_ms"] > 0, c
for n in c["nodes"]:
    assert n["cpu_ms"] >= 0 and 0 <= n["share"] <= 1.2, n
if c["frame_gpu_ms"] is not None:
    rings = next(n for n in c["nodes"] if n["node"] == "resources/rings.frag")
    assert rings["gpu_ms"] > 0, rings
PY

sed -i '1a #extension GL_ARB_gpu_shader5 : enable' demo/resources/rings.frag
s=$(until_status 'any("portability warning: resources/rings.frag:2: warning: enables GL_ARB_gpu_shader5" in e for e in s["errors"])')
[ "$(field "$s" reload.ok)" = true ] || fail "a portability warning is no failed reload: $s"
grep -q "^portability warning: resources/rings.frag:2: warning: enables GL_ARB_gpu_shader5" "$work/preview.out" \
  || fail "the warning is printed"
xdotool key --window "$wid" --clearmodifiers p
until_status 's["costs"] == {"open": False}' > /dev/null
stop_preview
