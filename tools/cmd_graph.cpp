// qvtool graph: the node graph of a content file as a Graphviz DOT file.
//
// Each node is a table: a header with its type's label (the stored type name
// for a type that is not registered), then one row per port with the input's
// name and present value on the left and the output's name on the right, so
// that data links can leave and enter the rows of their ports. Data links are
// solid and labelled "output -> input"; activation links are dashed, bold, go
// from header to header and are numbered in the order they run when a node
// has several. The root and the self-activating nodes are marked
// by their header colour and a word, and a legend explains the marks.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "nodes/node_type.h"
#include "tools/command.h"
#include "tools/content_file.h"
#include "tools/picture_text.h"

namespace {

using picture_text::dot_html_escape;
using picture_text::dot_text;
using picture_text::readable;

// Rows drawn per node; content may declare any number of ports, and a node a
// screen high says nothing more than one that mentions how many were left out.
constexpr size_t kMaxRows = 64;
constexpr size_t kMaxTextChars = 40;   // string values, choice labels
constexpr size_t kMaxNameChars = 48;   // type labels, port names
constexpr size_t kMaxComponents = 4;   // matrix components shown before "…"

const char* const kDataColour = "#1F4E79";
const char* const kActivationColour = "#D9480F";
const char* const kBrokenColour = "#C92A2A";
const char* const kPlainHeader = "#E7EEF7";
const char* const kRootHeader = "#FFD866";
const char* const kSelfHeader = "#C3E6CB";
const char* const kUnregisteredHeader = "#F5C2C2";

// Texts made here are ASCII or UTF-8 (the ellipsis), never content bytes.
std::u32string readable_text(const std::string& text) { return readable(text, 0); }

std::string format_number(float v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(v));
    return buffer;
}

std::string format_floats(const Nodes::Value& v, size_t count, size_t shown) {
    std::string out = "(";
    for (size_t i = 0; i < std::min(count, shown); ++i) {
        if (i) out += ", ";
        out += format_number(v.as_float(i));
    }
    if (count > shown) out += ", \u2026";  // UTF-8 ellipsis; decoded again by readable()
    return out + ")";
}

std::string format_ints(const Nodes::Value& v, size_t count) {
    std::string out = "(";
    for (size_t i = 0; i < count; ++i) {
        if (i) out += ", ";
        out += std::to_string(v.as_int(i));
    }
    return out + ")";
}

struct ChoiceLookup {
    explicit ChoiceLookup(int32_t index) : wanted(index) {}
    int32_t wanted;
    std::string label;
    bool found = false;
};

void visit_choice(int32_t index, std::string_view label, void* user) {
    auto* lookup = static_cast<ChoiceLookup*>(user);
    if (!lookup->found && index == lookup->wanted) {
        lookup->label = std::string(label);
        lookup->found = true;
    }
}

// A present value as a short readable text, chosen by the kind the value
// carries (which may differ from the kind its port declares).
std::u32string format_value(const Nodes::Value& v, const InputDef* port) {
    using namespace Nodes;
    switch (v.type) {
        case kind_bool: return v.as_bool() ? U"true" : U"false";
        case kind_int: {
            std::u32string text = readable_text(std::to_string(v.as_int()));
            if (port && port->choices) {
                ChoiceLookup lookup(v.as_int());
                port->choices(&lookup, visit_choice);
                if (lookup.found) text += U" (" + readable(lookup.label, kMaxTextChars) + U")";
            }
            return text;
        }
        case kind_float: return readable_text(format_number(v.as_float()));
        case kind_string: return U"\"" + readable(v.text, kMaxTextChars) + U"\"";
        case kind_vec2:
        case kind_vec3:
        case kind_vec4: return readable_text(format_floats(v, static_cast<size_t>(value_kind_components(v.type)), 4));
        case kind_ivec2:
        case kind_ivec3:
        case kind_ivec4: return readable_text(format_ints(v, static_cast<size_t>(value_kind_components(v.type))));
        case kind_mat2:
        case kind_mat3:
        case kind_mat4:
            return readable_text(value_kind_name(v.type) +
                           format_floats(v, static_cast<size_t>(value_kind_components(v.type)), kMaxComponents));
        case kind_texture2D: return readable_text("texture " + std::to_string(v.as_uint()));
        case kind_vao: return readable_text("vao " + std::to_string(v.as_uint()));
        case kind_texture3D: return U"texture3D";
        default: return readable_text("kind " + std::to_string(v.type));
    }
}

