// qvtool: the command-line companion of the player. It packs JSON projects
// into content, unpacks and inspects content, and runs the content codecs.
#include <cstdio>
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
    "usage: qvtool pack PROJECT.json -o content.dat\n"
    "       qvtool pack PROJECT.json --player PLAYER -o DEMO\n"
    "Packs a JSON project into a content stream. Files the project names\n"
    "(shaders, images, fonts, samples, models, resources/music.mp3) are read\n"
    "relative to the project file's folder. With --player, writes a copy of the\n"
    "player executable with the content, its length and \"DEMO\" appended.\n"
    "Warns on standard error about sounds, pictures, fonts and models that the\n"
    "player will not decode or draw.\n";

const char* const kUnpackUsage =
    "usage: qvtool unpack FILE -o DIR\n"
    "Writes DIR/project.json and the files it names from a content stream or a\n"
    "packed executable. Packing DIR/project.json again gives the same content.\n";

const char* const kInfoUsage =
    "usage: qvtool info FILE\n"
    "Summarises a content stream or packed executable: records per list, tempo,\n"
    "length, sizes, graph nodes by type, and warnings for what playback will not\n"
    "find (unresolved references, unregistered node types, links out of range)\n"
    "and for sounds, pictures, fonts and models it will not decode or draw.\n";

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
    "       qvtool render FILE --from B --to B --fps N -o DIR [--size 1280x720]\n"
    "Draws exact beats of a content file (or packed demo) to PNG files, offline\n"
    "and deterministically: the sound texture and `sound` of each frame come from\n"
    "the decoded music at that frame's time. Frames of a range are DIR/frame_NNNNNN.png;\n"
    "the music is written beside them as WAV (frame.wav, or DIR/music.wav).\n"
    "Needs an X display (xvfb-run on a headless machine). Join frames and music with:\n"
    "  ffmpeg -framerate N -i DIR/frame_%06d.png -i DIR/music.wav -c:v libx264 \\\n"
    "         -pix_fmt yuv420p -shortest demo.mp4\n";

void print_overview(FILE* out) {
    std::fprintf(out, "usage: qvtool COMMAND [ARGS...]\n\nCommands:\n");
    for (const Command& c : all_commands()) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'qvtool COMMAND --help' for the arguments of one command.\n");
}

}  // namespace

int usage_error(const char* command, const std::string& message) {
    std::fprintf(stderr, "qvtool %s: %s (see 'qvtool %s --help')\n", command, message.c_str(), command);
    return 2;
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
        {"unpack", "unpack content into a JSON project with resource files", kUnpackUsage, run_unpack},
        {"info", "summarise a content file and warn about what will not play", kInfoUsage, run_info},
        {"graph", "write the node graph of a content file as a Graphviz DOT file", kGraphUsage, run_graph},
        {"render", "draw exact beats of a demo to PNG files, with its music as WAV", kRenderUsage, run_render},
        {"timeline", "draw the events of a content file on the beat axis as SVG", kTimelineUsage, run_timeline},
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
