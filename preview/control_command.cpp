#include "preview/control_command.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::vector<std::string> split_words(std::string_view line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
        if (j > i) words.emplace_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

bool number(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out) && std::fabs(out) < 1e7;
}

bool whole(const std::string& text, int& out) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = std::atoi(text.c_str());
    return true;
}

// Words of an editing line: spaces split them, except inside double quotes
// (a text key may hold spaces); \" and \\ stand for a quote and a backslash.
bool split_quoted(std::string_view line, std::vector<std::string>& words, std::vector<bool>& quoted) {
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size()) break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    word += line[i + 1];
                    i += 2;
                } else if (line[i] == '"') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    word += line[i++];
                }
            }
            if (!closed) return false;
            quoted.push_back(true);
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
            quoted.push_back(false);
        }
        words.push_back(std::move(word));
    }
    return true;
}

ControlCommand refuse(std::string why) {
    ControlCommand c;
    c.error = std::move(why);
    return c;
}

}  // namespace

ControlCommand parse_control_command(std::string_view line) {
    using Kind = ControlCommand::Kind;
    if (line.size() > kMaxControlLineBytes) return refuse("line too long");
    const std::vector<std::string> w = split_words(line);
    if (w.empty()) return {};
    const std::string& verb = w[0];
    auto arity = [&](size_t n) { return w.size() == n + 1; };
    ControlCommand c;
    if (verb == "key" || verb == "keys" || verb == "track" || verb == "event" || verb == "def" || verb == "undo" ||
        verb == "redo" || verb == "save" || verb == "grid" || verb == "conflict") {
        if (!split_quoted(line, c.words, c.quoted)) return refuse("a quoted text is not closed");
        c.kind = Kind::Edit;
        return c;
    }
    if (verb == "quit" && arity(1) && w[1] == "force") {
        c.kind = Kind::Quit;
        c.a = 1;
        return c;
    }
    if (verb == "pause" || verb == "play" || verb == "status" || verb == "quit") {
        if (!arity(0)) return refuse(verb + " takes no arguments");
        c.kind = verb == "pause" ? Kind::Pause : verb == "play" ? Kind::Play : verb == "status" ? Kind::Status : Kind::Quit;
        return c;
    }
    if (verb == "seek") {
        if (!arity(1) || !number(w[1], c.a)) return refuse("seek wants one beat number");
        c.kind = Kind::Seek;
        return c;
    }
    if (verb == "loop") {
        if (arity(1) && w[1] == "off") {
            c.kind = Kind::LoopOff;
            return c;
        }
        if (!arity(2) || !number(w[1], c.a) || !number(w[2], c.b)) return refuse("loop wants two beats, or off");
        if (!(c.a < c.b)) return refuse("loop wants its start before its end");
        c.kind = Kind::Loop;
        return c;
    }
    if (verb == "overlay" || verb == "timeline") {
        if (!arity(1) || (w[1] != "on" && w[1] != "off")) return refuse(verb + " wants on or off");
        c.kind = verb == "overlay" ? Kind::Overlay : Kind::Timeline;
        c.a = w[1] == "on" ? 1 : 0;
        return c;
    }
    if (verb == "size") {
        const size_t x = arity(1) ? w[1].find('x') : std::string::npos;
        if (x == std::string::npos || !whole(w[1].substr(0, x), c.width) || !whole(w[1].substr(x + 1), c.height) ||
            c.width < 16 || c.height < 16 || c.width > 8192 || c.height > 8192)
            return refuse("size wants WIDTHxHEIGHT between 16 and 8192");
        c.kind = Kind::Size;
        return c;
    }
    if (verb == "screenshot") {
        // The path is the rest of the line, so it may hold spaces.
        const size_t at = line.find("screenshot") + 10;
        std::string path(line.substr(at));
        while (!path.empty() && (path.front() == ' ' || path.front() == '\t')) path.erase(path.begin());
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t' || path.back() == '\r')) path.pop_back();
        if (path.size() < 5 || path.compare(path.size() - 4, 4, ".png") != 0)
            return refuse("screenshot wants a path ending in .png");
        c.kind = Kind::Screenshot;
        c.path = std::move(path);
        return c;
    }
    return refuse("unknown command '" + verb + "'");
}