// Port names by index; an index the type does not declare (or a negative one
// from a malformed link) is named by its number.
std::string input_name(const Nodes::GraphNode& node, int64_t i) {
    if (node.def && i >= 0 && static_cast<size_t>(i) < node.def->inputs.size()) return node.def->inputs[i].name;
    return "in " + std::to_string(i);
}

std::string output_name(const Nodes::GraphNode& node, int64_t i) {
    if (node.def && i >= 0 && static_cast<size_t>(i) < node.def->outputs.size()) return node.def->outputs[i].name;
    return "out " + std::to_string(i);
}

size_t input_count(const Nodes::GraphNode& node) {
    return std::max(node.inputs.size(), node.def ? node.def->inputs.size() : size_t{0});
}

size_t output_count(const Nodes::GraphNode& node) {
    return std::max(node.outputs.size(), node.def ? node.def->outputs.size() : size_t{0});
}

// What the evaluation accepts as a data link between existing ports.
bool link_in_range(const Nodes::GraphNode& src, const Nodes::Connection& c) {
    return c.dst && c.src_output_idx >= 0 && static_cast<size_t>(c.src_output_idx) < src.outputs.size() &&
           c.dst_input_idx >= 0 && static_cast<size_t>(c.dst_input_idx) < input_count(*c.dst);
}

