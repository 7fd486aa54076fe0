# Sourced first by every test in tests/cli with the test's arguments (build
# folder, source folder): strict mode, absolute paths to the programs under
# test (the tests change directory), a scratch folder removed on exit, and
# the helpers every test uses.
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
player="$build/qvplayer"
tool="$build/qvtool"
work=$(mktemp -d)
# Commands run at exit, newest first, before the scratch folder goes.
at_exit=()
run_at_exit() {
  local i
  for ((i = ${#at_exit[@]} - 1; i >= 0; i--)); do eval "${at_exit[i]}" || true; done
  rm -rf "$work"
}
trap run_at_exit EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Starts an X server of the test's own (Xvfb), so tests run side by side
# without one's windows in another's screenshots or one moving another's
# pointer. Without Xvfb the display the test was given is used.
need_display() {
  if ! command -v Xvfb >/dev/null; then
    [ -n "${DISPLAY:-}" ] || fail "needs a display (install Xvfb or run under xvfb-run)"
    return 0
  fi
  Xvfb -displayfd 9 -screen 0 1920x1080x24 -nolisten tcp 9>"$work/display" >"$work/xvfb.log" 2>&1 &
  local pid=$! i
  # Not a job of the test: its own `wait`s and job counts leave the server out.
  disown $pid
  at_exit+=("kill $pid 2>/dev/null")
  for i in $(seq 1 400); do
    [ -s "$work/display" ] && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.05
  done
  [ -s "$work/display" ] || fail "no X server of the test's own: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n 1 "$work/display")"
  unset XAUTHORITY
}
