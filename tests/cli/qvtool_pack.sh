#!/usr/bin/env bash
# qvtool end to end: help and usage errors, the codec commands, and
# pack -> info -> unpack -> pack giving the same bytes on a project with every
# kind of record, also through a packed executable.
source "$(dirname "$0")/lib/setup.bash" "$@"

"$tool" --help | grep -q "pack" || fail "--help lists no pack"
"$tool" pack --help | grep -q "usage: qvtool pack" || fail "pack --help"
set +e
"$tool" frobnicate 2>"$work/err"; [ $? -eq 2 ] || fail "unknown command must exit 2"
[ "$(wc -l < "$work/err")" -eq 1 ] || fail "unknown command must print one line"
"$tool" pack 2>/dev/null; [ $? -eq 2 ] || fail "pack without project must exit 2"
"$tool" compress extra 2>/dev/null; [ $? -eq 2 ] || fail "compress with an argument must exit 2"
"$tool" pack "$work/missing.json" -o "$work/x.dat" 2>/dev/null; [ $? -eq 1 ] || fail "missing project must exit 1"
set -e

# Codec round trip.
head -c 200000 "$tool" > "$work/blob"
"$tool" compress < "$work/blob" > "$work/blob.msg"
"$tool" decompress < "$work/blob.msg" | cmp - "$work/blob" || fail "compress/decompress round trip"
printf 'abc' | "$tool" compress | od -An -tx1 | tr -d ' \n' | grep -qx "0307616263" || fail "abc encodes as 03 07 abc"

# A project with every kind of record.
cp -r "$src/tests/data/full_project" "$work/project"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf "$work/project/resources/"
"$tool" pack "$work/project/project.json" -o "$work/content.dat" > /dev/null
"$tool" info "$work/content.dat" > "$work/info.txt"
grep -q "events 4, effects 2, shaders 2, textures 1, audio samples 1, event groups 1" "$work/info.txt" || { cat "$work/info.txt"; fail "info counts"; }
grep -q "fonts 1, font textures 1, datas 1, models 1, scenes 2" "$work/info.txt" || fail "info counts (2)"
grep -q "tempo 120 bpm" "$work/info.txt" || fail "info tempo"
if grep -q "^warning" "$work/info.txt"; then cat "$work/info.txt"; fail "a complete project gives no warnings"; fi

"$tool" unpack "$work/content.dat" -o "$work/unpacked" > /dev/null
[ -f "$work/unpacked/resources/music.mp3" ] || fail "unpack writes the music"
[ -f "$work/unpacked/resources/tri.gltf.glb" ] || fail "a .gltf model is stored as .glb"
"$tool" pack "$work/unpacked/project.json" -o "$work/again.dat" > /dev/null
cmp "$work/content.dat" "$work/again.dat" || fail "pack(unpack(content)) differs from content"

# A packed executable carries the same content and unpacks to it.
cp /bin/true "$work/player"
"$tool" pack "$work/project/project.json" --player "$work/player" -o "$work/demo" > /dev/null
[ -x "$work/demo" ] || fail "packed demo is executable"
[ "$(tail -c 4 "$work/demo")" = "DEMO" ] || fail "trailer ends in DEMO"
"$tool" unpack "$work/demo" -o "$work/from_exe" > /dev/null
"$tool" pack "$work/from_exe/project.json" -o "$work/from_exe.dat" > /dev/null
cmp "$work/content.dat" "$work/from_exe.dat" || fail "content from the executable differs"
# Packing onto a packed demo replaces its content instead of nesting it.
"$tool" pack "$work/project/project.json" --player "$work/demo" -o "$work/demo2" > /dev/null
cmp "$work/demo" "$work/demo2" || fail "repacking a packed demo nests content"

# Truncated and corrupt content: one line, status 1, at many cut points.
size=$(stat -c %s "$work/content.dat")
for cut in 0 7 8 20 100 1000 $((size / 2)) $((size - 13)) $((size - 1)); do
  head -c "$cut" "$work/content.dat" > "$work/cut.dat"
  set +e
  "$tool" info "$work/cut.dat" > /dev/null 2> "$work/err"
  status=$?
  set -e
  [ $status -eq 1 ] || fail "truncated at $cut: status $status"
  [ "$(wc -l < "$work/err")" -eq 1 ] || { cat "$work/err"; fail "truncated at $cut: one line"; }
done
echo "qvtool pack/unpack/info: ok"
