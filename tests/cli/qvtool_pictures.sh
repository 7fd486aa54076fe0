#!/usr/bin/env bash
# qvtool graph and qvtool timeline end to end: usage errors, the pictures of a
# project with every kind of record (Graphviz must read the DOT file, the SVG
# must be well-formed XML, marks and labels must be there), and the sample
# demo, which must prepare, pack without warnings and draw.
source "$(dirname "$0")/lib/setup.bash" "$@"

# Runs a command that must fail with STATUS and print exactly one line.
expect_status() {
  local status=$1
  shift
  set +e
  "$@" > /dev/null 2> "$work/err"
  local got=$?
  set -e
  [ $got -eq "$status" ] || fail "$* exited $got, expected $status"
  [ "$(wc -l < "$work/err")" -eq 1 ] || { cat "$work/err"; fail "$* must print one line"; }
}

well_formed_xml() {
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$1" || fail "$1 is not well-formed XML"
}

# Graphviz reads the file without a word of complaint; the drawing goes to $2.
dot_reads() {
  dot -Tsvg "$1" -o "$2" 2> "$work/dot_err" || { cat "$work/dot_err"; fail "dot rejects $1"; }
  [ ! -s "$work/dot_err" ] || { cat "$work/dot_err"; fail "dot complains about $1"; }
}

# ---------------------------------------------------------------- usage
"$tool" --help | grep -q "graph " || fail "--help lists no graph"
"$tool" --help | grep -q "timeline " || fail "--help lists no timeline"
"$tool" graph --help | grep -q "usage: qvtool graph FILE -o graph.dot" || fail "graph --help"
"$tool" timeline --help | grep -q "usage: qvtool timeline FILE -o timeline.svg" || fail "timeline --help"
for command in graph timeline; do
  expect_status 2 "$tool" $command
  expect_status 2 "$tool" $command "$work/a.dat"
  expect_status 2 "$tool" $command "$work/a.dat" -o
  expect_status 2 "$tool" $command "$work/a.dat" "$work/b.dat" -o "$work/out"
  expect_status 2 "$tool" $command --frobnicate "$work/a.dat" -o "$work/out"
  expect_status 1 "$tool" $command "$work/missing.dat" -o "$work/out"
done

# ---------------------------------------------------------------- a full project
cp -r "$src/tests/data/full_project" "$work/project"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$work/project/resources/"
"$tool" pack "$work/project/project.json" -o "$work/content.dat" > /dev/null
"$tool" graph "$work/content.dat" -o "$work/graph.dot" > /dev/null
"$tool" timeline "$work/content.dat" -o "$work/timeline.svg" > /dev/null
dot_reads "$work/graph.dot" "$work/graph.svg"
well_formed_xml "$work/timeline.svg"

# Standard output gives the same text as the file.
"$tool" graph "$work/content.dat" -o - | cmp - "$work/graph.dot" || fail "graph -o - differs from the file"
"$tool" timeline "$work/content.dat" -o - | cmp - "$work/timeline.svg" || fail "timeline -o - differs"

# A packed executable draws the same pictures as its content.
cp /bin/true "$work/player"
"$tool" pack "$work/project/project.json" --player "$work/player" -o "$work/demo" > /dev/null
"$tool" timeline "$work/demo" -o "$work/demo.svg" > /dev/null
cmp <(grep -v 'class="title"' "$work/demo.svg") <(grep -v 'class="title"' "$work/timeline.svg") > /dev/null ||
  fail "the timeline of the packed demo differs from that of its content"

# What Graphviz drew: the labels, values, marks and link labels, read back.
python3 - "$work/graph.svg" "$work/graph.dot" <<'EOF' || fail "graph picture"
import sys, xml.dom.minidom
doc = xml.dom.minidom.parse(sys.argv[1])
texts = [t.firstChild.data for t in doc.getElementsByTagName("text") if t.firstChild]
dot = open(sys.argv[2]).read()
def need(cond, what):
    if not cond:
        sys.exit("missing: " + what + "\n" + "\n".join(texts))
for label in ["Time", "Flash (event)", "Wave (shader)", "Operator", "FontTexture", "IVec2", "Note", "World (scene)"]:
    need(label in texts, label)
for value in ["op = 2 (a * b)", "a = 0.5", 'text = "hello"', "font_texture = 0 (title)", "x = 640",
              "internal = false", "gain = 1", 'note = "every kind of record"', "position = (0, 1, 4)"]:
    need(value in texts, value)
need("#3 \u00b7 root" in texts, "the root mark on the shader node")
need("#1 \u00b7 self-activating" in texts and "#2 \u00b7 self-activating" in texts, "self-activating marks")
for link in ["currentBeat -> time", "fract -> a", "gain -> gain", "caption -> text"]:
    need(link in texts, "data link " + link)
