#!/usr/bin/env python3
"""Writes small seeds for fuzz_glb_model into the folder given, each as GLB
and as glTF text: a skinned, animated mesh with a textured material, and a
hierarchy of several meshes and primitives with render-pass extras. Together with the
models of the test projects they reach every part of model validation and
of the animation builder.

    python3 make_glb_seeds.py OUTPUT_FOLDER
"""
import json
import os
import struct
import sys
import zlib


def png_1x1(rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\0" + bytes(rgb))) + chunk(b"IEND", b""))


class Doc:
    def __init__(self):
        self.bin = bytearray()
        self.gltf = {"asset": {"version": "2.0"}, "buffers": [], "bufferViews": [], "accessors": []}

    def view(self, data, target=None):
        while len(self.bin) % 4:
            self.bin.append(0)
        v = {"buffer": 0, "byteOffset": len(self.bin), "byteLength": len(data)}
        if target:
            v["target"] = target
        self.bin += data
        self.gltf["bufferViews"].append(v)
        return len(self.gltf["bufferViews"]) - 1

    def accessor(self, fmt, values, component, kind, per, target=None, minmax=False):
        data = struct.pack("<" + fmt * len(values), *values)
        a = {"bufferView": self.view(data, target), "componentType": component, "count": len(values) // per,
             "type": kind}
        if minmax:
            a["min"] = [min(values[i::per]) for i in range(per)]
            a["max"] = [max(values[i::per]) for i in range(per)]
        self.gltf["accessors"].append(a)
        return len(self.gltf["accessors"]) - 1

    def glb(self):
        while len(self.bin) % 4:
            self.bin.append(0)
        self.gltf["buffers"] = [{"byteLength": len(self.bin)}]
        text = json.dumps(self.gltf, separators=(",", ":")).encode()
        while len(text) % 4:
            text += b" "
        body = (struct.pack("<II", len(text), 0x4E4F534A) + text +
                struct.pack("<II", len(self.bin), 0x004E4942) + bytes(self.bin))
        return struct.pack("<III", 0x46546C67, 2, 12 + len(body)) + body


    def text(self):
        """The same document as glTF text, its buffer in a data URI."""
        import base64
        while len(self.bin) % 4:
            self.bin.append(0)
        uri = "data:application/octet-stream;base64," + base64.b64encode(bytes(self.bin)).decode()
        self.gltf["buffers"] = [{"byteLength": len(self.bin), "uri": uri}]
        return json.dumps(self.gltf, separators=(",", ":")).encode()


FLOAT, USHORT, UBYTE = 5126, 5123, 5121


def skinned(d):
    g = d.gltf
    pos = d.accessor("f", [0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0], FLOAT, "VEC3", 3, 34962, True)
    nrm = d.accessor("f", [0, 0, 1] * 4, FLOAT, "VEC3", 3, 34962)
    uv = d.accessor("f", [0, 0, 1, 0, 0, 1, 1, 1], FLOAT, "VEC2", 2, 34962)
    joints = d.accessor("B", [0, 1, 0, 0] * 4, UBYTE, "VEC4", 4, 34962)
    weights = d.accessor("f", [0.5, 0.5, 0, 0] * 4, FLOAT, "VEC4", 4, 34962)
    idx = d.accessor("H", [0, 1, 2, 2, 1, 3], USHORT, "SCALAR", 1, 34963)
    ibm = d.accessor("f", [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1] * 2, FLOAT, "MAT4", 16)
    times = d.accessor("f", [0, 0.5, 1], FLOAT, "SCALAR", 1, minmax=True)
    moves = d.accessor("f", [0, 0, 0, 0, 1, 0, 0, 0, 0], FLOAT, "VEC3", 3)
    turns = d.accessor("f", [0, 0, 0, 1, 0, 0.7071, 0, 0.7071, 0, 0, 0, 1], FLOAT, "VEC4", 4)
    cubic = d.accessor("f", [0, 0, 0, 1, 1, 1, 0, 0, 0] * 3, FLOAT, "VEC3", 3)
    image = d.view(png_1x1((200, 80, 40)))
    g["images"] = [{"name": "skin", "bufferView": image, "mimeType": "image/png"}]
    g["samplers"] = [{"magFilter": 9729, "minFilter": 9987, "wrapS": 33071, "wrapT": 10497}]
    g["textures"] = [{"source": 0, "sampler": 0}]
    g["materials"] = [{"name": "painted", "doubleSided": True, "emissiveFactor": [0.1, 0, 0],
                       "emissiveTexture": {"index": 0},
                       "pbrMetallicRoughness": {"baseColorFactor": [1, 0.5, 0.5, 1], "baseColorTexture": {"index": 0},
                                                "metallicFactor": 0, "roughnessFactor": 0.01,
                                                "metallicRoughnessTexture": {"index": 0}}}]
    g["meshes"] = [{"name": "flag", "primitives": [{
        "attributes": {"POSITION": pos, "NORMAL": nrm, "TEXCOORD_0": uv, "JOINTS_0": joints, "WEIGHTS_0": weights},
        "indices": idx, "material": 0, "mode": 4}]}]
    g["nodes"] = [
        {"name": "body", "mesh": 0, "skin": 0, "extras": {"tag": 2, "ignore_shadow": True}},
        {"name": "root_joint", "children": [2], "translation": [0, 0, 0]},
        {"name": "tip_joint", "rotation": [0, 0, 0, 1], "scale": [1, 1, 1], "translation": [0, 1, 0]},
    ]
    g["skins"] = [{"name": "rig", "joints": [1, 2], "inverseBindMatrices": ibm, "skeleton": 1}]
    g["animations"] = [{"name": "wave", "samplers": [
        {"input": times, "output": moves, "interpolation": "LINEAR"},
        {"input": times, "output": turns, "interpolation": "STEP"},
        {"input": times, "output": cubic, "interpolation": "CUBICSPLINE"}],
        "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}},
                     {"sampler": 1, "target": {"node": 2, "path": "rotation"}},
                     {"sampler": 2, "target": {"node": 2, "path": "scale"}},
                     {"sampler": 0, "target": {"node": 2, "path": "weights"}}]}]
    g["scenes"] = [{"name": "main", "nodes": [0, 1]}]
    g["scene"] = 0


