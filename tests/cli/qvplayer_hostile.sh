#!/usr/bin/env bash
# qvplayer against hostile content. Every run must end by itself (under a
# timeout, with its address space bounded) and never by a signal. Corrupt
# streams end with a non-zero status and one line on stderr; valid but extreme
# content (a 10 MB shader, a 1 x 100000 texture, an absurd record count,
# activation links in cycles) plays to its end beat and exits 0.
source "$(dirname "$0")/lib/setup.bash" "$@"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
need_display

# Sanitizer builds reserve terabytes of shadow address space: bounding the
# address space would stop them before main. Their own checks stand in.
limit_memory=1
grep -Eq '^QV_(SANITIZE|TSAN):BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null && limit_memory=0
run_timeout=45

# Runs the player in DIR (with DIR/content.dat, or DIR/PROGRAM); its exit
# status goes to DIR/status. Cases run a few at a time: most of each run is
# start-up, which overlaps well.
play() {
  local dir=$1 program=${2:-$player}
  set +e
  (
    cd "$dir"
    [ $limit_memory -eq 1 ] && ulimit -v $((4 * 1024 * 1024))
    exec timeout -k 5 $run_timeout "$program" > out.txt 2> err.txt
  )
  echo $? > "$dir/status"
}
rejected=()
played=()
start_case() {
  local expect=$1 dir=$2
  shift 2
  while [ "$(jobs -rp | wc -l)" -ge 4 ]; do wait -n || true; done
  play "$dir" "$@" &
  if [ "$expect" = rejected ]; then rejected+=("$dir"); else played+=("$dir"); fi
}

# Checks every case started so far.
finish_cases() {
  wait
  local dir status
  for dir in "${rejected[@]}" "${played[@]}"; do
    status=$(cat "$dir/status")
    [ "$status" -ne 124 ] && [ "$status" -ne 137 ] || fail "$dir: did not end by itself within ${run_timeout}s"
    [ "$status" -lt 128 ] || { cat "$dir/err.txt" >&2; fail "$dir: ended by signal $((status - 128))"; }
  done
  for dir in "${rejected[@]}"; do
    status=$(cat "$dir/status")
    [ "$status" -ne 0 ] || fail "$dir: corrupt content played (status 0)"
    # Loaders may log on stderr before the error (model loading does); the
    # error itself is one line naming the player, and the last.
    [ "$(grep -c '^qvplayer: ' "$dir/err.txt")" -eq 1 ] && tail -n 1 "$dir/err.txt" | grep -q '^qvplayer: ' \
      || { cat "$dir/err.txt" >&2; fail "$dir: expected one line naming the player on stderr"; }
  done
  for dir in "${played[@]}"; do
    status=$(cat "$dir/status")
    [ "$status" -eq 0 ] || { cat "$dir/err.txt" "$dir/out.txt" >&2; fail "$dir: status $status"; }
  done
  rejected=()
  played=()
}

case_dir() {
  mkdir -p "$work/$1"
  echo "$work/$1"
}

# ---- reference content: the full test project without its font ---------------
python3 - "$src/tests/data/full_project/project.json" "$work/full.json" <<'EOF'
import json, sys
p = json.load(open(sys.argv[1]))
p.pop("fonts", None)
p["end_beat"] = 2
p["bpm"] = 240
json.dump(p, open(sys.argv[2], "w"))
EOF
cp -r "$src/tests/data/full_project/resources" "$work/"
"$tool" pack "$work/full.json" -o "$work/full.dat" > /dev/null
printf '{"music": "", "end_beat": 1, "bpm": 240, "beat_offset": 0}\n' > "$work/empty.json"
"$tool" pack "$work/empty.json" -o "$work/empty.dat" > /dev/null

# The reference plays.
d=$(case_dir reference); cp "$work/full.dat" "$d/content.dat"; start_case played "$d"

# ---- cut short at many offsets -----------------------------------------------
size=$(stat -c %s "$work/full.dat")
for cut in 0 7 9 333 2500 $((size / 2)) $((size - 100)) $((size - 13)) $((size - 1)); do
  d=$(case_dir "cut_$cut")
  head -c "$cut" "$work/full.dat" > "$d/content.dat"
  start_case rejected "$d"
