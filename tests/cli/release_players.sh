#!/usr/bin/env bash
# The release players (scripts/build-players) where demos are shown.
#  - What they ask of the system: the Linux player's NEEDED entries and glibc
#    symbol versions, the Windows player's imported DLLs and GUI subsystem.
#  - qvtool release of the sample (cut to 4 s) writes both players with the
#    content at their ends, and the note beside them.
#  - The Linux player in a plain Debian 12 desktop root (scripts/desktop-root)
#    and the Windows player under Wine, both on this display: the sample plays
#    to its end with status 0 and SDL's disk driver records its music;
#    without content, error.log holds the one line; a still picture packed
#    with `pack --player` looks the same from both.
source "$(dirname "$0")/lib/setup.bash" "$@"
need_display
players=$src/dist/players
linux_player=$players/linux-x86_64/qvplayer
windows_player=$players/windows-x86_64/qvplayer.exe
if [ ! -f "$linux_player" ] || [ ! -f "$windows_player" ]; then
  echo "SKIP: no release players in $players (run scripts/build-players)"
  exit 77
fi
cache=${QV_PLAYER_CACHE:-$src/.cache/players}
missing_line='Cannot find DEMO in executable. Please follow the instructions in Quorvantile.'

# --- What the players need from the machine they start on.
readelf -d "$linux_player" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' > "$work/needed.txt"
while read -r lib; do
  case $lib in
    libc.so.6 | libm.so.6 | libmvec.so.1 | libdl.so.2 | libpthread.so.0 | librt.so.1 | ld-linux-x86-64.so.2) ;;
    libGL.so.1 | libOpenGL.so.0 | libGLX.so.0 | libEGL.so.1) ;;
    *) fail "the Linux player needs $lib, which a plain desktop lacks" ;;
  esac
done < "$work/needed.txt"
objdump -T "$linux_player" | grep -oE '\((GLIBC|GLIBCXX|CXXABI|GCC)_[0-9.]+\)' | tr -d '()' | sort -u > "$work/versions.txt"
while read -r version; do
  case $version in
    GLIBC_*) [ "$(printf '%s\nGLIBC_2.34\n' "$version" | sort -V | tail -n1)" = GLIBC_2.34 ] ||
      fail "the Linux player asks for $version (2.34 at most)" ;;
    *) fail "the Linux player asks for $version: the C++ runtime is not linked in" ;;
  esac
done < "$work/versions.txt"
objdump -p "$windows_player" > "$work/pe.txt"
grep -q 'Subsystem.*Windows GUI' "$work/pe.txt" || fail "qvplayer.exe is not a GUI program (a console would open)"
sed -n 's/^[[:space:]]*DLL Name: //p' "$work/pe.txt" | tr 'A-Z' 'a-z' > "$work/dlls.txt"
while read -r dll; do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | winmm.dll | imm32.dll | ole32.dll | oleaut32.dll) ;;
    version.dll | setupapi.dll | shell32.dll | advapi32.dll | msvcrt.dll) ;;
    *) fail "qvplayer.exe imports $dll, which Windows does not ship" ;;
  esac
done < "$work/dlls.txt"

# --- The sample, cut to 8 beats (4 s), released; and a still picture.
cp -r "$src/examples/sample" "$work/sample"
bash "$work/sample/prepare.sh"
python3 - "$work/sample/project.json" <<'EOF'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["end_beat"] = 8
json.dump(doc, open(sys.argv[1], "w"))
EOF
"$tool" release "$work/sample/project.json" -o "$work/release" --players "$players" > "$work/release.out" ||
  fail "qvtool release"
for f in sample sample.exe; do
  [ "$(tail -c 4 "$work/release/$f")" = DEMO ] || fail "$f does not end with the content trailer"
  "$tool" info "$work/release/$f" > "$work/info.txt" && grep -q 'tempo 120 bpm' "$work/info.txt" ||
    fail "qvtool info does not read the content of $f"
done
[ -x "$work/release/sample" ] || fail "the Linux demo is not executable"
grep -q 'Windows 10' "$work/release/sample.txt" && grep -q 'glibc 2.34' "$work/release/sample.txt" &&
  grep -q '^Length: 0:04' "$work/release/sample.txt" || { cat "$work/release/sample.txt" >&2; fail "sample.txt"; }
"$tool" release "$work/sample/project.json" -o "$work/none" --players "$work/nowhere" 2> "$work/none.err" &&
  fail "release without players succeeds"