need("Legend" in texts, "the legend")
activation = [l for l in dot.splitlines() if "dashed,bold" in l and "legend" not in l]
need(len(activation) == 1 and activation[0].strip().startswith("n2:h:e -> n5:h:w"), "one dashed activation link")
EOF

python3 - "$work/timeline.svg" <<'EOF' || fail "timeline picture"
import sys, xml.dom.minidom
doc = xml.dom.minidom.parse(sys.argv[1])
def need(cond, what):
    if not cond:
        sys.exit("missing: " + what)
events = doc.getElementsByTagName("g")
rows = [g for g in events if g.getAttribute("class") == "event"]
need(len(rows) == 4, "one row per event")
names = [[t.firstChild.data for t in g.getElementsByTagName("text") if t.getAttribute("class") == "name"][0] for g in rows]
need(names == ["fxev", "hit", "grp", "flash"], "event names in stored order: %r" % names)
def bars(g):
    return [r for r in g.getElementsByTagName("rect") if r.getAttribute("rx")]
need(all(len(bars(g)) == 1 for g in rows), "one bar per event")
need(bars(rows[1])[0].getAttribute("stroke-dasharray"), "the hidden event is drawn dashed")
# Beats 0..32 span the plot; a bar's width follows its span.
fx, grp = bars(rows[0])[0], bars(rows[2])[0]
need(abs(2 * float(fx.getAttribute("width")) - float(grp.getAttribute("width"))) < 0.2, "8 beats are half of 16")
flash = rows[3]
need(len(flash.getElementsByTagName("circle")) == 3, "three numeric control points")
diamonds = [p for p in flash.getElementsByTagName("path") if p.getAttribute("class") == "textpoint"]
need(len(diamonds) == 1 and "Beat <IBEAT>" in diamonds[0].getElementsByTagName("title")[0].firstChild.data,
     "one text point with its text")
# The point at beat 4 of an event starting at 0 sits in the middle of the 0..8 bar.
middle = float(fx.getAttribute("x")) + float(fx.getAttribute("width")) / 2
need(abs(float(flash.getElementsByTagName("circle")[1].getAttribute("cx")) - middle) < 0.2, "point placement")
ends = [l for l in doc.getElementsByTagName("line") if l.getAttribute("class") == "end"]
need(any(l.getElementsByTagName("title") and l.getElementsByTagName("title")[0].firstChild.data == "end beat 32"
         for l in ends), "the end beat line")
EOF

# Truncated content fails cleanly, with one line.
head -c 300 "$work/content.dat" > "$work/cut.dat"
expect_status 1 "$tool" graph "$work/cut.dat" -o "$work/cut.dot"
expect_status 1 "$tool" timeline "$work/cut.dat" -o "$work/cut.svg"
# So does an output that cannot be written.
expect_status 1 "$tool" graph "$work/content.dat" -o "$work/no/such/folder/graph.dot"

# ---------------------------------------------------------------- the sample demo
cp -r "$src/examples/sample" "$work/sample"
rm -f "$work/sample/resources/music.mp3" "$work/sample/resources/noise.png"
bash "$work/sample/prepare.sh"
python3 "$src/examples/sample/make_project.py" --check || fail "project.json is not what make_project.py writes"
python3 - "$work/sample/resources/music.mp3" <<'EOF' || fail "sample music"
import os, sys, wave
w = wave.open(sys.argv[1])
seconds = w.getnframes() / w.getframerate()
assert w.getsampwidth() == 2 and w.getframerate() in (22050, 44100), "16-bit at 22.05 or 44.1 kHz"
assert 30 <= seconds <= 45, "length %.1f s" % seconds
assert os.path.getsize(sys.argv[1]) < 2_000_000, "under 2 MB"
EOF
"$tool" pack "$work/sample/project.json" -o "$work/sample.dat" > /dev/null
"$tool" info "$work/sample.dat" > "$work/sample_info.txt"
if grep -q "^warning" "$work/sample_info.txt"; then cat "$work/sample_info.txt"; fail "the sample packs with warnings"; fi
grep -q "tempo 120 bpm" "$work/sample_info.txt" || fail "sample tempo"
"$tool" graph "$work/sample.dat" -o "$work/sample.dot" > /dev/null
"$tool" timeline "$work/sample.dat" -o "$work/sample_timeline.svg" > /dev/null
dot_reads "$work/sample.dot" "$work/sample_graph.svg"
well_formed_xml "$work/sample_timeline.svg"
grep -q "(event)" "$work/sample_graph.svg" || fail "the sample graph shows its event nodes"
echo "qvtool graph/timeline and the sample: ok"
