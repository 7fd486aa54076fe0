#!/usr/bin/env bash
# scripts/render-farm with two local workers: the joined video has the frames
# of a render of the same range on one machine, with no gap or repeat where
# the parts meet, and the same sound; parts sent to a remote host (through a
# stand-in for ssh) come back the same; a part that fails leaves no video and
# no working folder behind.
source "$(dirname "$0")/lib/setup.bash" "$@"
compare="python3 $src/tests/cli/lib/raw_compare.py"
farm="$src/scripts/render-farm"

bash "$src/examples/sample/prepare.sh" > /dev/null
"$tool" pack "$src/examples/sample/project.json" -o "$work/sample.dat" > /dev/null
cd "$work"
echo "2/:" > hosts
# 17 frames in three parts of 5, 6 and 6: two joins, neither on a part's
# natural keyframe interval.
range=(--from 8 --to 12 --fps 8 --size 96x54)

QVTOOL="$tool" "$farm" sample.dat farm.mp4 --hosts hosts "${range[@]}" --parts 3 > farm.log 2>&1 \
  || { cat farm.log >&2; fail "the farm render"; }
"$tool" render sample.dat "${range[@]}" -o single.mp4 > /dev/null 2>&1 || fail "the single render"

probe() { ffprobe -v error -count_frames -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"; }
[ "$(probe farm.mp4 v codec_name,width,height,nb_read_frames)" = "h264,96,54,17" ] \
  || fail "joined video: $(probe farm.mp4 v codec_name,width,height,nb_read_frames)"
# Frame times run on evenly: a join adds no gap and no repeat in time either.
times=$(ffprobe -v error -select_streams v -show_entries frame=pts_time -of csv=p=0 farm.mp4 | sort -n | tr '\n' ' ')
awk -v t="$times" 'BEGIN { n = split(t, a, " "); for (i = 1; i <= n; ++i) if ((a[i] - (i - 1) / 8) ^ 2 > 1e-6) exit 1 }' \
  || fail "frame times of the joined video: $times"

ffmpeg -v error -i farm.mp4 -f rawvideo -pix_fmt rgb24 farm.rgb
ffmpeg -v error -i single.mp4 -f rawvideo -pix_fmt rgb24 single.rgb
$compare frames farm.rgb single.rgb 96 54 4 > cmp.txt || { cat cmp.txt >&2; fail "joined frames against the single render"; }
ffmpeg -v error -i farm.mp4 -map 0:a -f s16le farm.s16
ffmpeg -v error -i single.mp4 -map 0:a -f s16le single.s16
cmp farm.s16 single.s16 || fail "the joined video's sound differs from the single render's"

# Remote hosts: Parallel's ssh is stood in for by a script that runs the
# command line in a folder of its own, as a login on another machine would, so
# the content goes there and the parts come back through rsync for real. The
# result is the same video, and the "remote" folder is left empty.
mkdir remote
cat > fake-ssh <<EOF2
#!/usr/bin/env bash
while [ \$# -gt 0 ]; do
  case \$1 in -l | -p | -o | -S | -i | -F) shift 2 ;; -*) shift ;; *) break ;; esac
done
shift
[ "\${1:-}" = "--" ] && shift
# A login sets SHELL, and Parallel's worker on the far side runs the job with
# it: without it the job does nothing and still succeeds.
export SHELL=/bin/bash
cd "$work/remote" && exec bash -c "\$*"
EOF2
chmod +x fake-ssh
echo "2/renderbox" > remote-hosts
PARALLEL_SSH="$work/fake-ssh" QVTOOL="$tool" "$farm" sample.dat remote.mp4 --hosts remote-hosts "${range[@]}" \
  --parts 3 > remote.log 2>&1 || { cat remote.log >&2; fail "the farm render on a remote host"; }
ffmpeg -v error -i remote.mp4 -f rawvideo -pix_fmt rgb24 remote.rgb
cmp remote.rgb farm.rgb || fail "parts rendered remotely differ from parts rendered here"
[ -z "$(ls -A remote)" ] || fail "the remote host keeps $(ls -A remote)"

# A part that fails: the farm fails, and leaves neither video nor folder.
mkdir out
cat > flaky <<EOF2
#!/usr/bin/env bash
case "\$*" in *"--part 2/"*) echo "part 2 breaks" >&2; exit 1 ;; esac
exec "$tool" "\$@"
EOF2
chmod +x flaky
set +e
QVTOOL="$work/flaky" "$farm" sample.dat out/farm.mp4 --hosts hosts "${range[@]}" --parts 3 > /dev/null 2> err
status=$?
set -e
[ $status -ne 0 ] || fail "a failed part gives status 0"
grep -q "part 2 breaks" err || { cat err >&2; fail "the part's own complaint is shown"; }
[ -z "$(ls -A out)" ] || fail "a failed farm leaves $(ls -A out) behind"
echo "render-farm: ok"
