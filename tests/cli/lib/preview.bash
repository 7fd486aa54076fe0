# Helpers for tests that drive `qvtool preview --control -`: start it on a
# fifo, send a command, wait for its JSON answer. Every wait is capped.

# start_preview ARGS...: runs the preview in the background; its answers go
# to $work/preview.out, everything else to $work/preview.err.
start_preview() {
  rm -f "$work/preview.in" "$work/preview.out"
  mkfifo "$work/preview.in"
  # Made before the preview starts and appended to, so counting answers
  # never races with the shell opening it.
  : > "$work/preview.out"
  "$tool" preview "$@" --control - < "$work/preview.in" >> "$work/preview.out" 2> "$work/preview.err" &
  preview_pid=$!
  exec 3> "$work/preview.in"
  if [ -z "${preview_at_exit:-}" ]; then
    at_exit+=('exec 3>&-; kill $preview_pid 2>/dev/null')
    preview_at_exit=1
  fi
}

# ask COMMAND: sends it and prints its answer (the next JSON line).
ask() {
  local before lines i
  before=$(grep -c '^{' "$work/preview.out" || true)
  before=${before:-0}
  echo "$1" >&3
  # Generous: a sanitizer build on a loaded machine loads the sample slowly.
  for i in $(seq 1 2400); do
    lines=$(grep -c '^{' "$work/preview.out" || true)
    if [ "${lines:-0}" -gt "$before" ]; then
      grep '^{' "$work/preview.out" | sed -n "$((before + 1))p"
      return 0
    fi
    kill -0 $preview_pid 2>/dev/null || { cat "$work/preview.err" >&2; fail "the preview ended while asked '$1'"; }
    sleep 0.05
  done
  fail "no answer to '$1' within 120 s"
}

# field JSON KEY: one value of an answer (python keeps this exact).
field() {
  python3 -c 'import json, sys
v = json.loads(sys.argv[1])
for k in sys.argv[2].split("."):
    v = v[int(k)] if k.isdigit() else v[k]
print(v if isinstance(v, str) else json.dumps(v))' "$1" "$2"
}

# until_status PYTHON_CONDITION: polls `status` (s is the answer) until the
# condition holds; prints the answer. Fails after 20 s.
until_status() {
  local s i
  for i in $(seq 1 100); do
    s=$(ask status)
    if python3 -c 'import json,sys; s=json.loads(sys.argv[1]); sys.exit(0 if ('"$1"') else 1)' "$s"; then
      echo "$s"
      return 0
    fi
    sleep 0.2
  done
  fail "status never met: $1 (last: $s)"
}

# pixel PNG X Y: "R,G,B" of one pixel.
pixel() { /usr/bin/convert "$1" -format '%[fx:int(255*p{'"$2,$3"'}.r)],%[fx:int(255*p{'"$2,$3"'}.g)],%[fx:int(255*p{'"$2,$3"'}.b)]' info:; }

stop_preview() {
  ask quit > /dev/null
  exec 3>&-
  local i
  for i in $(seq 1 100); do kill -0 $preview_pid 2>/dev/null || break; sleep 0.1; done
  wait $preview_pid || fail "the preview exited with status $?"
}
