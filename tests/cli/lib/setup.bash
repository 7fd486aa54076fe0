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
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
need_display() { [ -n "${DISPLAY:-}" ] || fail "needs a display (run under xvfb-run)"; }
