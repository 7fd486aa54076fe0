#!/usr/bin/env bash
# Makes the files of the sample that are not kept in the repository, beside
# this script in resources/: the two fonts (copied from Debian's
# fonts-dejavu-core), the noise picture, the 3D model and the music
# (generated). Files that
# are already up to date are left alone, so running it again is cheap.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
res="$here/resources"
fonts=/usr/share/fonts/truetype/dejavu

for font in DejaVuSans-Bold.ttf DejaVuSans.ttf; do
  if [ ! -f "$fonts/$font" ]; then
    echo "prepare.sh: $fonts/$font is missing (install the package fonts-dejavu-core)" >&2
    exit 1
  fi
  cmp -s "$fonts/$font" "$res/$font" || cp "$fonts/$font" "$res/$font"
done

# Regenerates OUTPUT with SCRIPT when OUTPUT is missing or older than SCRIPT.
generate() {
  local script=$1 output=$2
  if [ ! -s "$output" ] || [ "$script" -nt "$output" ]; then
    python3 "$script" "$output.tmp"
    mv "$output.tmp" "$output"
  fi
}
generate "$here/make_noise.py" "$res/noise.png"
generate "$here/make_model.py" "$res/monoliths.gltf"
# The content names its music resources/music.mp3 whatever the format; the
# player recognises the WAV data inside from its bytes.
generate "$here/make_music.py" "$res/music.mp3"
