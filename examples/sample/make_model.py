#!/usr/bin/env python3
"""The sample demo's 3D model: a ring of stone pillars with glowing caps round
a floating metal cube, on a wide plain. Written as glTF 2.0 text with its
buffer embedded as base64 (the packer stores it as GLB).

The whole sculpture hangs under one root node tilted about the z axis. Every
scene's shadow map is drawn from a light camera low on the +x side, at
(300, 50, 0); tilting the plain towards it puts that sun about 50 degrees
above the plain's horizon, so the pillars throw shadows a viewer can follow.
The camera in make_project.py is tilted the same way, so the plain looks
level. TILT_DEGREES is shared with it.

Standard library only. usage: make_model.py OUTPUT.gltf
"""
import base64
import json
import math
import struct
import sys

TILT_DEGREES = -40.54  # rotation of the sculpture about z

PILLARS = 9
RING_RADIUS = 13.0


def box():
    """Unit cube centred on the origin: 24 vertices (flat normals), 36 indices."""
    faces = [  # normal, two axes spanning the face (u x v = normal)
        ((1, 0, 0), (0, 1, 0), (0, 0, 1)),
        ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
        ((0, 1, 0), (0, 0, 1), (1, 0, 0)),
        ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
        ((0, 0, 1), (1, 0, 0), (0, 1, 0)),
        ((0, 0, -1), (0, 1, 0), (1, 0, 0)),
    ]
    positions, normals, indices = [], [], []
    for n, u, v in faces:
        base = len(positions)
        for su, sv in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
            positions.append(tuple(0.5 * n[i] + 0.5 * su * u[i] + 0.5 * sv * v[i] for i in range(3)))
            normals.append(n)
        indices += [base, base + 1, base + 2, base, base + 2, base + 3]
    return positions, normals, indices


def plane():
    """Unit square in the xz plane facing +y."""
    positions = [(-0.5, 0, -0.5), (-0.5, 0, 0.5), (0.5, 0, 0.5), (0.5, 0, -0.5)]
    return positions, [(0, 1, 0)] * 4, [0, 1, 2, 0, 2, 3]


class Builder:
    def __init__(self):
        self.data = bytearray()
        self.doc = {"asset": {"version": "2.0", "generator": "make_model.py"},
                    "buffers": [], "bufferViews": [], "accessors": [], "meshes": [], "materials": [], "nodes": []}

    def _view(self, payload, target):
        while len(self.data) % 4:
            self.data.append(0)
        self.doc["bufferViews"].append({"buffer": 0, "byteOffset": len(self.data), "byteLength": len(payload),
                                        "target": target})
        self.data += payload
        return len(self.doc["bufferViews"]) - 1

    def _accessor(self, view, component, count, kind, **extra):
        self.doc["accessors"].append({"bufferView": view, "componentType": component, "count": count, "type": kind,
                                      **extra})
        return len(self.doc["accessors"]) - 1

    def mesh(self, name, geometry, material):
        positions, normals, indices = geometry
        pos = self._view(b"".join(struct.pack("<3f", *p) for p in positions), 34962)
        nor = self._view(b"".join(struct.pack("<3f", *n) for n in normals), 34962)
        idx = self._view(b"".join(struct.pack("<H", i) for i in indices), 34963)
        lo = [min(p[i] for p in positions) for i in range(3)]
        hi = [max(p[i] for p in positions) for i in range(3)]
        prim = {"attributes": {"POSITION": self._accessor(pos, 5126, len(positions), "VEC3", min=lo, max=hi),
                               "NORMAL": self._accessor(nor, 5126, len(normals), "VEC3")},
                "indices": self._accessor(idx, 5123, len(indices), "SCALAR"),
                "material": material}
        self.doc["meshes"].append({"name": name, "primitives": [prim]})
        return len(self.doc["meshes"]) - 1

    def material(self, name, colour, metallic, roughness, emissive=(0, 0, 0)):
        # Drawn from both sides: culling would otherwise stay switched on
        # after the scene for whatever the graph draws next.
        self.doc["materials"].append({
            "name": name, "doubleSided": True, "emissiveFactor": list(emissive),
            "pbrMetallicRoughness": {"baseColorFactor": list(colour) + [1.0], "metallicFactor": metallic,
                                     "roughnessFactor": roughness}})
        return len(self.doc["materials"]) - 1

    def node(self, name, mesh=None, translation=None, rotation=None, scale=None, children=None, extras=None):
        n = {"name": name}
        if mesh is not None:
            n["mesh"] = mesh
        for key, value in (("translation", translation), ("rotation", rotation), ("scale", scale),
                           ("children", children), ("extras", extras)):
            if value is not None:
                n[key] = [round(v, 6) for v in value] if key in ("translation", "rotation", "scale") else value
        self.doc["nodes"].append(n)
        return len(self.doc["nodes"]) - 1

    def finish(self, roots):
        self.doc["buffers"] = [{"byteLength": len(self.data), "uri": "data:application/octet-stream;base64," +
                                base64.b64encode(bytes(self.data)).decode("ascii")}]
        self.doc["scenes"] = [{"name": "sculpture", "nodes": roots}]
        self.doc["scene"] = 0
        return self.doc


