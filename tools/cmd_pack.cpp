// qvtool pack: a JSON project to a content stream, or to a playable executable.
#include <cstdio>
#include <filesystem>

#include "check/portability_check.h"
#include "serialization/content_trailer.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/media_check.h"

int run_pack(const std::vector<std::string>& args) {
    std::string project, output, player;
    bool strict = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "-o" || a == "--output" || a == "--player") && i + 1 >= args.size())
            return usage_error("pack", a + " needs a value");
        if (a == "-o" || a == "--output") output = args[++i];
        else if (a == "--player") player = args[++i];
        else if (a == "--strict") strict = true;
        else if (!a.empty() && a[0] == '-') return usage_error("pack", "unknown option '" + a + "'");
        else if (project.empty()) project = a;
        else return usage_error("pack", "unexpected argument '" + a + "'");
    }
    if (project.empty()) return usage_error("pack", "no project file given");
    if (output.empty()) return usage_error("pack", "no output file given (-o FILE)");
    const std::string output_path = std::filesystem::absolute(output).string();

    auto demo = load_project(project);
    // Packing goes on: the warnings name what will not play, not a broken project.
    for (const std::string& line : media_warnings(*demo)) std::fprintf(stderr, "qvtool pack: warning: %s\n", line.c_str());
    const std::vector<PortabilityFinding> findings = check_demo(*demo);
    for (const PortabilityFinding& f : findings) std::fprintf(stderr, "qvtool pack: warning: %s\n", f.text().c_str());
    if (strict && error_count(findings) > 0) {
        std::fprintf(stderr, "qvtool pack: %zu shader errors that a strict driver refuses; nothing written (--strict)\n",
                     error_count(findings));
        return 1;
    }
    const std::string content = content_bytes(*demo);
    if (player.empty()) {
        write_whole_file(output_path, content.data(), content.size());
        std::printf("wrote %s: %zu bytes of content, %llu records\n", output.c_str(), content.size(),
                    static_cast<unsigned long long>(demo->record_count));
    } else {
        const std::vector<uint8_t> packed = append_trailer(read_whole_file(player), content);
        write_whole_file(output_path, packed.data(), packed.size(), true);
        std::printf("wrote %s: player with %zu bytes of content, %llu records\n", output.c_str(), content.size(),
                    static_cast<unsigned long long>(demo->record_count));
    }
    return 0;
}
