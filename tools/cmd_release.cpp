// qvtool release: the folder a demo maker carries to a party. The content is
// packed once and appended to both release players (scripts/build-players),
// with a short text saying what the demo needs and, on request, the video
// capture parties ask for beside it.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "serialization/content_error.h"
#include "serialization/content_trailer.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/media_check.h"

namespace fs = std::filesystem;

namespace {

struct ReleaseOptions {
    std::string input, output, name, players;
    bool video = false;
};

// The name a demo's files get when none is given: the input's own name, or
// for a project file called project.json, its folder's.
std::string default_name(const std::string& input) {
    const fs::path path = fs::absolute(input).lexically_normal();
    std::string name = path.stem().string();
    if (name == "project" && path.has_parent_path()) name = path.parent_path().filename().string();
    return name;
}

// The names are written into DIR: anything that could name a file elsewhere
// (or no file at all) is refused rather than cleaned up quietly.
bool usable_name(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

std::string describe(const Demo& demo, const std::string& name) {
    const double seconds =
        demo.bpm != 0.0f ? (static_cast<double>(demo.end_beat) + demo.beat_offset) * 60.0 / demo.bpm : 0.0;
    const long whole = std::lround(seconds);
    char text[1024];
    std::snprintf(text, sizeof text,
                  "%s\n"
                  "Tempo: %g bpm\n"
                  "Length: %ld:%02ld (%g beats)\n"
                  "\n"
                  "Windows: %s.exe, Windows 10 or newer, 64-bit.\n"
                  "Linux: %s, 64-bit, glibc 2.34 or newer (Ubuntu 22.04, Linux Mint 21, Debian 12 and\n"
                  "newer), X11 or Wayland.\n"
                  "Both need OpenGL 3.0 and play fullscreen at the desktop's resolution; Escape quits.\n"
                  "Nothing else needs to be installed.\n",
                  name.c_str(), demo.bpm, whole / 60, whole % 60, demo.end_beat, name.c_str(), name.c_str());
    return text;
}

void write_text(const fs::path& path, const std::string& text) {
    write_whole_file(path.string(), text.data(), text.size());
}

}  // namespace

int run_release(const std::vector<std::string>& args) {
    ReleaseOptions o;
    o.players = QV_PLAYERS_DIR;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takes_value = a == "-o" || a == "--output" || a == "--name" || a == "--players";
        if (takes_value && i + 1 >= args.size()) return usage_error("release", a + " needs a value");
        if (a == "-o" || a == "--output") o.output = args[++i];
        else if (a == "--name") o.name = args[++i];
        else if (a == "--players") o.players = args[++i];
        else if (a == "--video") o.video = true;
        else if (!a.empty() && a[0] == '-') return usage_error("release", "unknown option '" + a + "'");
        else if (o.input.empty()) o.input = a;
        else return usage_error("release", "unexpected argument '" + a + "'");
    }
    if (o.input.empty()) return usage_error("release", "no project or content file given");
    if (o.output.empty()) return usage_error("release", "no output folder given (-o DIR)");
    if (o.name.empty()) o.name = default_name(o.input);
    if (!usable_name(o.name)) return usage_error("release", "'" + o.name + "' cannot be a file name (--name NAME)");

    const fs::path linux_player = fs::path(o.players) / "linux-x86_64" / "qvplayer";
    const fs::path windows_player = fs::path(o.players) / "windows-x86_64" / "qvplayer.exe";
    for (const fs::path& player : {linux_player, windows_player}) {
        if (!fs::is_regular_file(player)) {
            std::fprintf(stderr, "qvtool release: no release player %s; run scripts/build-players\n",
                         player.string().c_str());
            return 1;
        }
    }

    // A project is packed here; a content file or packed demo keeps the exact
    // bytes it has, after they have been read through once.
    std::unique_ptr<Demo> demo;
    std::string content;
    if (fs::path(o.input).extension() == ".json") {
        demo = load_project(o.input);
        content = content_bytes(*demo);
    } else {
        const std::vector<uint8_t> file = read_whole_file(o.input);
        const ContentSpan span = content_span(file.data(), file.size());
        demo = load_content_file(o.input);
        content.assign(reinterpret_cast<const char*>(file.data() + span.offset), span.size);
    }
    for (const std::string& line : media_warnings(*demo))
        std::fprintf(stderr, "qvtool release: warning: %s\n", line.c_str());

    const fs::path dir = fs::absolute(o.output);
    fs::create_directories(dir);
    const fs::path linux_out = dir / o.name;
    const fs::path windows_out = dir / (o.name + ".exe");
    const std::vector<uint8_t> linux_demo = append_trailer(read_whole_file(linux_player.string()), content);
    write_whole_file(linux_out.string(), linux_demo.data(), linux_demo.size(), true);
    const std::vector<uint8_t> windows_demo = append_trailer(read_whole_file(windows_player.string()), content);
    write_whole_file(windows_out.string(), windows_demo.data(), windows_demo.size(), true);
    write_text(dir / (o.name + ".txt"), describe(*demo, o.name));
    std::printf("wrote %s, %s and %s.txt: %zu bytes of content, %llu records\n", linux_out.string().c_str(),
                windows_out.filename().string().c_str(), o.name.c_str(), content.size(),
                static_cast<unsigned long long>(demo->record_count));
    if (!o.video) return 0;

    // The capture parties ask for: full HD at 60 frames per second, H.264
    // (High, yuv420p) with AAC at 192 kbit/s, which is what the renderer
    // writes into an .mp4 by default.
    const std::string mp4 = (dir / (o.name + ".mp4")).string();
    return run_render({linux_out.string(), "--from", "0", "--to", "end", "--fps", "60", "--size", "1920x1080", "-o",
                       mp4});
}
