#!/usr/bin/env python3
"""Writes project.json: a demo whose graph runs every kind of node each frame,
for the long-running memory check (scripts/soak).

    python3 make_project.py            # rewrite project.json beside this file
    python3 make_project.py --check    # exit 1 when project.json is not what it writes

The pictures are drawn at 320 x 180 (a Shader node with that size sets the
render size) so that a software GL keeps up. The font and the music are not
kept here: scripts/soak copies the font and writes a short music loop into a
copy of this folder before packing.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts"))
sys.dont_write_bytecode = True
from project_graph import ABSENT, BOOL, FLOAT, INT, IVEC2, STRING, VEC3, Graph, uniform, value, write_or_check  # noqa: E402,F401

W, H = 320, 180


# Index order matters: Shader, Effect2D and scene nodes select programs by position.
SHADERS = [
    ("resources/default.vert", "resources/main.frag", [uniform("texScene"), uniform("gain", 0, 2, 1)]),
    ("resources/default.vert", "resources/post.frag", []),
    ("resources/scene.vert", "resources/scene.frag", []),
]
MAIN, POST, SCENE = range(3)


def track(points, mode=1, repeat=False):
    out = [{"beat": b, "text": v} if isinstance(v, str) else {"beat": b, "value": v} for b, v in points]
    return {"mode": mode, "repeat": repeat, "points": out}


EVENTS = [
    {"type": 4, "name": "pulse", "visible": "true", "start_beat": 0, "end_beat": 100000,
     "uniform_defs": [uniform("gain", 0, 2, 1), uniform("caption", is_string=True)],
     "control_points": {
         "gain": track([(0, 0.2), (2, 1.0), (4, 0.2)], mode=2, repeat=True),
         "caption": track([(0, "beat <IBEAT>"), (8, "soak <BEAT>")], mode=0, repeat=True)}},
    {"type": 1, "name": "fxev", "visible": "true", "effect": "fx", "start_beat": 0, "end_beat": 8,
     "control_points": {}},
    {"type": 2, "name": "hit", "visible": "false", "audio_sample": "resources/blip.wav", "beat": 4,
     "control_points": {}},
]


def size():
    return value(IVEC2, [W, H])


def build_graph():
    g = Graph()
    f = lambda v: value(FLOAT, v)
    i = lambda v: value(INT, v)

    # ---- values, computed first every frame (self-activating, in this order)
    time = g.node("Time", [], ["currentBeat", "fract", "1-fract"], self_activating=True)
    pulse = g.node("pulse.event", [("time", ABSENT)], ["gain", "caption"], self_activating=True)
    wave = g.node("Operator", [("op", i(17)), ("a", f(0)), ("b", f(0)), ("c", f(0))], ["result"], self_activating=True)
    ratio = g.node("Operator", [("op", i(3)), ("a", f(1)), ("b", f(0)), ("c", f(0))], ["result"], self_activating=True)
    const = g.node("Constant", [("bool", value(BOOL, True)), ("int", i(3)), ("float", f(0.25))],
                   ["bool", "int", "float"], self_activating=True)
    convert = g.node("Convert", [("int", i(0)), ("float", f(0))], ["int", "float"], self_activating=True)
    eye = g.node("Vec3", [("x", f(0)), ("y", f(0.5)), ("z", f(4))], ["vec3"], self_activating=True)
    split = g.node("Vec3xyz", [("vec3", value(VEC3, [0, 0, 0]))], ["x", "y", "z"], self_activating=True)
    pass_size = g.node("IVec2", [("x", i(W)), ("y", i(H))], ["ivec2"], self_activating=True)
    gate = g.node("If", [("compare", i(2)), ("a", f(0)), ("b", f(-1)), ("c", value(BOOL, False))], ["result"], self_activating=True)
    g.node("Note", [("note", value(STRING, "every kind of node, every frame"))], [])

    # ---- drawing, run by the root in link order
    setup = g.node("Shader", [("shader", i(POST)), ("size", size()), ("tex", ABSENT)], [])
    clear = g.node("Clear", [("r", f(0.1)), ("g", f(0.0)), ("b", f(0.2)), ("a", f(1.0))], [])
    fbo = g.node("SetFrameBuffer", [("size", size()), ("useDepth", value(BOOL, False))], ["texture"])
    fbo_clear = g.node("Clear", [("r", f(0.0)), ("g", f(0.2)), ("b", f(0.0)), ("a", f(1.0))], [])
    quad = g.node("TwoTriangles", [], ["vao", "count"])
    draw_setup = g.node("Shader", [("shader", i(POST)), ("size", size()), ("tex", ABSENT)], [])
    draw = g.node("DrawTriangles", [("vao", ABSENT), ("count", i(6))], [])
    scene = g.node("world.scene", [("shader", i(SCENE)), ("position", ABSENT), ("direction", ABSENT),
                                   ("up", ABSENT)], [])
    fbo_end = g.node("ClearFrameBuffer", [("texture", ABSENT)], [])
    depth = g.node("SetFrameBuffer", [("size", size()), ("useDepth", value(BOOL, True))], ["texture"])
    depth_end = g.node("ClearFrameBuffer", [("texture", ABSENT)], [])
    picture = g.node("Texture", [("textureID", i(0))], ["texture"])
    sound = g.node("SoundTexture", [], ["texture"])
    text = g.node("FontTexture", [("font_texture", i(0)), ("text", value(STRING, ""))], ["texture"])
    offscreen = g.node("resources/main.frag", [("size", size()), ("tex", ABSENT), ("internal", value(BOOL, True)),
                                               ("texScene", ABSENT), ("gain", f(1))], ["texture"])
    onscreen = g.node("resources/main.frag", [("size", size()), ("tex", ABSENT), ("internal", value(BOOL, False)),
                                              ("texScene", ABSENT), ("gain", f(1))], ["texture"])
    effect = g.node("Effect2D", [("shader", i(POST)), ("size", size()), ("tex", ABSENT)], ["texture"])
    grab = g.node("ScreenToTexture", [("size", size())], ["texture"])
    probe = g.node("ReadPixel", [("pos", value(IVEC2, [W // 2, H // 2]))], ["rgba", "rgb", "r", "g", "b", "a"])

    # ---- values along data links
    time.feed("currentBeat", pulse, "time").feed("currentBeat", wave, "a").feed("currentBeat", gate, "a")
    time.feed("fract", ratio, "b")
    wave.feed("result", eye, "x").feed("result", convert, "float")
    const.feed("int", convert, "int").feed("float", ratio, "c")
    eye.feed("vec3", split, "vec3").feed("vec3", scene, "position")
    split.feed("y", ratio, "a")
    pass_size.feed("ivec2", fbo, "size").feed("ivec2", depth, "size")
    pulse.feed("gain", offscreen, "gain").feed("gain", onscreen, "gain").feed("caption", text, "text")
    quad.feed("vao", draw, "vao").feed("count", draw, "count")
    fbo.feed("texture", fbo_end, "texture").feed("texture", onscreen, "texScene")
    depth.feed("texture", depth_end, "texture")
    picture.feed("texture", draw_setup, "tex").feed("texture", setup, "tex")
    sound.feed("texture", offscreen, "tex")
    text.feed("texture", offscreen, "texScene")
    offscreen.feed("texture", onscreen, "tex")
    onscreen.feed("texture", effect, "tex")
    probe.feed("r", wave, "b").feed("rgb", split, "vec3")

    # ---- order of drawing; the If stops the probe only before beat -1 (never)
    setup.then(clear, fbo)
    fbo.then(fbo_clear, quad, draw_setup, draw, scene, fbo_end, depth, depth_end, picture, sound, text, offscreen,
             onscreen, effect, grab)
    gate.then(probe)
    return g.to_json(setup)


def project():
    return {
        "end_beat": 100000,
        "bpm": 120,
        "beat_offset": 0,
        "textures": [{"name": "resources/checker.png"}],
        "shaders": [{"vertex_shader_filename": v, "fragment_shader_filename": fr, "uniform_defs": defs}
                    for v, fr, defs in SHADERS],
        "fonts": [{"name": "sans", "filename": "resources/DejaVuSans.ttf", "ptsize": 24}],
        "font_textures": [{"name": "caption", "width": 160, "height": 32, "font": "sans", "center": True,
                           "chars_per_beat": 8}],
        "datas": [{"name": "resources/default.vert"}],
        "models": [{"filename": "resources/tri.gltf"}],
        "scenes": [{"name": "world",
                    "camera": {"position": [0, 0.5, 4], "direction": [0, 0, 0], "up": [0, 1, 0],
                               "aspect": 1.7777778, "fov": 60, "znear": 0.1, "zfar": 100},
                    "root_node": {"name": "root", "model": "resources/tri.gltf"}}],
        "effects": [{"name": "fx", "program": "resources/post.frag", "textures": ["resources/checker.png"],
                     "effects": [], "font_textures": ["caption"], "feedback": False}],
        "audio_samples": [{"name": "resources/blip.wav"}],
        "event_groups": [{"name": "all", "events": ["pulse", "fxev", "hit"]}],
        "events": EVENTS,
        "graph": build_graph(),
    }


def main():
    return write_or_check(HERE, project())


if __name__ == "__main__":
    sys.exit(main())
