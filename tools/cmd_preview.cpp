// qvtool preview: the live preview of a project, wired to the command line.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "check/portability_check.h"
#include "preview/preview.h"
#include "tools/command.h"
#include "tools/png_writer.h"

namespace {

std::vector<std::string> portability_lines(const Demo& demo) {
    std::vector<std::string> lines;
    for (const PortabilityFinding& f : check_demo(demo)) lines.push_back(f.text());
    return lines;
}

}  // namespace

int run_preview(const std::vector<std::string>& args) {
    PreviewOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](size_t n) { return i + n < args.size(); };
        if (a == "--size") {
            if (!value(1)) return usage_error("preview", "--size needs WIDTHxHEIGHT");
            const std::string s = args[++i];
            if (!parse_size(s, o.width, o.height))
                return usage_error("preview", "--size wants WIDTHxHEIGHT between 16 and 8192, not '" + s + "'");
        } else if (a == "--beat") {
            if (!value(1) || !parse_number(args[i + 1], o.beat)) return usage_error("preview", "--beat wants a number");
            o.have_beat = true;
            ++i;
        } else if (a == "--loop") {
            if (!value(2) || !parse_number(args[i + 1], o.loop_start) || !parse_number(args[i + 2], o.loop_end) ||
                !(o.loop_start < o.loop_end))
                return usage_error("preview", "--loop wants two beats A B with A before B");
            o.have_loop = true;
            i += 2;
        } else if (a == "--control") {
            if (!value(1) || args[i + 1] != "-") return usage_error("preview", "--control takes '-' (standard input)");
            o.control = true;
            ++i;
        } else if (!a.empty() && a[0] == '-') {
            return usage_error("preview", "unknown option '" + a + "'");
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return usage_error("preview", "unexpected argument '" + a + "'");
        }
    }
    if (o.input.empty()) return usage_error("preview", "no project given");
    o.write_png = write_png_rgb;
    o.portability = portability_lines;
    return ::run_preview(o);
}
