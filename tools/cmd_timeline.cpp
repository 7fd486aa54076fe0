// qvtool timeline: the events of a content file on the beat axis, as SVG.
//
// One row per event in stored order: its name on the left, a bar from
// start_beat to end_beat coloured by the event's kind (faded and dashed when
// the event is not visible), and one lane per track under the name with the
// track's control points at start_beat + point beat (numeric points joined
// into a small curve scaled to the lane, text points as diamonds whose
// tooltip holds the text). The demo's end beat is a vertical line over all
// rows.
//
// The picture must stay well-formed for any content: beats that are NaN are
// skipped, infinite or huge beats are clamped to a bounded axis, and every
// text from the content is escaped.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/picture_text.h"

namespace {

using picture_text::xml_text;

// Beats beyond this distance from 0 are drawn at this distance: the axis of a
// demo with one absurd beat would otherwise squash every other event to a dot.
constexpr double kBeatLimit = 1.0e6;
constexpr int kMaxTicks = 24;

constexpr double kMargin = 16;
constexpr double kLabelWidth = 210;
constexpr double kPlotLeft = kMargin + kLabelWidth + 10;
constexpr double kPlotWidth = 960;
constexpr double kWidth = kPlotLeft + kPlotWidth + 40;
constexpr double kAxisY = 78;
constexpr double kRowsTop = 90;
constexpr double kRowHeight = 26;   // an event without tracks
constexpr double kBarHeight = 16;
constexpr double kLaneHeight = 14;  // one per track, under the event's name

constexpr size_t kMaxNameChars = 30;
constexpr size_t kMaxTooltipChars = 200;

const char* const kTrackColours[] = {"#1B1B3A", "#8B1E3F", "#0B6E4F", "#6A4C93", "#B35C00", "#00547A"};

struct KindStyle {
    const char* name;
    const char* fill;
};

KindStyle style_of(int32_t type) {
    switch (type) {
        case EventType::effect: return {"effect", "#4C78A8"};
        case EventType::audio_sample: return {"audio sample", "#F58518"};
        case EventType::group: return {"group", "#B279A2"};
        case EventType::uniforms: return {"uniforms", "#54A24B"};
        default: return {"other", "#9D9D9D"};
    }
}

std::string num(double v) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.1f", v);
    return buffer;
}

