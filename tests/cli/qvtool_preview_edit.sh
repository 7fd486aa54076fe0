#!/usr/bin/env bash
# Editing the timeline in the preview, on `qvtool new`'s project: a key moved
# by command changes the picture without a re-read and undo brings the first
# picture back exactly; saves change only what was edited (none: the same
# bytes) and pack as edited; the preview's own save is not re-read; an
# outside save during unsaved edits loses nothing; quitting with unsaved
# edits asks; a key dragged in the panel with the mouse snaps to 1/3 beat.
# Also: without a sound device it plays silently, and a project saved with
# bytes that are not UTF-8 still gets answers.
source "$(dirname "$0")/lib/setup.bash" "$@"
source "$(dirname "$0")/lib/preview.bash"
need_display
export SDL_AUDIODRIVER=dummy

"$tool" new "$work/np" > /dev/null 2>&1 || fail "qvtool new"
proj="$work/np/project.json"
cp "$proj" "$work/original.json"
py() { python3 -c "$@"; }

start_preview "$proj" --size 640x360 --beat 0.5
ask pause > /dev/null
ask "seek 0.5" > /dev/null
ask "overlay off" > /dev/null
s=$(ask status)
[ "$(field "$s" errors)" = "[]" ] || fail "the new project loads: $s"
count=$(field "$s" reload.count)

# --- save with no edit: the same bytes; the own save is not re-read --------
a=$(ask save)
[ "$(field "$a" ok)" = true ] || fail "save: $a"
cmp -s "$proj" "$work/original.json" || fail "a save with no edit changed the file"

# --- a key moved by command shows on the next frame, without a re-read ----
ask "screenshot $work/a.png" > /dev/null
k=$(ask "keys pulse glow")
[ "$(field "$k" keys.1.beat)" = 0.75 ] || fail "key 1 of glow is at beat 0.75: $k"
a=$(ask "key move pulse glow 1 0.5 0")
[ "$(field "$a" ok)" = true ] || fail "key move: $a"
ask "screenshot $work/b.png" > /dev/null
cmp -s "$work/a.png" "$work/b.png" && fail "the moved key does not change the picture"
s=$(ask status)
[ "$(field "$s" reload.count)" = "$count" ] || fail "a key move re-read the project: $s"
[ "$(field "$s" unsaved)" = true ] || fail "the edit is marked unsaved: $s"
a=$(ask undo)
[ "$(field "$a" ok)" = true ] || fail "undo: $a"
ask "screenshot $work/c.png" > /dev/null
cmp -s "$work/a.png" "$work/c.png" || fail "undo does not bring the first picture back exactly"

# --- one key moved and saved: only that key's object differs ---------------
ask "key move pulse glow 1 0.5 0" > /dev/null
a=$(ask quit)
[ "$(field "$a" ok)" = false ] || fail "quit with unsaved edits is refused: $a"
ask save > /dev/null
sleep 0.5
s=$(ask status)
[ "$(field "$s" reload.count)" = "$count" ] || fail "the preview re-read its own save: $s"
[ "$(field "$s" unsaved)" = false ] || fail "saved edits are not unsaved: $s"
py '
import json, sys
old, new = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
p = 0
while p < min(len(old), len(new)) and old[p] == new[p]: p += 1
s = 0
while s < min(len(old), len(new)) - p and old[-1 - s] == new[-1 - s]: s += 1
# The changed bytes of the original lie inside one {...} holding key 1.
start = old.rfind(b"{", 0, p + 1); end = old.find(b"}", len(old) - s - 1)
obj = old[start:end + 1]
assert json.loads(obj) == {"beat": 0.75, "value": 0.25}, obj
assert json.loads(new[start:new.find(b"}", start) + 1]) == {"beat": 0.5, "value": 0}, new[start:start + 40]
' "$work/original.json" "$proj" || fail "the saved file differs outside the moved key's object"
"$tool" pack "$proj" -o "$work/p.dat" > /dev/null 2>&1 || fail "pack the saved project"
"$tool" unpack "$work/p.dat" -o "$work/unpacked" > /dev/null 2>&1 || fail "unpack the packed project"
py '
import json, sys
p = json.load(open(sys.argv[1]))["events"][0]["control_points"]["glow"]["points"]
assert (p[1]["beat"], p[1]["value"]) == (0.5, 0), p[:3]
' "$work/unpacked/project.json" || fail "the packed content does not hold the moved key"

