// qvtool: the command-line companion of the player. It packs JSON projects
// into content, unpacks and inspects content, and runs the content codecs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/command.h"

namespace {

const char* const kCompressUsage =
    "usage: qvtool compress < INPUT > OUTPUT\n"
    "Reads bytes from standard input and writes them as one compressed message\n"
    "(no scrambling) to standard output.\n";

const char* const kDecompressUsage =
    "usage: qvtool decompress < INPUT > OUTPUT\n"
    "Reads one compressed message from standard input and writes the bytes it\n"
    "holds to standard output. Bytes after the message are ignored.\n";

const char* const kPackUsage =
    "usage: qvtool pack PROJECT.json -o content.dat [--strict]\n"
    "       qvtool pack PROJECT.json --player PLAYER -o DEMO [--strict]\n"
    "Packs a JSON project into a content stream. Files the project names\n"
    "(shaders, images, fonts, samples, models, resources/music.mp3) are read\n"
    "relative to the project file's folder. With --player, writes a copy of the\n"
    "player executable with the content, its length and \"DEMO\" appended.\n"
    "Warns on standard error about sounds, pictures, fonts and models that the\n"
    "player will not decode or draw, then about what 'qvtool check' finds. With\n"
    "--strict, a shader that a strict driver refuses stops the pack: nothing is\n"
    "written and the exit status is 1.\n";

const char* const kReleaseUsage =
    "usage: qvtool release PROJECT.json|CONTENT -o DIR [--name NAME] [--players DIR] [--video]\n"
    "Writes the folder a demo is carried to a party with: DIR/NAME (Linux) and\n"
    "DIR/NAME.exe (Windows), the release players with the content packed once\n"
    "at their ends, and DIR/NAME.txt with the tempo, the length and what the\n"
    "demo needs. NAME defaults to the input's name (a project.json: its folder's).\n"
    "--players names a folder laid out as dist/players, which scripts/build-players\n"
    "writes (the default: that of the checkout qvtool was built from).\n"
    "--video also renders DIR/NAME.mp4: 1920x1080, 60 frames per second, H.264\n"
    "High (yuv420p) and AAC at 192 kbit/s. Warns as pack does.\n";

const char* const kUnpackUsage =
    "usage: qvtool unpack FILE -o DIR\n"
    "Writes DIR/project.json and the files it names from a content stream or a\n"
    "packed executable. Packing DIR/project.json again gives the same content.\n";

const char* const kInfoUsage =
    "usage: qvtool info FILE\n"
    "Summarises a content stream or packed executable: records per list, tempo,\n"
    "length, sizes, graph nodes by type, and warnings for what playback will not\n"
    "find (unresolved references, unregistered node types, links out of range)\n"
    "and for sounds, pictures, fonts and models it will not decode or draw, then\n"
    "what 'qvtool check' finds (shaders a strict driver refuses, GL limits).\n";

const char* const kGraphUsage =
    "usage: qvtool graph FILE -o graph.dot\n"
    "Writes the node graph of a content stream or packed executable as a Graphviz\n"
    "DOT file (render it with 'dot -Tsvg graph.dot -o graph.svg'). Nodes show their\n"
    "type and input values; data links are solid and named 'output -> input',\n"
    "activation links dashed; the root and the self-activating nodes are marked.\n"
    "With -o -, writes to standard output.\n";

const char* const kTimelineUsage =
    "usage: qvtool timeline FILE -o timeline.svg\n"
    "Draws the events of a content stream or packed executable on the beat axis as\n"
    "an SVG picture: one row per event, a bar from its start to its end beat\n"
    "coloured by kind, its control points, and the demo's end beat.\n"
    "With -o -, writes to standard output.\n";

const char* const kRenderUsage =
    "usage: qvtool render FILE --beat B -o frame.png [--size 1280x720]\n"
    "       qvtool render FILE --from B --to B|end --fps N -o DIR [--size 1280x720]\n"
    "       qvtool render FILE --from B --to B|end --fps N -o demo.mp4|.mkv|.webm [--size 1280x720]\n"
    "                     [--crf Q] [--preset P] [--codec C] [--part K/N] [--no-music|--music-only]\n"
    "Draws exact beats of a content file (or packed demo) offline and\n"
    "deterministically: the sound texture and `sound` of each frame come from\n"
    "the decoded music at that frame's time. Frames of a range are DIR/frame_NNNNNN.png\n"
    "with the music beside them as WAV (frame.wav, or DIR/music.wav), or one video\n"
    "file with the music of the range: H.264 and AAC in .mp4 and .mkv, VP9 and Opus\n"
    "in .webm. --crf (default 18 for H.264, 31 for VP9) and --preset (default medium;\n"
    "for VP9 good, best or realtime) go to the video encoder; --codec picks another\n"
    "(h264, vp9 or an FFmpeg encoder name). --to end is the demo's end beat.\n"
    "--part K/N renders the K-th of N equal runs of the range's frames, --no-music\n"
    "leaves the sound out and --music-only writes only the sound: what\n"
    "scripts/render-farm joins. Works with or without an X display (EGL then).\n";

const char* const kImportShaderUsage =
    "usage: qvtool import-shader FILE.glsl PROJECT.json [--name NAME] [--common FILE]\n"
    "Adds a shader written in the image-shader style (mainImage with iTime,\n"
    "iResolution, iChannel0..3, ...) to a project as a program drawn last by the\n"
    "graph: writes resources/NAME.frag (GLSL 1.50 with the declarations and macros\n"
    "that map those names onto the player's uniforms, the shader, and a main), the\n"
    "program and its node. NAME defaults to the file's name; an existing one is\n"
    "refused. --common gives the Common part shared by the shader's passes. Makes\n"
    "a new project when PROJECT.json does not exist (its music a moment of silence\n"
    "in resources/music.mp3). What cannot be mapped (cube maps, 3D textures,\n"
    "buffer passes) is named in one line; the rest is written.\n";

const char* const kImportRocketUsage =
    "usage: qvtool import-rocket FILE.rocket PROJECT.json --event NAME [--rows-per-beat N]\n"
    "Adds the tracks that a sync tracker's editor saved (its XML, either form) to a\n"
    "project as a new uniforms event NAME from beat 0: one uniform definition and\n"
    "track per tracker track, in file order, named as a GLSL name (other characters\n"
    "become '_'; renamed tracks are listed), its range that of the track's keys.\n"
    "Each track plays its tracker curve within 1 % of its range: steps are two\n"
    "points on one beat, smooth and ramp keys are sampled 16 times a beat. The\n"
    "event's node is added to the graph, its time from the first Time node.\n"
    "Rows per beat: N, else the file's rowsPerBeat, else 8. An existing NAME and\n"
    "malformed XML are refused, with the project unchanged; otherwise the project\n"
    "gains the event and node and every other byte of it stays as it was.\n";

const char* const kNewUsage =
    "usage: qvtool new DIR\n"
    "Writes a small demo project into DIR (which must be empty or not exist):\n"
    "project.json, an image-style shader, a uniforms event that drives one of\n"
    "its uniforms, and a short generated music file. It packs and plays at once:\n"
    "  qvtool pack DIR/project.json -o content.dat\n";

const char* const kPreviewUsage =
    "usage: qvtool preview PROJECT.json [--size WxH] [--beat B] [--loop A B] [--control -]\n"
    "Plays a project in a window, timed by its music, and reloads it when its\n"
    "files are saved: a shader recompiles in place, anything else re-reads the\n"
    "project; a broken save keeps the last good version and shows the error.\n"
    "A content file or packed demo plays too, without reloading.\n"
    "Keys: Space pause, Left/Right 1 beat (Shift 4), PageUp/PageDown 16 beats,\n"
    "Home start, [ and ] loop start and end, Backspace no loop, F fullscreen,\n"
    "Tab overlay, P frame cost per node, Escape quit.\n"
    "With --control -, reads one command a line from standard input and answers\n"
    "each with one JSON line on standard output: seek BEAT, pause, play,\n"
    "loop A B, loop off, size WxH, screenshot PATH.png, status, overlay on|off,\n"
    "quit.\n";

const char* const kCheckUsage =
    "usage: qvtool check PROJECT.json|CONTENT [--json]\n"
    "Compiles every shader program as the player does (after #include\n"
    "expansion) with the reference GLSL front end, for desktop OpenGL at the\n"
    "source's own #version (core profile from 150), and links each pair. Prints\n"
    "one line per finding, FILE:LINE:COLUMN: error|warning: message, with lines\n"
    "of included programs in their own file; habits that lax drivers accept\n"
    "(saturate, float3, texture2D in a core source, ...) are named with their\n"
    "portable spelling. Warns about what asks the GL for more than OpenGL 3.0\n"
    "guarantees: pictures and render targets over 8192 pixels a side, more than\n"
    "16 samplers or 1024 uniform components, extensions. With --json, prints the\n"
    "findings (record, file, line, column, severity, message) as JSON.\n"
    "Exit status: 0 clean or warnings only, 1 errors, 2 bad arguments.\n";

const char* const kProfileUsage =
    "usage: qvtool profile FILE --from B --to B [--size 1280x720] [--fps 60]\n"
    "Draws the beats of a project or content file offline (--fps frames per\n"
    "second of demo time, without the music) and prints what every graph node\n"
    "that ran cost per frame: CPU time from the clock and GPU time from timer\n"
    "queries around its run, each as mean, 95th percentile and maximum in\n"
    "milliseconds, with its share of the frame, most expensive first, and the\n"
    "frame's own totals. Rows name the node's type, with its id (#ID) where\n"
    "the type occurs more than once.\n";

void print_overview(FILE* out) {
    std::fprintf(out, "usage: qvtool COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : all_commands()) std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'qvtool COMMAND --help' for the arguments of one command.\n");
}

}  // namespace

