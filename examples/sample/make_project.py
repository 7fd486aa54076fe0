#!/usr/bin/env python3
"""Writes project.json, the sample demo in the JSON project form.

The project is committed; this script is the convenient way to change it,
since the graph's many ids and port indices are easier to get right from
names. Edit the tables below, run it, and pack:

    python3 make_project.py            # rewrite project.json beside this file
    python3 make_project.py --check    # exit 1 when project.json is not what it writes
"""
import math
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
sys.dont_write_bytecode = True
from make_model import TILT_DEGREES  # noqa: E402  (the camera tilts with the sculpture)
from project_graph import ABSENT, BOOL, FLOAT, INT, IVEC2, STRING, TEXTURE2D, Graph, uniform, value, write_or_check  # noqa: E402,F401

BPM = 120
END_BEAT = 80

# ------------------------------------------------------------------ values

# ------------------------------------------------------------------ resources

SHADERS = {
    "resources/nebula.frag": [uniform("hue", 0, 2, 0.6), uniform("glow", 0, 2, 0.4)],
    "resources/tunnel.frag": [uniform("texSound"), uniform("hue", 0, 2, 0.6), uniform("energy", 0, 1, 0.5),
                              uniform("pulse"), uniform("twist", -2, 2, 0)],
    "resources/composite.frag": [
        uniform("texTunnel"), uniform("texScene"), uniform("texTitle"), uniform("texCaption"), uniform("texSound"),
        uniform("tunnel_mix"), uniform("scene_alpha"), uniform("title_alpha"), uniform("caption_alpha"),
        uniform("bars"), uniform("flash"), uniform("fade", 0, 1, 1), uniform("pulse"), uniform("hue", 0, 2, 0.6)],
    # The 3D program; its vertex shader is resources/scene.vert.
    "resources/scene.frag": [],
}
VERTEX_SHADERS = {"resources/scene.frag": "resources/scene.vert"}
SCENE_PROGRAM = list(SHADERS).index("resources/scene.frag")  # the scene node's "shader" input

FONTS = [
    {"name": "bold", "filename": "resources/DejaVuSans-Bold.ttf", "ptsize": 140},
    {"name": "book", "filename": "resources/DejaVuSans.ttf", "ptsize": 44},
]

FONT_TEXTURES = [  # index = the "font_texture" input of a FontTexture node
    {"name": "title", "width": 1536, "height": 176, "font": "bold", "center": True},
    {"name": "caption", "width": 1280, "height": 64, "font": "book", "center": True},
]

TEXTURES = [{"name": "resources/noise.png"}]

MODEL = "resources/monoliths.gltf"


# ------------------------------------------------------------------ 3D

def tilted(x, y, z):
    """A point of the sculpture's own frame in the world (see make_model.py)."""
    a = math.radians(TILT_DEGREES)
    return [round(x * math.cos(a) - y * math.sin(a), 5), round(x * math.sin(a) + y * math.cos(a), 5), round(z, 5)]


ORBIT_RADIUS = 34.0
ORBIT_HEIGHT = 11.0
ORBIT_SPEED = 0.05  # radians per beat
LOOK_AT = (0.0, 5.0, 0.0)

SCENES = [{
    "name": "monoliths",
    "camera": {"position": tilted(ORBIT_RADIUS, ORBIT_HEIGHT, 0.0), "direction": tilted(*LOOK_AT),
               "up": tilted(0.0, 1.0, 0.0), "aspect": 1.7777778, "fov": 42, "znear": 0.5, "zfar": 300},
    "root_node": {"name": "sculpture", "model": MODEL},
}]

# Effects are drawn once, right after loading. With its scene, this one fills
# the scene's shadow map (the sculpture does not move, so once is enough); the
# scene node then draws the lit picture every frame.
EFFECTS = [{"name": "shadows", "program": "resources/scene.frag", "textures": [], "effects": [],
            "font_textures": [], "feedback": False, "scene": "monoliths"}]


# ------------------------------------------------------------------ timeline

def track(points, mode=1):
    """points: (beat relative to the event's start, number or text)."""
    out = []
    for beat, v in points:
        out.append({"beat": beat, "text": v} if isinstance(v, str) else {"beat": beat, "value": v})
    return {"mode": mode, "repeat": False, "points": out}


LINEAR, SMOOTH, LAST = 1, 2, 0


def event(name, start, end, tracks):
    """tracks: list of (uniform name, track, is_string)."""
    return {
        "type": 4, "name": name, "visible": "true", "start_beat": start, "end_beat": end,
        "uniform_defs": [uniform(n, 0, 2, 0, s) for n, _, s in tracks],
        "control_points": {n: t for n, t, _ in tracks},
    }