std::string beat_text(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

// The visible stretch of the beat axis and the mapping onto the plot.
class BeatAxis {
public:
    void include(double beat) {
        if (!std::isfinite(beat)) return;
        beat = std::clamp(beat, -kBeatLimit, kBeatLimit);
        lo_ = std::min(lo_, beat);
        hi_ = std::max(hi_, beat);
    }
    void finish() {
        if (hi_ - lo_ < 1.0) hi_ = lo_ + 1.0;
    }
    double lo() const { return lo_; }
    double hi() const { return hi_; }
    // Callers skip NaN; infinities land on the ends.
    double x(double beat) const {
        const double b = std::clamp(beat, lo_, hi_);
        return kPlotLeft + (b - lo_) / (hi_ - lo_) * kPlotWidth;
    }
    // A power of two, so that ticks fall on bars and phrases at any zoom.
    double tick_step() const {
        double step = 1.0 / 16.0;
        while ((hi_ - lo_) / step > kMaxTicks) step *= 2.0;
        return step;
    }

private:
    double lo_ = 0.0;
    double hi_ = 0.0;
};

BeatAxis axis_for(const Demo& demo) {
    BeatAxis axis;
    axis.include(demo.end_beat);
    for (const auto& e : demo.events) {
        axis.include(e->start_beat);
        axis.include(e->end_beat);
        for (const auto& [name, track] : e->control_points)
            for (const ControlPoint& p : track.points) axis.include(e->start_beat + p.beat);
    }
    axis.finish();
    return axis;
}

void draw_axis(std::string& out, const BeatAxis& axis, double bottom) {
    const double step = axis.tick_step();
    out += "<g class=\"axis\">\n";
    out += "<line x1=\"" + num(kPlotLeft) + "\" y1=\"" + num(kAxisY) + "\" x2=\"" + num(kPlotLeft + kPlotWidth) +
           "\" y2=\"" + num(kAxisY) + "\" stroke=\"#333\"/>\n";
    double first = std::ceil(axis.lo() / step) * step;
    for (int i = 0; i <= kMaxTicks + 1; ++i) {
        const double beat = first + i * step;
        if (beat > axis.hi() + step * 1e-6) break;
        const std::string x = num(axis.x(beat));
        out += "<line x1=\"" + x + "\" y1=\"" + num(kAxisY - 5) + "\" x2=\"" + x + "\" y2=\"" + num(bottom) +
               "\" class=\"grid\"/>\n";
        out += "<text x=\"" + x + "\" y=\"" + num(kAxisY - 8) + "\" class=\"tick\">" + beat_text(beat) + "</text>\n";
    }
    out += "</g>\n";
}

// Each track has a lane of its own, so that curves of different scales do not
// cross one another.
double row_height(const Event& e) {
    if (e.control_points.empty()) return kRowHeight;
    return 24 + kLaneHeight * static_cast<double>(e.control_points.size());
}

void draw_track(std::string& out, const Event& e, const std::string& uniform, const ControlPointTrack& track,
                const BeatAxis& axis, double lane_top, const char* colour) {
    struct Placed {
        double x;
        const ControlPoint* point;
    };
    std::vector<Placed> placed;
    float vmin = 0, vmax = 0;
    bool any_value = false;
    for (const ControlPoint& p : track.points) {
        // Absolute beats are summed in single precision, as playback does.
        const float beat = e.start_beat + p.beat;
        if (!std::isfinite(beat)) continue;
        placed.push_back({axis.x(beat), &p});
        if (p.text.empty() && std::isfinite(p.value)) {
            vmin = any_value ? std::min(vmin, p.value) : p.value;
            vmax = any_value ? std::max(vmax, p.value) : p.value;
            any_value = true;
        }
    }
    const double top = lane_top + 2, height = kLaneHeight - 4;
    const double range = static_cast<double>(vmax) - vmin;
    auto y_of = [&](float v) {
        if (range <= 0) return top + height / 2;
        return top + height - (static_cast<double>(v) - vmin) / range * height;
    };

    // The curve of the numeric points, in stored order like the evaluation.
    std::string polyline;
    double last_x = 0, last_y = 0;
    bool started = false;
    for (const Placed& p : placed) {
        if (!p.point->text.empty() || !std::isfinite(p.point->value)) continue;
        const double y = y_of(p.point->value);
        if (started && track.mode == InterpolationMode::last_value) polyline += num(p.x) + "," + num(last_y) + " ";
        polyline += num(p.x) + "," + num(y) + " ";
        last_x = p.x;
        last_y = y;
        started = true;
    }
    // Without repeat, a track holds its last value until the event ends.
    if (started && !track.repeat && !std::isnan(e.end_beat) && axis.x(e.end_beat) > last_x)
        polyline += num(axis.x(e.end_beat)) + "," + num(last_y);
    if (!polyline.empty())
        out += "<polyline points=\"" + polyline + "\" fill=\"none\" stroke=\"" + colour +
               "\" stroke-width=\"1.2\" stroke-opacity=\"0.8\"/>\n";

    const std::string name = xml_text(uniform, kMaxNameChars);
    out += "<text x=\"" + num(kMargin + 28) + "\" y=\"" + num(lane_top + kLaneHeight - 3) + "\" class=\"track\" fill=\"" +
           colour + "\">" + name + "</text>\n";
    for (const Placed& p : placed) {
        const ControlPoint& cp = *p.point;
        const std::string at = " at beat " + beat_text(e.start_beat + cp.beat);
        if (!cp.text.empty()) {
            const double cy = lane_top + kLaneHeight / 2;
            out += "<path d=\"M" + num(p.x) + "," + num(cy - 5) + " l4,5 l-4,5 l-4,-5 z\" fill=\"" + colour +
                   "\" class=\"textpoint\"><title>" + name + ": &quot;" + xml_text(cp.text, kMaxTooltipChars) +
                   "&quot;" + at + "</title></path>\n";
        } else {
            const double y = std::isfinite(cp.value) ? y_of(cp.value) : lane_top + kLaneHeight / 2;
            out += "<circle cx=\"" + num(p.x) + "\" cy=\"" + num(y) + "\" r=\"2.5\" fill=\"" + colour +
                   "\"><title>" + name + " = " + beat_text(cp.value) + at + "</title></circle>\n";
        }
    }
}

void draw_event(std::string& out, const Event& e, size_t row, double top, const BeatAxis& axis) {
    const double height = row_height(e);
    const bool lanes = !e.control_points.empty();
    const KindStyle kind = style_of(e.type);
    out += "<g class=\"event\">\n";
    std::string tooltip = xml_text(e.name, kMaxTooltipChars) + " (" + kind.name + "), beats " +
                          beat_text(e.start_beat) + " to " + beat_text(e.end_beat);
    if (!e.visible) tooltip += ", hidden";
    out += "<title>" + tooltip + "</title>\n";
    if (row % 2 == 1)
        out += "<rect x=\"" + num(kMargin) + "\" y=\"" + num(top) + "\" width=\"" +
               num(kPlotLeft + kPlotWidth - kMargin) + "\" height=\"" + num(height) + "\" class=\"stripe\"/>\n";
    out += "<rect x=\"" + num(kMargin) + "\" y=\"" + num(top + 8) + "\" width=\"10\" height=\"10\" fill=\"" +
           kind.fill + "\"/>\n";
    out += "<text x=\"" + num(kMargin + 16) + "\" y=\"" + num(top + 17) + "\" class=\"name\">" +
           (e.name.empty() ? std::string("<tspan class=\"note\">(no name)</tspan>") : xml_text(e.name, kMaxNameChars)) +
           "</text>\n";

    if (std::isnan(e.start_beat) || std::isnan(e.end_beat)) {
        out += "<text x=\"" + num(kPlotLeft + 4) + "\" y=\"" + num(top + 17) +
               "\" class=\"note\">(span is not a number)</text>\n";
    } else {
        double x1 = axis.x(e.start_beat), x2 = axis.x(e.end_beat);
        if (x2 < x1) std::swap(x1, x2);
        const double width = std::max(x2 - x1, 2.0);
        // Behind lanes the bar is paler, so that the curves read well on it.
        const double bar_top = lanes ? top + 4 : top + (kRowHeight - kBarHeight) / 2;
        const double bar_height = lanes ? height - 8 : kBarHeight;
        const char* opacity = !e.visible ? "0.2" : lanes ? "0.3" : "0.55";
        out += "<rect x=\"" + num(x1) + "\" y=\"" + num(bar_top) + "\" width=\"" + num(width) + "\" height=\"" +
               num(bar_height) + "\" rx=\"3\" fill=\"" + kind.fill + "\" fill-opacity=\"" + opacity + "\"" +
               (e.visible ? "" : " stroke-dasharray=\"4,2\"") +
               " stroke=\"" + kind.fill + "\"/>\n";
    }
    size_t k = 0;
    for (const auto& [uniform, track] : e.control_points) {
        draw_track(out, e, uniform, track, axis, top + 22 + kLaneHeight * static_cast<double>(k),
                   kTrackColours[k % std::size(kTrackColours)]);
        ++k;
    }
    out += "</g>\n";
}

void draw_legend(std::string& out, double top) {
    double x = kMargin;
    out += "<g class=\"legend\">\n";
    for (int32_t type : {int32_t{EventType::effect}, int32_t{EventType::audio_sample}, int32_t{EventType::group},
                         int32_t{EventType::uniforms}, int32_t{0}}) {
        const KindStyle kind = style_of(type);
        out += "<rect x=\"" + num(x) + "\" y=\"" + num(top) + "\" width=\"18\" height=\"10\" rx=\"2\" fill=\"" +
               kind.fill + "\" fill-opacity=\"0.55\" stroke=\"" + kind.fill + "\"/>\n";
        out += "<text x=\"" + num(x + 24) + "\" y=\"" + num(top + 9) + "\">" + kind.name + "</text>\n";
        x += 120;
    }
    out += "<rect x=\"" + num(x) + "\" y=\"" + num(top) +
           "\" width=\"18\" height=\"10\" rx=\"2\" fill=\"#777\" fill-opacity=\"0.2\" stroke=\"#777\" "
           "stroke-dasharray=\"4,2\"/>\n<text x=\"" +
           num(x + 24) + "\" y=\"" + num(top + 9) + "\">hidden</text>\n";
    x += 100;
    out += "<circle cx=\"" + num(x + 4) + "\" cy=\"" + num(top + 5) + "\" r=\"2.5\" fill=\"#1B1B3A\"/>\n<text x=\"" +
           num(x + 12) + "\" y=\"" + num(top + 9) + "\">control point</text>\n";
    x += 120;
    out += "<path d=\"M" + num(x + 4) + "," + num(top) + " l4,5 l-4,5 l-4,-5 z\" fill=\"#1B1B3A\"/>\n<text x=\"" +
           num(x + 12) + "\" y=\"" + num(top + 9) + "\">text point</text>\n";
    x += 100;
    out += "<line x1=\"" + num(x) + "\" y1=\"" + num(top - 2) + "\" x2=\"" + num(x) + "\" y2=\"" + num(top + 12) +
           "\" class=\"end\"/>\n<text x=\"" + num(x + 6) + "\" y=\"" + num(top + 9) + "\">end beat</text>\n";
    out += "</g>\n";
}

std::string timeline_svg(const Demo& demo, const std::string& path) {
    const BeatAxis axis = axis_for(demo);
    double rows_bottom = kRowsTop + (demo.events.empty() ? kRowHeight : 0);
    for (const auto& e : demo.events) rows_bottom += row_height(*e);
    const double height = rows_bottom + 50;

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(kWidth) + "\" height=\"" + num(height) +
           "\" viewBox=\"0 0 " + num(kWidth) + " " + num(height) + "\" font-family=\"Helvetica, Arial, sans-serif\">\n";
    out += "<style>text{font-size:11px;fill:#222}.title{font-size:15px;font-weight:bold}.sub{fill:#555}"
           ".tick{font-size:9px;fill:#555;text-anchor:middle}.grid{stroke:#000;stroke-opacity:0.08}"
           ".stripe{fill:#F3F5F8}.note{fill:#999;font-style:italic}.end{stroke:#C92A2A;stroke-width:2}"
           ".name{font-size:12px}.track{font-size:9px}</style>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#FFFFFF\"/>\n";
    out += "<text x=\"" + num(kMargin) + "\" y=\"24\" class=\"title\">Timeline of " + xml_text(path, 80) + "</text>\n";
    std::string sub = std::to_string(demo.events.size()) + " events, tempo " + beat_text(demo.bpm) +
                      " bpm, end beat " + beat_text(demo.end_beat);
    if (std::isfinite(demo.end_beat) && std::isfinite(demo.bpm) && demo.bpm > 0) {
        char seconds[64];
        std::snprintf(seconds, sizeof seconds, " (%.1f s)",
                      (static_cast<double>(demo.end_beat) + demo.beat_offset) * 60.0 / demo.bpm);
        sub += seconds;
    }
    out += "<text x=\"" + num(kMargin) + "\" y=\"42\" class=\"sub\">" + sub + "</text>\n";
    out += "<text x=\"" + num(kMargin) + "\" y=\"" + num(kAxisY - 8) + "\" class=\"sub\">beat</text>\n";

    draw_axis(out, axis, rows_bottom);
    if (demo.events.empty())
        out += "<text x=\"" + num(kPlotLeft + 4) + "\" y=\"" + num(kRowsTop + 17) +
               "\" class=\"note\">(no events)</text>\n";
    double top = kRowsTop;
    for (size_t i = 0; i < demo.events.size(); ++i) {
        draw_event(out, *demo.events[i], i, top, axis);
        top += row_height(*demo.events[i]);
    }

    if (!std::isnan(demo.end_beat)) {
        const std::string x = num(axis.x(demo.end_beat));
        out += "<line x1=\"" + x + "\" y1=\"" + num(kAxisY - 4) + "\" x2=\"" + x + "\" y2=\"" + num(rows_bottom) +
               "\" class=\"end\"><title>end beat " + beat_text(demo.end_beat) + "</title></line>\n";
    }
    draw_legend(out, rows_bottom + 20);
    out += "</svg>\n";
    return out;
}

}  // namespace

int run_timeline(const std::vector<std::string>& args) {
    std::string input, output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) return usage_error("timeline", a + " needs a value");
            output = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("timeline", "unknown option '" + a + "'");
        } else if (input.empty()) {
            input = a;
        } else {
            return usage_error("timeline", "unexpected argument '" + a + "'");
        }
    }
    if (input.empty()) return usage_error("timeline", "no content file given");
    if (output.empty()) return usage_error("timeline", "no output file given (-o timeline.svg)");

    auto demo = load_content_file(input);
    const std::string svg = timeline_svg(*demo, input);
    if (output == "-") {
        std::fwrite(svg.data(), 1, svg.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    write_whole_file(output, svg.data(), svg.size());
    std::printf("wrote %s: %zu events\n", output.c_str(), demo->events.size());
    return 0;
}