def hierarchy(d):
    g = d.gltf
    pos = d.accessor("f", [0, 0, 0, 1, 0, 0, 0, 1, 0], FLOAT, "VEC3", 3, 34962, True)
    idx8 = d.accessor("B", [0, 1, 2], UBYTE, "SCALAR", 1, 34963)
    g["materials"] = [{"pbrMetallicRoughness": {"baseColorFactor": [0, 1, 0, 1]}}]
    g["meshes"] = [
        {"primitives": [{"attributes": {"POSITION": pos}, "indices": idx8, "material": 0},
                        {"attributes": {"POSITION": pos}, "mode": 0},
                        {"attributes": {"POSITION": pos}, "mode": 1}]},
        {"primitives": [{"attributes": {"POSITION": pos}, "mode": 5}, {"attributes": {"POSITION": pos}}]},
    ]
    g["nodes"] = [
        {"name": "top", "children": [1, 2], "matrix": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -2, 1]},
        {"name": "first", "mesh": 0, "extras": {"render_pass": 3, "tag": 7}},
        {"name": "second", "mesh": 1, "children": [3], "extras": {"render_pass": 2.0}},
        {"name": "leaf", "mesh": 0, "extras": {"render_pass": 1, "ignore_shadow": False}},
    ]
    g["scenes"] = [{"nodes": [0]}, {"nodes": [3]}]
    g["scene"] = 0


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_glb_seeds.py OUTPUT_FOLDER\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, make in (("skinned", skinned), ("hierarchy", hierarchy)):
        d = Doc()
        make(d)
        with open(os.path.join(out, name + ".glb"), "wb") as f:
            f.write(d.glb())
        # The fuzzer also reads every input as glTF text, as the packer imports it.
        with open(os.path.join(out, name + ".gltf"), "wb") as f:
            f.write(d.text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
