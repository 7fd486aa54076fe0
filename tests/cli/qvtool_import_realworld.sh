#!/usr/bin/env bash
# The image shaders of the real-world set (../shared/realworld beside the
# source tree, or QV_REALWORLD): each compiles and draws after one
# import-shader, with its Common part where it has one, except the one that
# is broken where it came from (merge-conflict markers in its text). Skips
# when the set is not there.
source "$(dirname "$0")/lib/setup.bash" "$@"
set_dir=${QV_REALWORLD:-$src/../shared/realworld}
if [ ! -d "$set_dir/shaders" ]; then
  echo "qvtool import (real-world shaders): skipped, no $set_dir/shaders"
  exit 0
fi
need_display
cd "$work"
compiled=0 total=0
for shader in "$set_dir"/shaders/*.glsl; do
  name=$(basename "$shader" .glsl)
  case $name in *.common) continue ;; esac
  total=$((total + 1))
  common=()
  [ -f "$set_dir/shaders/$name.common.glsl" ] && common=(--common "$set_dir/shaders/$name.common.glsl")
  "$tool" import-shader "$shader" "$name/project.json" "${common[@]}" > /dev/null 2> "$name.warn" \
    || { cat "$name.warn"; fail "import of $name"; }
  "$tool" pack "$name/project.json" -o "$name.dat" > /dev/null
  "$tool" render "$name.dat" --beat 4 --size 32x18 -o "$name.png" > "$name.log" 2>&1 || { cat "$name.log"; fail "render $name"; }
  if grep -qi "error" "$name.log"; then
    grep -q '^<<<<<<<' "$shader" || { cat "$name.log"; fail "$name does not compile after import"; }
  else
    compiled=$((compiled + 1))
  fi
  # Samplers of a kind the player does not bind are named; plain ones are not.
  if grep -q "samplerCube\|sampler3D" "$name/resources/$name.frag"; then
    grep -q "as a cube map\|as a 3D texture" "$name.warn" || fail "$name: the unmapped sampler is not named"
  fi
done
[ "$total" -gt 0 ] || fail "no shaders in $set_dir/shaders"
echo "qvtool import (real-world shaders): $compiled of $total compile and draw: ok"