EVENTS = [
    # The whole demo: light, colour, drive, and which picture is in front.
    event("mood", 0, 80, [
        ("fade", track([(0, 0), (2, 1), (77, 1), (80, 0)]), False),
        # Blue night, through violet and magenta to a red-orange peak, then back
        # round the wheel to teal.
        ("hue", track([(0, 0.32), (16, 0.22), (32, 0.1), (48, 0.0), (64, -0.08), (80, 0.45)], SMOOTH), False),
        ("glow", track([(0, 0.15), (12, 0.45), (16, 0.55), (32, 0.9), (64, 0.7), (80, 0.2)], SMOOTH), False),
        ("energy", track([(0, 0), (16, 0.15), (24, 0.5), (31, 0.7), (32, 1), (63, 1), (64, 0.6), (72, 0.3),
                          (80, 0)]), False),
        ("tunnel_mix", track([(0, 0), (24, 0), (30, 0.7), (32, 1), (62, 1), (70, 0), (80, 0)], SMOOTH), False),
        ("bars", track([(0, 0), (20, 0), (28, 0.6), (32, 1), (64, 1), (72, 0.3), (78, 0)]), False),
        ("flash", track([(0, 0), (31.9, 0), (32, 1), (33.5, 0), (63.9, 0), (64, 0.6), (65.5, 0)]), False),
        ("twist", track([(0, 0), (32, 0), (40, 1.5), (48, -1.0), (56, 1.0), (64, 0), (80, 0)], SMOOTH), False),
        ("scene_alpha", track([(0, 0), (15, 0), (18, 1), (29, 1), (32, 0), (80, 0)]), False),
    ]),
    event("intro", 0, 16, [
        ("title_alpha", track([(0, 0), (2, 0), (5, 1), (12, 1), (15, 0)]), False),
        ("caption_alpha", track([(0, 0), (4, 0), (5, 1), (7.5, 1), (8, 0), (9, 1), (13, 1), (15, 0)]), False),
        ("headline", track([(0, "QUORVANTILE")], LAST), True),
        ("caption", track([(0, "a sample demo for the Quorvantile player"),
                           (8, "shaders, text and a tiny synthesiser")], LAST), True),
    ]),
    event("main", 16, 64, [
        ("title_alpha", track([(0, 0)], LAST), False),
        ("caption_alpha", track([(0, 0), (1, 1), (7, 1), (8, 0), (9, 1), (15, 1), (16, 0), (17, 1), (31, 1),
                                 (32, 0), (33, 1), (39, 1), (40, 0), (41, 1), (47, 1), (47.9, 0)]), False),
        ("caption", track([(0, "a glTF scene under a low sun"),
                           (8, "every picture here is a GLSL shader"),
                           (16, "beat <IBEAT> of 80"),
                           (32, "the spokes follow the spectrum"),
                           (40, "beat <IBEAT> of 80")], LAST), True),
    ]),
    event("outro", 64, 80, [
        ("title_alpha", track([(0, 0), (2, 0), (4, 1), (13, 1), (15.5, 0)]), False),
        ("caption_alpha", track([(0, 0), (1, 1), (4.5, 1), (5, 0), (5.5, 1), (9.5, 1), (10, 0), (10.5, 1), (14, 1),
                                 (15.5, 0)]), False),
        ("headline", track([(0, "THANK YOU")], LAST), True),
        ("caption", track([(0, "music: make_music.py, a tiny synthesiser"),
                           (5, "letters: DejaVu Sans"),
                           (10, "pack your own: qvtool pack project.json")], LAST), True),
    ]),
]


# ------------------------------------------------------------------ graph

def program_node(g, path, x, y, size=ABSENT, internal=False):
    inputs = [("size", size), ("tex", ABSENT), ("internal", value(BOOL, internal))]
    for d in SHADERS[path]:
        if d["name"].startswith("tex"):
            inputs.append((d["name"], ABSENT))
        else:
            inputs.append((d["name"], value(FLOAT, d["default_val"])))
    return g.node(path, inputs, ["texture"], x, y)


def event_node(g, ev, x, y):
    return g.node(ev["name"] + ".event", [("time", ABSENT)], [d["name"] for d in ev["uniform_defs"]], x, y,
                  self_activating=True)


