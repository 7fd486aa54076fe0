#!/usr/bin/env bash
# qvtool pack and qvtool info try every sound, picture, font and model the
# way playback will and warn, one line each, about what will not work; a
# module whose song loops forever is cut at the sample bound instead of
# hanging the tool; what does work (a TGA named as one) draws no warning,
# and what only the host's libraries decode (TIFF) is named as such.
source "$(dirname "$0")/lib/setup.bash" "$@"
cd "$work"

python3 - <<'PY'
import json, struct

def tiny_mod(jump_row):
    words = 64
    m = bytearray(20 + 31 * 30 + 2 + 128 + 4 + 1024 + words * 2)
    struct.pack_into('>H', m, 20 + 22, words); m[20 + 25] = 64
    struct.pack_into('>HH', m, 20 + 26, 0, words)
    song = 20 + 31 * 30
    m[song], m[song + 1] = 1, 127
    m[song + 130:song + 134] = b'M.K.'
    pattern = song + 134
    m[pattern:pattern + 4] = bytes([0x01, 0xAC, 0x1F, 0x01])  # sample 1, speed 1
    if jump_row >= 0:
        cell = pattern + (jump_row * 4 + 1) * 4
        m[cell + 2], m[cell + 3] = 0x0B, 0x00  # jump back to order 0
    data = pattern + 1024
    for i in range(words * 2): m[data + i] = 0x60 if i < words else 0xA0
    return bytes(m)

open('loop.mod', 'wb').write(tiny_mod(8))
open('noise.wav', 'wb').write(b'RIFF\x10\x00\x00\x00WAVEjunkjunk')
open('junk.png', 'wb').write(b'\x89PNG\r\n\x1a\nnot really')
# 1 x 1 uncompressed true colour TGA: no signature, known by its name only.
open('dot.tga', 'wb').write(bytes([0, 0, 2] + [0] * 9 + [1, 0, 1, 0, 24, 0x20, 10, 20, 30]))
open('junk.ttf', 'wb').write(b'\x00\x01\x00\x00 not a font')
gltf = {'asset': {'version': '2.0'}, 'extensionsRequired': ['KHR_draco_mesh_compression'],
        'buffers': [{'byteLength': 12, 'uri': 'data:application/octet-stream;base64,AAAAAAAAAAAAAAAA'}],
        'bufferViews': [{'buffer': 0, 'byteLength': 12}],
        'accessors': [{'bufferView': 0, 'componentType': 5123, 'count': 2, 'type': 'VEC3'}],
        'meshes': [{'primitives': [{'attributes': {'POSITION': 0}}]}]}
open('squashed.gltf', 'w').write(json.dumps(gltf))
# 1 x 1 uncompressed TIFF: the host's libraries decode it, the release players not.
tiff = b'II*\x00\x08\x00\x00\x00' + struct.pack('<H', 8)
for tag, kind, value in [(256, 3, 1), (257, 3, 1), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, 110),
                         (277, 3, 1), (279, 4, 1)]:
    tiff += struct.pack('<HHII', tag, kind, 1, value)
tiff += b'\x00\x00\x00\x00' + b'\x80'
open('dot.tif', 'wb').write(tiff)
doc = {'end_beat': 8, 'bpm': 120, 'beat_offset': 0,
       'textures': [{'name': 'junk.png'}, {'name': 'dot.tga'}, {'name': 'dot.tif'}],
       'shaders': [], 'fonts': [{'name': 'broken', 'filename': 'junk.ttf', 'ptsize': 12}], 'font_textures': [],
       'datas': [], 'models': [{'filename': 'squashed.gltf'}], 'scenes': [], 'effects': [],
       'audio_samples': [{'name': 'loop.mod'}, {'name': 'noise.wav'}], 'event_groups': [], 'events': [],
       'graph': {'nodes': [], 'root': -1}}
json.dump(doc, open('media.json', 'w'))
PY
mkdir -p resources
cp noise.wav resources/music.mp3

timeout 120 "$tool" pack media.json -o media.dat > pack.out 2> pack.err || { cat pack.err >&2; fail "pack"; }
warnings=$(grep -c '^qvtool pack: warning: ' pack.err || true)
expect() {
  grep -q -- "$2" "$1" || { cat "$1" >&2; fail "$1 lacks: $2"; }
}
expect pack.err 'warning: the music will not decode'
expect pack.err 'warning: audio sample loop.mod goes on past 600 s'
expect pack.err 'warning: audio sample noise.wav will not decode'
expect pack.err 'warning: texture junk.png will not decode'
expect pack.err 'warning: texture dot.tif is a TIFF picture, which the release players (qvtool release) do not decode'
expect pack.err 'warning: font broken will not open'
expect pack.err 'warning: model squashed.gltf\(.glb\)\? needs the glTF extension KHR_draco_mesh_compression'
expect pack.err 'warning: model squashed.gltf stores POSITION of mesh 0 as unsigned short'
! grep -q 'dot.tga' pack.err || fail "a TGA named as one decodes"
[ "$warnings" -eq 8 ] || { cat pack.err >&2; fail "pack gives $warnings warnings, not one per problem (8)"; }

timeout 120 "$tool" info media.dat > info.out 2> info.err || { cat info.err >&2; fail "info"; }
[ "$(grep '^warning: ' info.out | grep -vc 'warning: graph:')" -eq 8 ] || { cat info.out >&2; fail "info gives the same eight warnings"; }
expect info.out 'warning: audio sample loop.mod goes on past 600 s'
expect info.out 'warning: model squashed.gltf\(.glb\)\? needs the glTF extension KHR_draco_mesh_compression'
echo "qvtool media warnings: ok"