done

# ---- forged numbers in a valid stream ------------------------------------------
# The empty project's stream: record count, eleven zero list counts, empty
# music, three floats, then the default graph with its one node. Python knows
# the layout up to the node's lists and writes one variant per forged field.
python3 - "$work/empty.dat" "$work" <<'EOF'
import os, struct, sys
stream = open(sys.argv[1], "rb").read()
out = sys.argv[2]

def scramble(data, seed=871):
    a, res = seed, bytearray()
    for b in data:
        a = 3 * a + 1 if a & 1 else a // 2
        if a == 1:
            a = seed
        res.append(b ^ (a & 0xFF))
    return bytes(res)

def varint(v):
    res = bytearray()
    while v >= 0x80:
        res.append((v & 0x7F) | 0x80)
        v >>= 7
    res.append(v)
    return bytes(res)

def u64(v):
    return struct.pack("<Q", v)

def write(name, data):
    os.makedirs(os.path.join(out, name), exist_ok=True)
    open(os.path.join(out, name, "content.dat"), "wb").write(data)

def patch(offset, value):
    return stream[:offset] + u64(value) + stream[offset + 8:]

lists, music = 8, 8 + 11 * 8
graph = music + 8 + 12
node_body = graph + 8 + 8 + 8
name_len_at = node_body + 12
(name_len,) = struct.unpack_from("<Q", stream, name_len_at)
inputs_at = name_len_at + 8 + name_len + 8
huge = 1 << 62

# The record count only drives the loading picture: valid, plays.
write("valid_record_count", patch(0, huge))
for i, what in enumerate(["events", "effects", "shaders", "textures", "samples", "groups", "fonts",
                          "font_textures", "datas", "models", "scenes"]):
    if what in ("events", "textures", "datas", "scenes"):
        write("count_" + what, patch(lists + 8 * i, huge))
write("count_music_bytes", patch(music, huge))
write("count_graph_nodes", patch(graph + 8, huge))
write("count_node_inputs", patch(inputs_at, huge))
write("count_node_input_ids", patch(inputs_at + 8, huge))
write("count_node_output_ids", patch(inputs_at + 16, huge))
# A stored string length of 2^60.
write("string_length", patch(name_len_at, 1 << 60))

# Replaces the node's type name by a message of our own.
def with_name(message):
    m = scramble(message)
    return stream[:name_len_at] + u64(len(m)) + m + stream[name_len_at + 8 + name_len:]

# A message declaring 2^60 bytes.
write("string_declares_2e60", with_name(varint(1 << 60) + varint(2 * 3 + 1) + b"abc"))
# A copy reaching before the start of the output (distance 5 at position 0).
write("string_copy_before_start", with_name(varint(10) + varint(5 * 16 | 1 * 2)))
# A copy writing past the declared length.
write("string_copy_past_end", with_name(varint(6) + varint(3) + b"a" + varint(1 * 16 | 7 * 2)))
# A varint that never ends.
write("string_endless_varint", with_name(b"\xff" * 20))
EOF
start_case played "$work/valid_record_count"
for d in "$work"/count_* "$work"/string_*; do
  start_case rejected "$d"
done

# ---- random bytes -------------------------------------------------------------
for n in 1 2; do
  d=$(case_dir "random_$n")
  head -c $((n * 3000)) /dev/urandom > "$d/content.dat"
  start_case rejected "$d"
done
# Random bytes behind a valid start: a plausible record count and lists.
d=$(case_dir random_tail)
{ head -c 200 "$work/full.dat"; head -c 5000 /dev/urandom; } > "$d/content.dat"
start_case rejected "$d"

# ---- content.dat that is not a file ---------------------------------------------
d=$(case_dir device); ln -s /dev/zero "$d/content.dat"; start_case rejected "$d"
d=$(case_dir fifo); mkfifo "$d/content.dat"; start_case rejected "$d"