def y_rotation(angle):
    return (0.0, math.sin(angle / 2), 0.0, math.cos(angle / 2))


def build():
    b = Builder()
    ground = b.material("ground", (0.09, 0.085, 0.1), 0.02, 0.95)
    stone = b.material("stone", (0.55, 0.53, 0.58), 0.02, 0.6)
    metal = b.material("metal", (0.85, 0.72, 0.55), 0.9, 0.3)
    glow = b.material("glow", (0.05, 0.05, 0.05), 0.02, 0.8, emissive=(1.0, 0.35, 0.85))
    plane_mesh = b.mesh("plane", plane(), ground)
    stone_box = b.mesh("pillar", box(), stone)
    metal_box = b.mesh("cube", box(), metal)
    glow_box = b.mesh("cap", box(), glow)

    children = [b.node("ground", plane_mesh, scale=(160, 1, 160), extras={"ignore_shadow": True})]
    for k in range(PILLARS):
        angle = 2 * math.pi * k / PILLARS
        height = 6.0 + 7.0 * math.sin(1.7 * k + 0.4) ** 2
        x, z = RING_RADIUS * math.cos(angle), RING_RADIUS * math.sin(angle)
        turn = y_rotation(-angle)
        children.append(b.node("pillar %d" % k, stone_box, translation=(x, height / 2, z), rotation=turn,
                               scale=(2.2, height, 2.2)))
        children.append(b.node("cap %d" % k, glow_box, translation=(x, height + 0.2, z), rotation=turn,
                               scale=(2.5, 0.35, 2.5), extras={"tag": 1}))
    # The cube stands on a corner: 45 degrees about x, then about z.
    half = math.radians(45) / 2
    qx = (math.sin(half), 0.0, 0.0, math.cos(half))
    qz = (0.0, 0.0, math.sin(half), math.cos(half))
    corner = (qz[3] * qx[0], qz[2] * qx[0], qz[2] * qx[3], qz[3] * qx[3])  # qz * qx
    children.append(b.node("cube", metal_box, translation=(0, 7.5, 0), rotation=corner, scale=(4, 4, 4)))
    children.append(b.node("plinth", glow_box, translation=(0, 0.15, 0), rotation=y_rotation(math.pi / 4),
                           scale=(5, 0.3, 5), extras={"tag": 1, "ignore_shadow": True}))

    tilt = math.radians(TILT_DEGREES) / 2
    root = b.node("sculpture", rotation=(0.0, 0.0, math.sin(tilt), math.cos(tilt)), children=children)
    return b.finish([root])


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_model.py OUTPUT.gltf\n")
        return 2
    with open(sys.argv[1], "w") as f:
        json.dump(build(), f, indent=1)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
