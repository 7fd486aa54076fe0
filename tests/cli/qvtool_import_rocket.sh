#!/usr/bin/env bash
# qvtool import-rocket end to end: tracks imported into the starter project
# only add to its text (the event, its node, the clock's link to it) and the
# result packs without warnings; a project without an events list is written
# anew and packs too; a taken name, malformed XML and bad arguments are
# refused with the project byte for byte as it was.
source "$(dirname "$0")/lib/setup.bash" "$@"
cd "$work"

"$tool" new demo > /dev/null
cat > sync.rocket <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<sync rows="256">
  <tracks>
    <track name="cam:zoom">
      <key row="0" value="1" interpolation="2"/>
      <key row="16" value="3" interpolation="0"/>
      <key row="17" value="0.5" interpolation="1"/>
    </track>
    <track name="flash"/>
  </tracks>
</sync>
EOF
cp demo/project.json before.json
"$tool" import-rocket sync.rocket demo/project.json --event sync > out.txt || fail "import-rocket"
grep -q 'track "cam:zoom" is cam_zoom' out.txt || { cat out.txt; fail "a renamed track is listed"; }
python3 - before.json demo/project.json <<'EOF' || fail "the import did more than add the event, its node and its link"
import difflib, json, sys
old_text, new_text = (open(p).read() for p in sys.argv[1:])
ops = difflib.SequenceMatcher(None, old_text, new_text, autojunk=False).get_opcodes()
assert all(op in ("equal", "insert") for op, *_ in ops), [o for o in ops if o[0] != "equal"]
old, new = json.loads(old_text), json.loads(new_text)
event = new["events"][-1]
assert (event["type"], event["name"], event["start_beat"], event["end_beat"]) == (4, "sync", 0, 32), event
assert [d["name"] for d in event["uniform_defs"]] == ["cam_zoom", "flash"], event["uniform_defs"]
nodes = new["graph"]["nodes"]
node = nodes[-1]
assert node["def"] == "sync.event" and len(node["outputIDs"]) == 2, node
clock = next(n for n in nodes if n["def"] == "Time")
assert {"dst": node["id"], "src_output_idx": 0, "dst_input_idx": 0}.items() <= clock["connections"][-1].items()
EOF
"$tool" pack demo/project.json -o demo.dat > /dev/null
"$tool" info demo.dat > info.txt
if grep -q "^warning" info.txt; then cat info.txt; fail "the imported project has warnings"; fi
grep -q "events 2," info.txt || { cat info.txt; fail "the event is packed"; }

# A project that has no events list yet, written anew.
mkdir short && cp "$src/tests/data/short_project/project.json" short/
"$tool" import-rocket sync.rocket short/project.json --event tracks --rows-per-beat 4 > /dev/null || fail "import into a project without events"
python3 -c 'import json, sys; p = json.load(open("short/project.json")); assert p["events"][0]["end_beat"] == 64 and p["graph"]["nodes"][-1]["def"] == "tracks.event"' \
  || fail "the event and node of a project without events"
"$tool" pack short/project.json -o short.dat > /dev/null || fail "pack of a project without events"

# Refusals: one line, exit 1 (or 2 for bad usage), nothing written.
cp demo/project.json imported.json
refused() {
  local want=$1
  shift
  set +e
  "$tool" import-rocket "$@" > /dev/null 2> err
  local status=$?
  set -e
  [ $status -eq "$want" ] || { cat err; fail "import-rocket $* exited $status"; }
  [ "$(wc -l < err)" -eq 1 ] || { cat err; fail "import-rocket $* must print one line"; }
  cmp -s demo/project.json imported.json || fail "a refused import changed the project"
  [ ! -e demo/project.json.tmp ] || fail "a refused import left a temporary file"
}
refused 1 sync.rocket demo/project.json --event sync
grep -q "already has an event sync" err || fail "the taken name is named"
printf '<sync rows="8">\n<tracks>\n<track name="a"><key row="0" value="1" interpolation="0"/>\n</tracks></sync>\n' > broken.rocket
refused 1 broken.rocket demo/project.json --event other
grep -q "broken.rocket: line 4: </tracks> closes <track>" err || { cat err; fail "the fault and its line are named"; }
printf '<sync><tracks><track name="a"><key row="0" value="x" interpolation="0"/></track></tracks></sync>' > bad_value.rocket
refused 1 bad_value.rocket demo/project.json --event other
refused 1 missing.rocket demo/project.json --event other
refused 2 sync.rocket demo/project.json
refused 2 sync.rocket demo/project.json --event "no spaces"
refused 2 sync.rocket demo/project.json --event other --rows-per-beat 0
refused 2 sync.rocket demo/project.json --event other --speed 2
echo "qvtool import-rocket: ok"