grep -q 'run scripts/build-players' "$work/none.err" || fail "missing players are not told: $(cat "$work/none.err")"

# A picture that does not change with time: colour by position only.
mkdir -p "$work/still/resources"
cp "$work/sample/resources/music.mp3" "$work/still/resources/"
cat > "$work/still/project.json" <<'EOF'
{
  "end_beat": 6, "bpm": 60, "beat_offset": 0,
  "shaders": [
    {"vertex_shader_filename": "s.vert", "fragment_shader_filename": "s.frag",
     "vertex_shader_source": "#version 150\nin vec3 vp;\nvoid main() { gl_Position = vec4(vp, 1.0); }\n",
     "fragment_shader_source": "#version 150\nout vec4 c;\nvoid main() {\n  vec2 p = gl_FragCoord.xy;\n  c = vec4(fract(p.x / 480.0), fract(p.y / 270.0), step(0.5, fract((p.x + p.y) / 64.0)), 1.0);\n}\n",
     "uniform_defs": []}
  ],
  "graph": {"root": 1, "nodes": [
    {"id": 1, "entryID": 10, "exitID": 11, "def": "s.frag", "selfActivating": false,
     "inputs": [{"hasValue": false}, {"hasValue": false}, {"hasValue": true, "value": {"type": 0, "value": false}}],
     "inputIDs": [15, 16, 17], "outputIDs": [19], "connections": []}
  ]}
}
EOF
"$tool" pack "$work/still/project.json" --player "$linux_player" -o "$work/still/still" > /dev/null
"$tool" pack "$work/still/project.json" --player "$windows_player" -o "$work/still/still.exe" > /dev/null

# Captures one screen row while a player shows the still picture: the first
# capture whose left pixel is the picture's (not the loading screen's).
capture_still() {
  local pid=$1 out=$2 n=0
  while kill -0 "$pid" 2>/dev/null && [ $n -lt 100 ]; do
    if xwd -root -silent -display "$DISPLAY" 2>/dev/null |
      python3 "$src/tests/cli/lib/xwd_row.py" 0 300 1920 > "$out.tmp" 2>/dev/null &&
      python3 - "$out.tmp" <<'EOF'; then
import sys
rows = [list(map(int, l.split())) for l in open(sys.argv[1]) if l.strip()]
# Red rises along x every 480 pixels: 53 at column 100, 11 at column 500.
sys.exit(0 if len(rows) == 1920 and abs(rows[100][0] - 53) < 8 and abs(rows[500][0] - 11) < 8 else 1)
EOF
      mv "$out.tmp" "$out"
      return 0
    fi
    n=$((n + 1))
    sleep 0.1
  done
  return 1
}

