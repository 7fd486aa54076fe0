#!/usr/bin/env bash
# qvtool check, and its findings in pack and info: the sample and a new
# project are clean; a habit of lax drivers is an error at its file, line and
# column, in text and JSON, exit 1; pack warns after the media warnings and
# --strict writes nothing; bad arguments exit 2. Then every real-world image
# shader imported into one new project (skipped without the set): no crash,
# findings printed.
source "$(dirname "$0")/lib/setup.bash" "$@"
bash "$src/examples/sample/prepare.sh"
cd "$work"

"$tool" check "$src/examples/sample/project.json" > sample.txt || { cat sample.txt; fail "the sample is not clean"; }
grep -q "0 errors, 0 warnings" sample.txt || { cat sample.txt; fail "the sample has findings"; }

"$tool" new demo > /dev/null
"$tool" check demo/project.json > new.txt || { cat new.txt; fail "a new project is not clean"; }
grep -q "1 programs, 0 errors, 0 warnings" new.txt || { cat new.txt; fail "new project summary"; }

# One HLSL spelling on a known line, and a picture wider than common GPUs take.
frag=demo/resources/rings.frag
line=$(grep -n "void main\|mainImage" "$frag" | tail -1 | cut -d: -f1)
sed -i "${line}a\\    float lax_habit = saturate(0.5);" "$frag"
habit_line=$((line + 1))
"$tool" pack demo/project.json -o ok.dat 2> pack.err > /dev/null || { cat pack.err; fail "pack without --strict packs"; }
grep -q "^qvtool pack: warning: resources/rings.frag:$habit_line:23: error: 'saturate' : no matching overloaded function found (lax drivers accept HLSL's saturate(x); portable: clamp(x, 0.0, 1.0))$" pack.err \
  || { cat pack.err; fail "pack warns with the finding"; }
status=0
"$tool" pack demo/project.json -o strict.dat --strict 2> strict.err > /dev/null || status=$?
[ "$status" = 1 ] || fail "pack --strict exits 1 on a shader error, not $status"
[ ! -e strict.dat ] || fail "pack --strict wrote the content"
grep -q "nothing written" strict.err || { cat strict.err; fail "pack --strict says why"; }

"$tool" info ok.dat > info.txt
grep -q "^warning: resources/rings.frag:$habit_line:23: error: 'saturate'" info.txt || { cat info.txt; fail "info shows the finding"; }

status=0
"$tool" check demo/project.json > lax.txt || status=$?
[ "$status" = 1 ] || { cat lax.txt; fail "check exits 1 with an error, not $status"; }
grep -q "1 programs, 1 errors, 0 warnings" lax.txt || { cat lax.txt; fail "summary"; }
status=0
"$tool" check ok.dat --json > lax.json || status=$?
[ "$status" = 1 ] || fail "check --json of the content exits 1, not $status"
python3 - "$habit_line" <<'PY' || fail "--json findings"
import json, sys
d = json.load(open("lax.json"))
f = d["findings"]
assert d["errors"] == 1 and d["warnings"] == 0 and len(f) == 1, d
assert f[0] == {"record": "shader resources/rings.frag", "file": "resources/rings.frag", "line": int(sys.argv[1]),
                "column": 23, "severity": "error",
                "message": "'saturate' : no matching overloaded function found (lax drivers accept HLSL's saturate(x); portable: clamp(x, 0.0, 1.0))"}, f[0]
PY

for bad in "" "--json" "demo/project.json --bogus" "a.json b.json"; do
  status=0
  # shellcheck disable=SC2086
  "$tool" check $bad > /dev/null 2>&1 || status=$?
  [ "$status" = 2 ] || fail "check $bad exits 2, not $status"
done
status=0
"$tool" check missing.json > /dev/null 2> missing.err || status=$?
[ "$status" = 1 ] && [ "$(wc -l < missing.err)" = 1 ] || fail "a missing file: one line, exit 1"

set_dir=${QV_REALWORLD:-$src/../shared/realworld}
if [ ! -d "$set_dir/shaders" ]; then
  echo "qvtool check (real-world shaders): skipped, no $set_dir/shaders"
  exit 0
fi
"$tool" new world > /dev/null
total=0
for shader in "$set_dir"/shaders/*.glsl; do
  name=$(basename "$shader" .glsl)
  case $name in *.common) continue ;; esac
  common=()
  [ -f "$set_dir/shaders/$name.common.glsl" ] && common=(--common "$set_dir/shaders/$name.common.glsl")
  "$tool" import-shader "$shader" world/project.json "${common[@]}" > /dev/null 2>&1 || fail "import of $name"
  total=$((total + 1))
done
status=0
"$tool" check world/project.json > world.txt 2> world.err || status=$?
[ "$status" -le 1 ] || { cat world.err; fail "check of the real-world shaders ended with $status"; }
grep -q "^world/project.json: $((total + 1)) programs, [0-9]* errors, [0-9]* warnings$" world.txt \
  || { cat world.txt world.err; fail "check of the real-world shaders prints its summary"; }
echo "qvtool check (real-world shaders): $(tail -1 world.txt)"