# ---- a packed executable whose trailer claims more than the file ------------------
d=$(case_dir trailer)
"$tool" pack "$work/empty.json" --player "$player" -o "$d/demo" > /dev/null
python3 - "$d/demo" <<'EOF'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[-8:-4] = (0xFFFFFFF0).to_bytes(4, "little")
open(path, "wb").write(data)
EOF
start_case rejected "$d" ./demo
finish_cases
grep -q "message deemed too large" "$work/string_declares_2e60/err.txt" || fail "2^60 string: $(cat "$work/string_declares_2e60/err.txt")"
grep -q "Malformed data while uncompressing" "$work/string_copy_before_start/err.txt" || fail "copy before start"
grep -q "not a regular file: content.dat" "$work/device/err.txt" || fail "device content.dat: $(cat "$work/device/err.txt")"
grep -q "content trailer declares" "$work/trailer/err.txt" || fail "forged trailer: $(cat "$work/trailer/err.txt")"

# ---- valid but extreme content -----------------------------------------------------
python3 - "$src/tests/data/short_project/project.json" "$work" <<'EOF'
import base64, json, os, struct, sys, zlib
short = json.load(open(sys.argv[1]))
out = sys.argv[2]

def project(name, p):
    os.makedirs(os.path.join(out, name), exist_ok=True)
    json.dump(p, open(os.path.join(out, name, "project.json"), "w"))

# A fragment shader of 10 MB: the red shader behind a long run of comment lines.
big = json.loads(json.dumps(short))
source = big["shaders"][0]["fragment_shader_source"]
line = "// " + "padding " * 12 + "\n"
big["shaders"][0]["fragment_shader_source"] = source + line * (10_000_000 // len(line))
project("big_shader", big)

# A PNG of 1 x 100000 pixels, far past any GL texture size limit, drawn by
# the graph through a Texture node.
def png(width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes([(y * 7) & 0xFF, 0x80, 0x40]) * width for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))

tall = json.loads(json.dumps(short))
tall["textures"] = [{"name": "resources/tall.png", "image_buffer": base64.b64encode(png(1, 100000)).decode()}]
nodes = tall["graph"]["nodes"]
nodes.append({"id": 100, "entryID": 101, "exitID": 102, "def": "Texture", "selfActivating": True,
              "inputs": [{"hasValue": True, "value": {"type": 1, "value": 0}}], "inputIDs": [103],
              "outputIDs": [104], "connections": [{"id": 105, "dst": 106, "src_output_idx": 0, "dst_input_idx": 2},
                                                  {"id": 113, "dst": 106, "src_output_idx": -1, "dst_input_idx": -1}]})
nodes.append({"id": 106, "entryID": 107, "exitID": 108, "def": "Effect2D", "selfActivating": False,
              "inputs": [{"hasValue": True, "value": {"type": 1, "value": 0}},
                         {"hasValue": True, "value": {"type": 7, "value": [64, 36]}}, {"hasValue": False}],
              "inputIDs": [109, 110, 111], "outputIDs": [112], "connections": []})
project("tall_texture", tall)

# Activation links in a cycle (a node activating itself and a pair activating
# each other) and a node fanning out twice at every level.
cycle = json.loads(json.dumps(short))
nodes = cycle["graph"]["nodes"]
act = lambda link, dst: {"id": link, "dst": dst, "src_output_idx": -1, "dst_input_idx": -1}
nodes[0]["connections"] = [act(200, 1), act(201, 210)]
op = lambda node, links: {"id": node, "entryID": node + 1, "exitID": node + 2, "def": "Operator",
                          "selfActivating": False, "inputs": [], "inputIDs": [], "outputIDs": [],
                          "connections": links}
nodes.append(op(210, [act(203, 220), act(204, 220)]))
nodes.append(op(220, [act(205, 210), act(206, 210)]))
project("activation_cycle", cycle)
EOF
start=$(date +%s)
for name in big_shader tall_texture activation_cycle; do
  d="$work/$name"
  "$tool" pack "$d/project.json" -o "$d/content.dat" > /dev/null
  start_case played "$d"
done
finish_cases
elapsed=$(( $(date +%s) - start ))
[ $elapsed -lt 40 ] || fail "the extreme cases took ${elapsed}s to reach their end beat"
[ "$(stat -c %s "$work/big_shader/content.dat")" -lt 2000000 ] || fail "the 10 MB shader should compress"
echo "qvplayer hostile content: ok"