# --- an outside save during unsaved edits loses nothing ---------------------
ask "key move pulse glow 3 1.5 0" > /dev/null
sed 's/"end_beat": 32,/"end_beat": 33,/' "$proj" > "$work/outside.json"
cat "$work/outside.json" > "$proj"
s=$(until_status 's["conflict"]')
[ "$(field "$s" unsaved)" = true ] || fail "the edits stay after an outside save: $s"
[ "$(field "$s" reload.count)" = "$count" ] || fail "an outside save over unsaved edits is not read: $s"
k=$(ask "keys pulse glow")
[ "$(field "$k" keys.3.beat)" = 1.5 ] || fail "the edited key is kept: $k"
a=$(ask save)
[ "$(field "$a" ok)" = false ] || fail "save while the conflict stands is refused: $a"
ask "conflict keep" > /dev/null
a=$(ask save)
[ "$(field "$a" ok)" = true ] || fail "save after keep: $a"
py 'import json,sys; p=json.load(open(sys.argv[1])); assert p["events"][0]["control_points"]["glow"]["points"][3] == {"beat": 1.5, "value": 0}' "$proj" \
  || fail "keep writes the edits over the outside save"

# --- bad edit lines ----------------------------------------------------------
for bad in "key move pulse glow 999 1" "key move nobody glow 0 1" "key add pulse nope 1 1" "key delete pulse glow x" \
           "track pulse glow mode cubic" "def add pulse 9x" "event delete nobody" "grid 5" "key add pulse glow 1 \"open"; do
  a=$(ask "$bad")
  [ "$(field "$a" ok)" = false ] || fail "'$bad' is refused: $a"
done

# --- a key dragged in the panel snaps to thirds ----------------------------
ask "overlay on" > /dev/null
ask "timeline on" > /dev/null
ask "grid 3" > /dev/null
wid=$(xdotool search --sync --limit 1 --name 'qvtool preview' 2>/dev/null | head -1)
[ -n "$wid" ] || fail "the preview window is found"
s=$(until_status 's["panel"] is not None and s["panel"]["lanes"]')
lane_y=$(field "$s" panel.lanes.0.1)
x0=$(field "$s" panel.x0); ppb=$(field "$s" panel.px_per_beat)
# Select the pulse event by a click on its lane, near its start.
xdotool mousemove --window "$wid" "$(py "print(int($x0 + 2 * $ppb))")" "$(py "print(int($lane_y))")" click 1
s=$(until_status 's["panel"]["tracks"]')
top=$(field "$s" panel.tracks.0.0); bottom=$(field "$s" panel.tracks.0.1)
k=$(ask "keys pulse glow")
kb=$(field "$k" keys.4.beat); kv=$(field "$k" keys.4.value)
hx=$(py "print(round($x0 + $kb * $ppb))")
hy=$(py "print(round($bottom - $kv * ($bottom - $top)))")
# 0.45 beat to the right: the grid of thirds takes it to 2 + 1/3.
tx=$(py "print(round($x0 + ($kb + 0.45) * $ppb))")
xdotool mousemove --window "$wid" "$hx" "$hy" mousedown 1
sleep 0.2
xdotool mousemove --window "$wid" "$((hx + 3))" "$hy"
sleep 0.2
xdotool mousemove --window "$wid" "$tx" "$hy"
sleep 0.2
xdotool mouseup 1
s=$(until_status 's["undo_steps"] >= 1 and s["unsaved"]')
k=$(ask "keys pulse glow")
py 'import json,sys; k=json.loads(sys.argv[1])["keys"]; b=[x["beat"] for x in k]; assert any(abs(x - 7/3) < 1e-5 for x in b), b' "$k" \
  || fail "the dragged key lands on 2 1/3 beats: $k"
ask "screenshot $work/panel.png" > /dev/null
a=$(ask "quit force")
[ "$(field "$a" ok)" = true ] || fail "quit force: $a"
exec 3>&-
wait $preview_pid || fail "the preview exited with status $?"

# --- no sound device: silent, timed by the clock, said once -----------------
SDL_AUDIODRIVER=no_such_driver start_preview "$proj" --size 320x180
s=$(until_status 's["frame"] > 2')
[ "$(field "$s" silent)" = true ] || fail "without a device the preview runs silent: $s"
b0=$(field "$s" beat)
sleep 0.6
s=$(ask status)
py "import sys; sys.exit(0 if $(field "$s" beat) > $b0 + 0.5 else 1)" || fail "the clock moves the playhead: $s"
[ "$(grep -c 'no sound device' "$work/preview.out")" = 1 ] || fail "the silent fallback is said once"
stop_preview

# --- a project with bytes that are not UTF-8 --------------------------------
printf '{"bpm": 120, "end_beat": 8, "events": [{"type": 4, "name": "Caf\xe9", "start_beat": 0, "end_beat": 8}]}\n' > "$work/cp1252.json"
start_preview "$work/cp1252.json" --size 320x180
s=$(ask status)
[ "$(field "$s" ok)" = true ] || fail "status answers for a Windows-1252 project: $s"
stop_preview
head -c 3000 /dev/urandom > "$work/random.json"
start_preview "$work/random.json" --size 320x180
s=$(ask status)
[ "$(field "$s" ok)" = true ] || fail "status answers for random bytes: $s"
stop_preview
echo "qvtool preview edit: ok"
