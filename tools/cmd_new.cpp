// qvtool new: a small project to start a demo from. It packs and plays as
// written and shows the parts a demo is made of: a shader in the image-shader
// style, a clock, a uniforms event driving one of the shader's uniforms, and
// music.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "serialization/content_error.h"
#include "serialization/demo.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/shader_import.h"
#include "tools/wav_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBpm = 120;
constexpr int kBeats = 32;
constexpr const char* kShaderName = "rings";

// The starting shader, as a demo maker would write it; the wrapper adds the
// declarations and macros the player needs, as for any imported shader.
constexpr const char* kRingsShader = R"(// Rings of colour drifting outwards, flashing on every beat.
// Edit me: iTime counts seconds, iResolution is the picture's size, and
// `glow` comes from the "pulse" event of the project (1 on the beat, fading).
uniform float glow;

void mainImage(out vec4 fragColor, in vec2 fragCoord) {
    vec2 uv = (2.0 * fragCoord - iResolution.xy) / iResolution.y;
    float r = length(uv);
    vec3 col = 0.5 + 0.5 * cos(iTime + r * 6.0 - vec3(0.0, 2.0, 4.0));
    col *= 0.35 + 0.65 * glow * smoothstep(1.2, 0.0, r);
    fragColor = vec4(col, 1.0);
}
)";

// ------------------------------------------------------------------ music

// A 16-bit mono WAV file: a kick on every beat over a bass line of four
// chords (A minor, F, C, G), one per bar, with half a second to ring out.
std::vector<uint8_t> make_music() {
    constexpr int rate = 22050;
    const double seconds_per_beat = 60.0 / kBpm;
    const size_t frames = static_cast<size_t>((kBeats * seconds_per_beat + 0.5) * rate);
    const double roots[4] = {110.0, 87.307, 130.813, 97.999};  // A2, F2, C3, G2
    const double pi = 3.14159265358979;
    std::vector<int16_t> pcm(frames);
    double kick_phase = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double beat = t / seconds_per_beat;
        const int whole = static_cast<int>(beat);
        const double in_beat = (beat - whole) * seconds_per_beat;  // seconds since the beat
        double v = 0.0;
        if (whole < kBeats) {
            // Kick: a sine falling from 150 to 50 Hz, gone after a quarter second.
            kick_phase += 2.0 * pi * (50.0 + 100.0 * std::exp(-in_beat * 30.0)) / rate;
            v += 0.55 * std::exp(-in_beat * 12.0) * std::sin(kick_phase);
            // Bass: the chord's root, plucked on every half beat.
            const double root = roots[(whole / 4) % 4];
            const double half = std::fmod(beat * 2.0, 1.0) * seconds_per_beat / 2.0;
            v += 0.25 * std::exp(-half * 6.0) * std::sin(2.0 * pi * root * t) *
                 (1.0 + 0.3 * std::sin(2.0 * pi * root * 2.0 * t));
        }
        v *= std::min(1.0, std::max(0.0, (kBeats * seconds_per_beat + 0.5 - t) * 2.0));  // fade at the end
        pcm[i] = static_cast<int16_t>(std::lround(std::max(-1.0, std::min(1.0, v)) * 30000.0));
    }

    return wav_file_bytes(pcm, rate);
}

// ------------------------------------------------------------------ project

ProjectJson pulse_event() {
    // 1 on every beat, falling to a quarter by three quarters of the beat.
    ProjectJson points = ProjectJson::array();
    for (int b = 0; b < kBeats; ++b) {
        points.push_back({{"beat", b}, {"value", 1.0}});
        points.push_back({{"beat", b + 0.75}, {"value", 0.25}});
    }
    return {{"type", 4},
            {"name", "pulse"},
            {"visible", "true"},
            {"start_beat", 0},
            {"end_beat", kBeats},
            {"uniform_defs", ProjectJson::array({{{"name", "glow"}, {"min_val", 0}, {"max_val", 1}, {"default_val", 0}}})},
            {"control_points", {{"glow", {{"mode", 1}, {"repeat", false}, {"points", points}}}}}};
}

ProjectJson starter_project() {
    ProjectJson project = empty_project(kBpm, kBeats);
    project["events"].push_back(pulse_event());
    project["graph"] = {{"root", 0}, {"nodes", ProjectJson::array()}};
    GraphIds ids(project["graph"]);
    ProjectJson& nodes = project["graph"]["nodes"];
    // Values first: the clock, then the event that reads it; both run every
    // frame on their own before the root draws.
    nodes.push_back(make_node(ids, "Time", ProjectJson::array(), 3, 40, 40, true));
    nodes.push_back(make_node(ids, "pulse.event", ProjectJson::array({absent_value()}), 1, 280, 40, true));
    nodes.push_back(make_node(ids, "Note",
                              ProjectJson::array({present_value(3,
                                  "Time feeds the pulse event, whose glow output drives the uniform of the same "
                                  "name in resources/rings.frag; the program node, the root, draws it to the "
                                  "screen every frame.")}),
                              0, 40, 200, false));
    project["graph"].erase("root");  // the program node becomes the root
    ProjectJson defs = ProjectJson::array({{{"name", "glow"}, {"min_val", 0}, {"max_val", 1}, {"default_val", 0.5}}});
    ProjectJson& program = add_program_node(project, kShaderName, defs);
    program["posX"] = 520;
    program["posY"] = 40;
    GraphIds more(project["graph"]);
    ProjectJson& time = project["graph"]["nodes"][0];
    ProjectJson& pulse = project["graph"]["nodes"][1];
    add_data_link(more, time, 0, pulse, 0);   // currentBeat -> time
    add_data_link(more, pulse, 0, program, 3);  // glow -> glow (after size, tex, internal)
    return project;
}

}  // namespace

int run_new(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage_error("new", args.empty() ? "no folder given" : "one folder, no options");
    const fs::path dir = args[0];
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec)) throw ContentError(dir.string() + " exists and is not a folder");
        if (!fs::is_empty(dir, ec)) throw ContentError(dir.string() + " is not empty: new writes only into an empty folder");
    }
    fs::create_directories(dir / "resources", ec);
    if (ec) throw ContentError("cannot make " + (dir / "resources").string());

    ProjectJson project = starter_project();
    const ImageShader shader = write_image_program(dir.string(), kShaderName, kRingsShader, "",
                                                   project_seconds_per_beat(project));
    if (!shader.unmapped.empty()) throw ContentError("the starting shader does not wrap: " + describe_unmapped(shader));
    const std::vector<uint8_t> music = make_music();
    // The project form names its music resources/music.mp3 whatever the
    // format; the player tells WAV data from its bytes.
    write_whole_file((dir / kExternalMusicPath).string(), music.data(), music.size());
    replace_file((dir / "project.json").string(), project_json_text(project));

    std::printf("wrote %s: project.json, %s, %s (%d beats at %d bpm)\n", dir.string().c_str(),
                imported_fragment_path(kShaderName).c_str(), kExternalMusicPath, kBeats, kBpm);
    std::printf("play it: qvtool pack %s -o content.dat\n", (dir / "project.json").string().c_str());
    return 0;
}