int usage_error(const char* command, const std::string& message) {
    std::fprintf(stderr, "qvtool %s: %s (see 'qvtool %s --help')\n", command, message.c_str(), command);
    return 2;
}

bool parse_number(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(out);
}

bool parse_size(const std::string& text, int& width, int& height) {
    char tail = 0;
    return std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &tail) == 2 && width >= 16 && height >= 16 &&
           width <= 8192 && height <= 8192;
}

bool wants_help(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

const std::vector<Command>& all_commands() {
    static const std::vector<Command> commands = {
        {"compress", "compress standard input into one message", kCompressUsage, run_compress},
        {"decompress", "decompress one message from standard input", kDecompressUsage, run_decompress},
        {"pack", "pack a JSON project into content or a playable executable", kPackUsage, run_pack},
        {"release", "write the Linux and Windows demo files and a note for a party", kReleaseUsage, run_release},
        {"unpack", "unpack content into a JSON project with resource files", kUnpackUsage, run_unpack},
        {"info", "summarise a content file and warn about what will not play", kInfoUsage, run_info},
        {"graph", "write the node graph of a content file as a Graphviz DOT file", kGraphUsage, run_graph},
        {"render", "draw exact beats of a demo to PNG files or to a video with its music", kRenderUsage, run_render},
        {"new", "write a small project that packs and plays at once", kNewUsage, run_new},
        {"import-shader", "add an image shader to a project as a program drawn by the graph", kImportShaderUsage,
         run_import_shader},
        {"import-rocket", "add a sync tracker's tracks to a project as a uniforms event", kImportRocketUsage,
         run_import_rocket},
        {"timeline", "draw the events of a content file on the beat axis as SVG", kTimelineUsage, run_timeline},
        {"check", "check that every shader compiles on a strict driver, and the GL limits", kCheckUsage,
         run_check},
        {"profile", "tell what every graph node costs per frame, CPU and GPU", kProfileUsage, run_profile},
        {"preview", "play a project in a window and reload it when its files are saved", kPreviewUsage, run_preview},
    };
    return commands;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        print_overview(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        print_overview(stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& c : all_commands()) {
        if (name != c.name) continue;
        if (wants_help(args)) {
            std::fputs(c.usage, stdout);
            return 0;
        }
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "qvtool %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "qvtool: unknown command '%s' (see 'qvtool --help')\n", name.c_str());
    return 2;
}