std::string count_of(size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

std::string node_id(size_t index) { return "n" + std::to_string(index); }

std::string node_label(const Nodes::GraphNode& node, bool is_root) {
    const char* header_colour = kPlainHeader;
    std::string marks;
    if (!node.def) {
        header_colour = kUnregisteredHeader;
        marks = "unregistered type";
    }
    if (node.selfActivating) {
        if (node.def) header_colour = kSelfHeader;
        marks += marks.empty() ? "self-activating" : ", self-activating";
    }
    if (is_root) {
        header_colour = kRootHeader;
        marks = marks.empty() ? "root" : "root, " + marks;
    }
    const std::string title = node.def ? node.def->label : node.stored_type_name;

    const size_t inputs = input_count(node), outputs = output_count(node);
    const size_t rows = std::max(inputs, outputs);
    std::string out = "<<TABLE BORDER=\"";
    out += is_root ? "3" : "1";
    out += "\" CELLBORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"3\" COLOR=\"";
    out += is_root ? "#B8860B" : "#5C6B7A";
    out += "\">";
    out += "<TR><TD PORT=\"h\" COLSPAN=\"3\" BGCOLOR=\"" + std::string(header_colour) + "\"><B>" +
           dot_html_escape(readable(title, kMaxNameChars)) + "</B><BR/><FONT POINT-SIZE=\"8\">#" +
           std::to_string(node.id);
    if (!marks.empty()) out += " &#183; " + marks;
    out += "</FONT></TD></TR>";

    for (size_t r = 0; r < std::min(rows, kMaxRows); ++r) {
        out += "<TR>";
        if (r < inputs) {
            out += "<TD PORT=\"i" + std::to_string(r) + "\" ALIGN=\"LEFT\">";
            const InputDef* port = node.def && r < node.def->inputs.size() ? &node.def->inputs[r] : nullptr;
            std::u32string text = readable(input_name(node, static_cast<int64_t>(r)), kMaxNameChars);
            if (r < node.inputs.size() && node.inputs[r].hasValue) {
                out += dot_html_escape(text + U" = " + format_value(node.inputs[r].value, port));
            } else {
                out += "<FONT COLOR=\"#8A94A0\">" + dot_html_escape(text) + "</FONT>";
            }
            out += "</TD>";
        } else {
            out += "<TD></TD>";
        }
        out += "<TD WIDTH=\"10\"></TD>";  // keeps an input's value off the output's name
        if (r < outputs)
            out += "<TD PORT=\"o" + std::to_string(r) + "\" ALIGN=\"RIGHT\">" +
                   dot_html_escape(readable(output_name(node, static_cast<int64_t>(r)), kMaxNameChars)) + "</TD>";
        else
            out += "<TD></TD>";
        out += "</TR>";
    }
    if (rows > kMaxRows)
        out += "<TR><TD COLSPAN=\"3\"><I>" + std::to_string(rows - kMaxRows) + " more ports</I></TD></TR>";
    out += "</TABLE>>";
    return out;
}

std::string port(const char* prefix, int32_t index, size_t count, const char* side) {
    if (index < 0 || static_cast<size_t>(index) >= std::min(count, kMaxRows)) return "";
    return ":" + std::string(prefix) + std::to_string(index) + ":" + side;
}

void write_legend(std::string& out) {
    out += "  subgraph cluster_legend {\n"
           "    label=\"Legend\"; fontsize=11; style=\"rounded\"; color=\"#9AA5B1\";\n"
           "    legend_root [label=<<TABLE BORDER=\"3\" CELLBORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"3\" "
           "COLOR=\"#B8860B\"><TR><TD PORT=\"h\" BGCOLOR=\"";
    out += kRootHeader;
    out += "\"><B>root</B><BR/><FONT POINT-SIZE=\"8\">activated last, every frame</FONT></TD></TR>"
           "<TR><TD PORT=\"o0\" ALIGN=\"RIGHT\">output</TD></TR></TABLE>>];\n"
           "    legend_self [label=<<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"0\" CELLPADDING=\"3\" "
           "COLOR=\"#5C6B7A\"><TR><TD PORT=\"h\" BGCOLOR=\"";
    out += kSelfHeader;
    out += "\"><B>self-activating</B><BR/><FONT POINT-SIZE=\"8\">runs first, every frame</FONT></TD></TR>"
           "<TR><TD PORT=\"i0\" ALIGN=\"LEFT\">input = value</TD></TR></TABLE>>];\n"
           "    legend_unregistered [label=<<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"0\" "
           "CELLPADDING=\"3\" COLOR=\"#5C6B7A\"><TR><TD PORT=\"h\" BGCOLOR=\"";
    out += kUnregisteredHeader;
    out += "\"><B>unregistered type</B><BR/><FONT POINT-SIZE=\"8\">never runs</FONT></TD></TR></TABLE>>];\n";
    out += "    legend_root:o0:e -> legend_self:i0:w [label=\"data: output -> input\", color=\"";
    out += kDataColour;
    out += "\", fontcolor=\"";
    out += kDataColour;
    out += "\"];\n    legend_self:h:e -> legend_unregistered:h:w [label=\"activation\", style=\"dashed,bold\", "
           "color=\"";
    out += kActivationColour;
    out += "\", fontcolor=\"";
    out += kActivationColour;
    out += "\"];\n  }\n";
}

std::string graph_dot(const Demo& demo, const std::string& path) {
    const Nodes::Graph& graph = *demo.graph;
    size_t data_links = 0, activation_links = 0;
    for (const auto& node : graph.nodes)
        for (const auto& c : node->connections) ++(c.is_data_link() ? data_links : activation_links);

    std::string out = "digraph demo_graph {\n";
    out += "  graph [rankdir=LR, fontname=\"Helvetica\", fontsize=12, nodesep=0.25, ranksep=0.9, labelloc=t, "
           "label=\"Node graph of " +
           dot_text(path, 80) + ": " + count_of(graph.nodes.size(), "node") + ", " +
           count_of(data_links, "data link") + ", " + count_of(activation_links, "activation link") +
           (graph.root ? "" : " (no root)") + "\"];\n";
    out += "  node [shape=plaintext, fontname=\"Helvetica\", fontsize=10];\n";
    out += "  edge [fontname=\"Helvetica\", fontsize=8, arrowsize=0.7];\n";
    write_legend(out);

    std::unordered_map<const Nodes::GraphNode*, size_t> index_of;
    for (size_t i = 0; i < graph.nodes.size(); ++i) index_of[graph.nodes[i].get()] = i;

    for (size_t i = 0; i < graph.nodes.size(); ++i) {
        const auto& node = *graph.nodes[i];
        out += "  " + node_id(i) + " [label=" + node_label(node, graph.root == &node) + "];\n";
    }

    bool missing_used = false;
    for (size_t i = 0; i < graph.nodes.size(); ++i) {
        const auto& node = *graph.nodes[i];
        // Activation order matters (depth first, in link order), so a node
        // with several activation links numbers them.
        const size_t activations = static_cast<size_t>(std::count_if(
            node.connections.begin(), node.connections.end(), [](const auto& c) { return c.is_activation_link(); }));
        size_t activation_index = 0;
        for (const auto& c : node.connections) {
            const auto dst = c.dst ? index_of.find(c.dst) : index_of.end();
            const bool has_dst = dst != index_of.end();
            const std::string dst_id = has_dst ? node_id(dst->second) : "missing";
            missing_used |= !has_dst;
            if (c.is_activation_link()) {
                ++activation_index;
                out += "  " + node_id(i) + ":h:e -> " + dst_id + (has_dst ? ":h:w" : "") +
                       " [style=\"dashed,bold\", color=\"" + kActivationColour + "\"";
                if (activations > 1)
                    out += ", label=\"" + std::to_string(activation_index) + "\", fontcolor=\"" + kActivationColour +
                           "\", fontsize=10";
                out += "];\n";
                continue;
            }
            const std::string from = output_name(node, c.src_output_idx);
            const std::string to = has_dst ? input_name(*c.dst, c.dst_input_idx)
                                           : "in " + std::to_string(c.dst_input_idx);
            const bool ok = has_dst && link_in_range(node, c);
            std::string label = dot_text(from, kMaxNameChars) + " -> " + dot_text(to, kMaxNameChars);
            if (!ok) label += " (out of range)";
            out += "  " + node_id(i) + port("o", c.src_output_idx, output_count(node), "e") + " -> " + dst_id +
                   (has_dst ? port("i", c.dst_input_idx, input_count(*c.dst), "w") : "") + " [label=\"" + label +
                   "\", color=\"" + (ok ? kDataColour : kBrokenColour) + "\", fontcolor=\"" +
                   (ok ? kDataColour : kBrokenColour) + "\"];\n";
        }
    }
    if (missing_used)
        out += "  missing [shape=box, style=\"dashed\", color=\"" + std::string(kBrokenColour) +
               "\", label=\"(a link names no node)\"];\n";
    out += "}\n";
    return out;
}

}  // namespace

int run_graph(const std::vector<std::string>& args) {
    std::string input, output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size()) return usage_error("graph", a + " needs a value");
            output = args[++i];
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("graph", "unknown option '" + a + "'");
        } else if (input.empty()) {
            input = a;
        } else {
            return usage_error("graph", "unexpected argument '" + a + "'");
        }
    }
    if (input.empty()) return usage_error("graph", "no content file given");
    if (output.empty()) return usage_error("graph", "no output file given (-o graph.dot)");

    auto demo = load_content_file(input);
    const std::string dot = graph_dot(*demo, input);
    if (output == "-") {
        std::fwrite(dot.data(), 1, dot.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    write_whole_file(output, dot.data(), dot.size());
    std::printf("wrote %s: %zu nodes\n", output.c_str(), demo->graph->nodes.size());
    return 0;
}