# The music the players should have recorded: the sample's own, whose loudness
# over 0.1 s steps must follow that of the recording.
check_recording() {
  python3 - "$1" "$work/sample/resources/music.mp3" <<'EOF'
import struct, sys, wave
rec = open(sys.argv[1], "rb").read()
left = struct.unpack(f"<{len(rec) // 2}h", rec[: len(rec) // 2 * 2])[0::2]
with wave.open(sys.argv[2]) as w:
    rate, ch, frames = w.getframerate(), w.getnchannels(), w.readframes(w.getnframes())
src = struct.unpack(f"<{len(frames) // 2}h", frames)[0::ch]
def envelope(s, r):
    step = r // 10
    return [sum(abs(v) for v in s[i:i + step]) / step for i in range(0, len(s) - step, step)]
# Both from their first audible sample: the recording begins with the
# loading screen's silence.
start = next((i for i, v in enumerate(left) if abs(v) > 200), None)
if start is None:
    sys.exit("the recording is silent")
src_start = next((i for i, v in enumerate(src) if abs(v) > 200), 0)
a = envelope(left[start:], 44100)
b = envelope(src[src_start:], rate)[: len(a)]
n = min(len(a), len(b))
if n < 25:
    sys.exit(f"only {n / 10:.1f} s of music recorded")
a, b = a[:n], b[:n]
ma, mb = sum(a) / n, sum(b) / n
cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
va = sum((x - ma) ** 2 for x in a) ** 0.5
vb = sum((y - mb) ** 2 for y in b) ** 0.5
r = cov / (va * vb) if va and vb else 0
print(f"recording: {n / 10:.1f} s of music, loudness follows the sample's with r = {r:.2f}")
if r < 0.8:
    sys.exit("the recording does not follow the sample's music")
EOF
}

# --- The Linux player in a plain desktop root, drawing on this display.
desktop=$("$src/scripts/desktop-root")
xauth_file=${XAUTHORITY:-}
[ -n "$xauth_file" ] && cp "$xauth_file" "$work/xauth"
mkdir -p "$work/linux/empty" "$work/linux/play"
cp "$work/release/sample" "$work/linux/play/"
cp "$work/still/still" "$work/linux/play/"
cp "$linux_player" "$work/linux/empty/"
# A private mount namespace: the bind mounts go away with the process.
in_desktop() {
  local dir=$1
  shift
  unshare --mount --propagation private sh -c '
    root=$1 work=$2 dir=$3
    shift 3
    mkdir -p "$root/w" "$root/tmp/.X11-unix"
    mount --bind "$work" "$root/w"
    mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    mount -t proc proc "$root/proc"
    mount --bind /dev "$root/dev"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/w DISPLAY="$DISPLAY" XAUTHORITY=/w/xauth \
      SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/w/linux/recorded.raw sh -c "cd /w/$dir && exec \"\$@\"" sh "$@"
  ' sh "$desktop" "$work" "$dir" "$@"
}
set +e
in_desktop linux/empty timeout -k 5 30 ./qvplayer > "$work/linux/empty.out" 2>&1
set -e
[ "$(cat "$work/linux/empty/error.log" 2>/dev/null)" = "$missing_line" ] ||
  { cat "$work/linux/empty.out" >&2; fail "Linux, no content: error.log lacks the line"; }
in_desktop linux/play timeout -k 5 60 ./sample > "$work/linux/sample.out" 2>&1 ||
  { cat "$work/linux/sample.out" >&2; fail "Linux: the sample did not play to its end with status 0"; }
check_recording "$work/linux/recorded.raw" || fail "Linux: recorded music"
in_desktop linux/play timeout -k 5 60 ./still > "$work/linux/still.out" 2>&1 &
pid=$!
capture_still $pid "$work/linux/still.row" || { wait $pid || true; cat "$work/linux/still.out" >&2; fail "Linux: no still picture"; }
wait $pid || fail "Linux: still picture status"

# --- The Windows player under Wine, from a folder with non-ASCII letters.
export WINEPREFIX=$cache/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
if [ ! -f "$WINEPREFIX/.managed" ]; then
  mkdir -p "$WINEPREFIX"
  # Without a window manager, unmanaged windows close at once instead of
  # after a two-second wait.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.managed"
fi
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/windows/recorded.raw
play_dir="$work/windows/Démo für Ünïcode"
mkdir -p "$work/windows/empty" "$play_dir"
cp "$windows_player" "$work/windows/empty/"
cp "$work/release/sample.exe" "$work/still/still.exe" "$play_dir/"
set +e
(cd "$work/windows/empty" && timeout -k 5 60 wine qvplayer.exe > ../empty.out 2>&1)
wineserver -w
set -e
[ "$(cat "$work/windows/empty/error.log" 2>/dev/null)" = "$missing_line" ] ||
  { cat "$work/windows/empty.out" >&2; fail "Windows, no content: error.log lacks the line"; }
(cd "$play_dir" && timeout -k 5 60 wine sample.exe > ../sample.out 2>&1) ||
  { cat "$work/windows/sample.out" >&2; fail "Windows: the sample did not play to its end with status 0"; }
wineserver -w
grep -q '^OpenGL version' "$work/windows/sample.out" || fail "Windows: standard output did not reach the file"
check_recording "$work/windows/recorded.raw" || fail "Windows: recorded music"
(cd "$play_dir" && exec timeout -k 5 60 wine still.exe > ../still.out 2>&1) &
pid=$!
capture_still $pid "$work/windows/still.row" || { wait $pid || true; fail "Windows: no still picture"; }
wait $pid || fail "Windows: still picture status"
wineserver -w

python3 - "$work/linux/still.row" "$work/windows/still.row" <<'EOF' || fail "the still pictures differ"
import sys
a = [list(map(int, l.split())) for l in open(sys.argv[1])]
b = [list(map(int, l.split())) for l in open(sys.argv[2])]
diff = sum(abs(x - y) for p, q in zip(a, b) for x, y in zip(p, q)) / (3 * len(a))
worst = max(abs(x - y) for p, q in zip(a, b) for x, y in zip(p, q))
print(f"still picture: mean difference {diff:.2f}, largest {worst}")
sys.exit(0 if len(a) == len(b) and diff < 2 and worst < 16 else 1)
EOF
echo "release players: ok"
