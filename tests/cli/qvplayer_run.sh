#!/usr/bin/env bash
# qvplayer end to end under Xvfb with SDL's dummy audio: it plays content.dat
# to the end beat and exits 0; without content it writes exactly one line to
# error.log and exits 1; corrupt content ends with one line and status 1; a
# packed executable plays with its final hold.
source "$(dirname "$0")/lib/setup.bash" "$@"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
need_display

"$tool" pack "$src/tests/data/short_project/project.json" -o "$work/content.dat" > /dev/null

# No content: error.log with the one line, status 1.
mkdir "$work/empty"
set +e
(cd "$work/empty" && timeout 60 "$player" > out.txt 2>&1)
status=$?
set -e
[ $status -eq 1 ] || fail "no content: status $status"
printf 'Cannot find DEMO in executable. Please follow the instructions in Quorvantile.\n' | cmp - "$work/empty/error.log" \
  || fail "error.log content"

# content.dat: plays until beat 2 at 240 bpm (0.5 s), then exits 0.
mkdir "$work/dat"
cp "$work/content.dat" "$work/dat/"
start=$(date +%s)
(cd "$work/dat" && timeout 60 "$player" > out.txt 2>&1) || { cat "$work/dat/out.txt"; fail "content.dat run failed"; }
grep -q "^OpenGL version: " "$work/dat/out.txt" || fail "GL information printed"
[ ! -e "$work/dat/error.log" ] || fail "error.log written although content was found"
elapsed=$(( $(date +%s) - start ))
[ $elapsed -lt 30 ] || fail "content.dat run took ${elapsed}s"

# Corrupt content: one line on stderr, status 1, no signal.
mkdir "$work/bad"
head -c 40 "$work/content.dat" > "$work/bad/content.dat"
set +e
(cd "$work/bad" && timeout 60 "$player" > out.txt 2> err.txt)
status=$?
set -e
[ $status -eq 1 ] || fail "corrupt content: status $status"
[ "$(wc -l < "$work/bad/err.txt")" -eq 1 ] || { cat "$work/bad/err.txt"; fail "corrupt content: one line"; }

# A packed executable: the final hold of about 4 s, then the demo, then exit 0.
mkdir "$work/exe"
"$tool" pack "$src/tests/data/short_project/project.json" --player "$player" -o "$work/exe/demo" > /dev/null
start=$(date +%s)
(cd "$work/exe" && timeout 60 ./demo > out.txt 2>&1) || { cat "$work/exe/out.txt"; fail "packed demo failed"; }
elapsed=$(( $(date +%s) - start ))
[ $elapsed -ge 4 ] || fail "packed demo skipped the final hold (${elapsed}s)"
echo "qvplayer: ok"