def build_graph():
    g = Graph()
    events = {ev["name"]: ev for ev in EVENTS}

    # Self-activating value producers, in the order they must run each frame:
    # the clock first, then everything that reads it.
    time = g.node("Time", [], ["currentBeat", "fract", "1-fract"], 40, 300, self_activating=True)
    mood = event_node(g, events["mood"], 300, 80)
    intro = event_node(g, events["intro"], 300, 420)
    main = event_node(g, events["main"], 300, 600)
    outro = event_node(g, events["outro"], 300, 720)
    # pulse = (1 - fract)^2 * energy: a flash on every beat that decays before the next.
    squared = g.node("Operator", [("op", value(INT, 2)), ("a", value(FLOAT, 0)), ("b", value(FLOAT, 0)),
                                  ("c", value(FLOAT, 0))], ["result"], 300, 900, self_activating=True)
    pulse = g.node("Operator", [("op", value(INT, 2)), ("a", value(FLOAT, 0)), ("b", value(FLOAT, 0)),
                                ("c", value(FLOAT, 0))], ["result"], 540, 900, self_activating=True)
    pass_size = g.node("IVec2", [("x", value(INT, 1280)), ("y", value(INT, 720))], ["ivec2"], 540, 1040,
                       self_activating=True)
    # The camera's orbit round the sculpture, in the sculpture's tilted frame:
    # a = beat * speed; x = cos(a) R cos(t) - H sin(t); y = cos(a) R sin(t) + H cos(t); z = sin(a) R.
    def operator(op, x, y, a=0.0, b=0.0):
        return g.node("Operator", [("op", value(INT, op)), ("a", value(FLOAT, a)), ("b", value(FLOAT, b)),
                                   ("c", value(FLOAT, 0))], ["result"], x, y, self_activating=True)
    tilt = math.radians(TILT_DEGREES)
    MUL, ADD, SIN, COS = 2, 0, 15, 16
    angle = operator(MUL, 40, 1240, b=ORBIT_SPEED)
    cos_a = operator(COS, 280, 1180)
    sin_a = operator(SIN, 280, 1340)
    x_scaled = operator(MUL, 520, 1120, b=ORBIT_RADIUS * math.cos(tilt))
    x_world = operator(ADD, 760, 1120, b=-ORBIT_HEIGHT * math.sin(tilt))
    y_scaled = operator(MUL, 520, 1240, b=ORBIT_RADIUS * math.sin(tilt))
    y_world = operator(ADD, 760, 1240, b=ORBIT_HEIGHT * math.cos(tilt))
    z_world = operator(MUL, 520, 1360, b=ORBIT_RADIUS)
    eye = g.node("Vec3", [("x", value(FLOAT, 0)), ("y", value(FLOAT, 0)), ("z", value(FLOAT, 0))], ["vec3"],
                 1000, 1240, self_activating=True)

    # Drawing, run by the root in order: sky, tunnel (only while it shows),
    # the two text pictures, then the composite on the screen.
    sound = g.node("SoundTexture", [], ["texture"], 800, 40)
    noise = g.node("Texture", [("textureID", value(INT, 0))], ["texture"], 800, 160)
    sky = program_node(g, "resources/nebula.frag", 1040, 120, internal=True)
    gate = g.node("If", [("compare", value(INT, 2)), ("a", value(FLOAT, 0)), ("b", value(FLOAT, 0.001)),
                         ("c", value(BOOL, False))], ["result"], 1040, 380)
    tunnel = program_node(g, "resources/tunnel.frag", 1280, 360, internal=True)
    title = g.node("FontTexture", [("font_texture", value(INT, 0)), ("text", value(STRING, ""))], ["texture"],
                   1040, 640)
    caption = g.node("FontTexture", [("font_texture", value(INT, 1)), ("text", value(STRING, ""))], ["texture"],
                     1040, 760)
    # The 3D pass: an offscreen picture of the render size with depth, cleared
    # to transparent, the scene drawn into it, back to the screen.
    scene_gate = g.node("If", [("compare", value(INT, 2)), ("a", value(FLOAT, 0)), ("b", value(FLOAT, 0.001)),
                               ("c", value(BOOL, False))], ["result"], 1040, 1000)
    target = g.node("SetFrameBuffer", [("size", ABSENT), ("useDepth", value(BOOL, False))], ["texture"],
                    1280, 980)
    clear = g.node("Clear", [("r", value(FLOAT, 0)), ("g", value(FLOAT, 0)), ("b", value(FLOAT, 0)),
                             ("a", value(FLOAT, 0))], [], 1280, 1100)
    scene = g.node("monoliths.scene", [("shader", value(INT, SCENE_PROGRAM)), ("position", ABSENT),
                                       ("direction", ABSENT), ("up", ABSENT)], [], 1280, 1200)
    back = g.node("ClearFrameBuffer", [("texture", ABSENT)], [], 1280, 1340)
    composite = program_node(g, "resources/composite.frag", 1560, 300)

    g.node("Note", [("note", value(STRING,
        "Sample demo. Self-activating nodes (clock, events, pulse, pass size, camera orbit) compute values "
        "first; the root, SoundTexture, then runs the drawing chain in link order: noise texture, sky pass, "
        "tunnel pass behind an If (skipped while tunnel_mix is 0), the 3D pass behind another If, title and "
        "caption pictures, and the composite pass that draws to the screen."))], [], 40, 40)
    g.node("Note", [("note", value(STRING,
        "3D part: the effect 'shadows' drew the scene's shadow map once after loading; every frame the If "
        "(scene_alpha > 0) runs SetFrameBuffer -> Clear (transparent) -> monoliths.scene -> "
        "ClearFrameBuffer, whose picture the composite lays over the sky. The Operator and Vec3 nodes "
        "below move the camera round the sculpture."))], [], 1560, 900)

    # Values.
    time.feed("currentBeat", mood, "time").feed("currentBeat", intro, "time")
    time.feed("currentBeat", main, "time").feed("currentBeat", outro, "time")
    time.feed("1-fract", squared, "a").feed("1-fract", squared, "b")
    squared.feed("result", pulse, "a")
    mood.feed("energy", pulse, "b")
    pulse.feed("result", tunnel, "pulse").feed("result", composite, "pulse")

    for name in ("hue", "glow"):
        mood.feed(name, sky, name)
    for name in ("hue", "energy", "twist"):
        mood.feed(name, tunnel, name)
    for name in ("tunnel_mix", "scene_alpha", "bars", "flash", "fade", "hue"):
        mood.feed(name, composite, name)
    mood.feed("tunnel_mix", gate, "a")
    for ev in (intro, outro):
        ev.feed("headline", title, "text")
    # The three sections follow one another without a gap, and each sets both
    # fades: an event node is blocked outside its span and leaves its outputs
    # as they were, at whatever beat the last frame before its end happened to
    # fall on.
    for ev in (intro, main, outro):
        ev.feed("title_alpha", composite, "title_alpha")
        ev.feed("caption_alpha", composite, "caption_alpha").feed("caption", caption, "text")
    pass_size.feed("ivec2", sky, "size").feed("ivec2", tunnel, "size")

    time.feed("currentBeat", angle, "a")
    angle.feed("result", cos_a, "a").feed("result", sin_a, "a")
    cos_a.feed("result", x_scaled, "a").feed("result", y_scaled, "a")
    x_scaled.feed("result", x_world, "a")
    y_scaled.feed("result", y_world, "a")
    sin_a.feed("result", z_world, "a")
    x_world.feed("result", eye, "x")
    y_world.feed("result", eye, "y")
    z_world.feed("result", eye, "z")
    eye.feed("vec3", scene, "position")
    mood.feed("scene_alpha", scene_gate, "a")

    # Pictures.
    sound.feed("texture", tunnel, "texSound").feed("texture", composite, "texSound")
    noise.feed("texture", sky, "tex")
    sky.feed("texture", composite, "tex")
    tunnel.feed("texture", composite, "texTunnel")
    title.feed("texture", composite, "texTitle")
    caption.feed("texture", composite, "texCaption")
    target.feed("texture", back, "texture").feed("texture", composite, "texScene")

    # Order of drawing.
    sound.then(noise, sky, gate, scene_gate, title, caption, composite)
    gate.then(tunnel)
    scene_gate.then(target, clear, scene, back)
    return g.to_json(sound)


def project():
    return {
        "end_beat": END_BEAT,
        "bpm": BPM,
        "beat_offset": 0,
        "textures": TEXTURES,
        "shaders": [{"vertex_shader_filename": VERTEX_SHADERS.get(path, "resources/default.vert"),
                     "fragment_shader_filename": path, "uniform_defs": defs} for path, defs in SHADERS.items()],
        "fonts": FONTS,
        "font_textures": FONT_TEXTURES,
        "datas": [],
        "models": [{"filename": MODEL}],
        "scenes": SCENES,
        "effects": EFFECTS,
        "audio_samples": [],
        "event_groups": [{"name": "sections", "events": ["intro", "main", "outro"]}],
        "events": EVENTS,
        "graph": build_graph(),
    }


def main():
    return write_or_check(HERE, project())


if __name__ == "__main__":
    sys.exit(main())
