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
