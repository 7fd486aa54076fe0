// qvtool graph and qvtool timeline on content that no JSON project can hold:
// bytes that are not UTF-8, NaN and infinite beats, links to nowhere. The
// content is built in memory, written as a content stream, and drawn by the
// qvtool program of this build; the pictures must come out well-formed with
// every piece of content text escaped.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>
#include <string>

#include "nodes/next_id.h"
#include "nodes/node_registry.h"
#include "serialization/content_writer.h"
#include "serialization/demo.h"

namespace {

const std::string kTool = std::string(QV_BINARY_DIR) + "/qvtool";
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_program(const char* name) { return run(std::string("command -v ") + name + " > /dev/null 2>&1") == 0; }

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Pictures {
    std::string dot_path, svg_path, dot, svg;
};

// Writes `demo` as a content stream and draws it with both commands.
Pictures draw(const Demo& demo, const std::string& name) {
    const std::string base = testing::TempDir() + "qv_pictures_" + name;
    ContentWriter out;
    demo.write(out);
    std::ofstream(base + ".dat", std::ios::binary) << out.bytes();
    Pictures p{base + ".dot", base + ".svg", "", ""};
    EXPECT_EQ(run("'" + kTool + "' graph '" + base + ".dat' -o '" + p.dot_path + "' > /dev/null"), 0);
    EXPECT_EQ(run("'" + kTool + "' timeline '" + base + ".dat' -o '" + p.svg_path + "' > /dev/null"), 0);
    p.dot = read_text(p.dot_path);
    p.svg = read_text(p.svg_path);
    return p;
}

// Whatever the content, the escapers write nothing but printable ASCII.
bool printable_ascii(const std::string& text) {
    for (unsigned char c : text)
        if (c != '\n' && (c < 0x20 || c > 0x7E)) return false;
    return true;
}

// Checks both pictures and returns what Graphviz drew from the DOT file
// (empty where Graphviz is not installed).
std::string expect_well_formed(const Pictures& p) {
    EXPECT_TRUE(printable_ascii(p.dot));
    EXPECT_TRUE(printable_ascii(p.svg));
    std::string rendered;
    if (have_program("dot")) {
        EXPECT_EQ(run("dot -Tsvg '" + p.dot_path + "' -o '" + p.dot_path + ".svg' 2> /dev/null"), 0) << p.dot;
        rendered = read_text(p.dot_path + ".svg");
    }
    if (have_program("python3")) {
        EXPECT_EQ(run("python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' '" + p.svg_path +
                      "' 2> /dev/null"),
                  0)
            << p.svg;
    }
    return rendered;
}

std::unique_ptr<Nodes::GraphNode> make_node(const char* type) {
    auto node = std::make_unique<Nodes::GraphNode>(NodeRegistry::instance().find(type));
    EXPECT_NE(node->def, nullptr) << type;
    node->assign_fresh_ids();
    return node;
}

std::unique_ptr<Nodes::GraphNode> make_unregistered(const std::string& type, size_t inputs, size_t outputs) {
    auto node = std::make_unique<Nodes::GraphNode>();
    node->stored_type_name = type;
    for (size_t i = 0; i < inputs; ++i) {
        node->inputs.emplace_back();
        node->inputIDs.push_back(Nodes::take_fresh_id());
    }
    for (size_t i = 0; i < outputs; ++i) node->outputIDs.push_back(Nodes::take_fresh_id());
    node->id = Nodes::take_fresh_id();
    return node;
}

void link(Nodes::GraphNode& from, int32_t output, Nodes::GraphNode* to, int32_t input) {
    Nodes::Connection c;
    c.dst = to;
    c.src_output_idx = output;
    c.dst_input_idx = input;
    c.id = Nodes::take_fresh_id();
    from.connections.push_back(c);
}

std::unique_ptr<Event> make_event(int32_t type, std::string name, float start, float end) {
    auto e = std::make_unique<Event>();
    e->type = type;
    e->name = std::move(name);
    e->start_beat = start;
    e->end_beat = end;
    return e;
}

// Every coordinate the timeline writes, parsed back.
std::vector<double> svg_coordinates(const std::string& svg) {
    std::vector<double> values;
    static const std::regex attribute(R"re(\b(x|y|x1|x2|y1|y2|cx|cy|r|width|height|points|d)="([^"]*)")re");
    static const std::regex number(R"([-+]?[0-9A-Za-z.]+)");
    for (auto a = std::sregex_iterator(svg.begin(), svg.end(), attribute); a != std::sregex_iterator(); ++a) {
        const std::string list = (*a)[2];
        if (list.find('%') != std::string::npos) continue;  // the background's 100%
        for (auto n = std::sregex_iterator(list.begin(), list.end(), number); n != std::sregex_iterator(); ++n) {
            std::string token = n->str();
            while (!token.empty() && std::isalpha(static_cast<unsigned char>(token[0])) &&
                   token.rfind("nan", 0) != 0 && token.rfind("inf", 0) != 0)
                token.erase(0, 1);  // path commands such as M and l
            if (token.empty()) continue;
            values.push_back(std::strtod(token.c_str(), nullptr));
        }
    }
    return values;
}

class PicturesCli : public testing::Test {
protected:
    void SetUp() override {
        if (!std::ifstream(kTool)) GTEST_SKIP() << "qvtool is not built in " << QV_BINARY_DIR;
    }
};

}  // namespace

TEST_F(PicturesCli, TextFromContentIsEscapedInBothPictures) {
    Demo demo;
    // Markup, quotes, a tab, a control byte, a Latin letter and a byte that is not UTF-8.
    const std::string hostile = std::string("<i>\"A\" & 'B'</i>\t\x01\xC3\xA9\xFF");
    demo.events.push_back(make_event(EventType::effect, hostile, 0, 4));
    auto uniforms = make_event(EventType::uniforms, "fx", 0, 8);
    UniformDef def;
    def.name = "q\"\\N&\xC3\xA9\n\xFF";  // a Graphviz label escape, an entity start, a newline
    uniforms->uniform_defs.push_back(def);
    uniforms->track(def.name).points.push_back({1.0f, 0.0f, "]]> -- \xED\xA0\x80"});  // a UTF-8 surrogate
    demo.events.push_back(std::move(uniforms));

    demo.graph = std::make_unique<Nodes::Graph>();
    auto event_node = make_unregistered("fx.event", 1, 1);
    auto op = make_node("Operator");
    auto note = make_node("Note");
    note->inputs[0] = Nodes::MaybeValue::of(Nodes::make_string("line one\nline <two> \"quoted\" \\ \xF0\x9F\x8E\xB5"));
    auto odd = make_unregistered("<td>\xC0\xAF", 0, 0);  // an overlong form of '/'
    link(*event_node, 0, op.get(), 1);
    demo.graph->root = op.get();
    demo.graph->nodes.push_back(std::move(event_node));
    demo.graph->nodes.push_back(std::move(op));
    demo.graph->nodes.push_back(std::move(note));
    demo.graph->nodes.push_back(std::move(odd));

    const Pictures p = draw(demo, "escaping");
    const std::string drawn = expect_well_formed(p);

    // The data link's label is a DOT string; the node labels are HTML.
    EXPECT_NE(p.dot.find("label=\"q\\\"\\\\N&amp;&#233;\\\\n&#65533; -> a\""), std::string::npos) << p.dot;
    EXPECT_NE(p.dot.find("note = &quot;line one\\\\nline &lt;two&gt; &quot;quoted&quot; \\\\ &#127925;&quot;"),
              std::string::npos)
        << p.dot;
    EXPECT_NE(p.dot.find("<B>&lt;td&gt;&#65533;&#65533;</B>"), std::string::npos) << p.dot;
    EXPECT_NE(p.dot.find("unregistered type"), std::string::npos);
    // What Graphviz shows is the readable text itself: no label escape was
    // expanded (\N would become a node name), no entity was lost.
    if (!drawn.empty()) {
        const std::string port = "q&quot;\\N&amp;\xC3\xA9\\n\xEF\xBF\xBD";
        EXPECT_NE(drawn.find(">" + port + "</text>"), std::string::npos) << drawn;
        EXPECT_NE(drawn.find(">" + port + " &#45;&gt; a</text>"), std::string::npos) << drawn;
        EXPECT_NE(drawn.find("line one\\nline &lt;two&gt; &quot;quoted&quot; \\ \xF0\x9F\x8E\xB5"), std::string::npos)
            << drawn;
    }

    EXPECT_NE(p.svg.find("&lt;i&gt;&quot;A&quot; &amp; &#39;B&#39;&lt;/i&gt;\\t\\x01&#233;&#65533;"),
              std::string::npos)
        << p.svg;
    EXPECT_NE(p.svg.find("]]&gt; -- &#65533;&#65533;&#65533;"), std::string::npos) << p.svg;
    EXPECT_EQ(p.svg.find("<i>"), std::string::npos);
}

TEST_F(PicturesCli, BrokenBeatsGiveABoundedTimeline) {
    Demo demo;
    demo.end_beat = kInf;
    demo.bpm = kNaN;
    demo.events.push_back(make_event(EventType::effect, "nan start", kNaN, 4));
    demo.events.push_back(make_event(EventType::group, "endless", -kInf, kInf));
    demo.events.push_back(make_event(EventType::effect, "huge and reversed", 3e38f, -3e38f));
    auto e = make_event(EventType::uniforms, "points", 0, 8);
    auto& track = e->track("v");
    track.points = {{kNaN, 1.0f, ""}, {2.0f, kNaN, ""}, {4.0f, kInf, ""}, {1e30f, 1.0f, ""}, {3e38f, 2.0f, ""},
                    {5.0f, -3e38f, ""}, {6.0f, 3e38f, ""}};
    e->track("t").points = {{kInf, 0.0f, "never"}, {1.0f, 0.0f, "once"}};
    demo.events.push_back(std::move(e));
    demo.graph = Nodes::Graph::make_default();

    const Pictures p = draw(demo, "beats");
    expect_well_formed(p);
    const std::vector<double> coordinates = svg_coordinates(p.svg);
    ASSERT_GT(coordinates.size(), 40u);
    for (double v : coordinates) {
        EXPECT_TRUE(std::isfinite(v)) << p.svg;
        EXPECT_LT(std::fabs(v), 10000.0) << p.svg;
    }
    EXPECT_NE(p.svg.find("(span is not a number)"), std::string::npos);
    EXPECT_NE(p.svg.find("once"), std::string::npos);
    EXPECT_EQ(p.svg.find("never"), std::string::npos) << "a text point at an infinite beat is skipped";
    EXPECT_NE(p.svg.find("end beat inf"), std::string::npos);
}

TEST_F(PicturesCli, EmptyContentStillDraws) {
    Demo demo;
    demo.graph = std::make_unique<Nodes::Graph>();  // no nodes, no root
    const Pictures p = draw(demo, "empty");
    expect_well_formed(p);
    EXPECT_NE(p.svg.find("(no events)"), std::string::npos);
    EXPECT_NE(p.dot.find("0 nodes, 0 data links, 0 activation links (no root)"), std::string::npos) << p.dot;
}

TEST_F(PicturesCli, GraphShowsValuesMarksAndBrokenLinks) {
    Demo demo;
    demo.graph = std::make_unique<Nodes::Graph>();
    auto time = make_node("Time");
    time->selfActivating = true;
    auto op = make_node("Operator");
    op->inputs[0] = Nodes::MaybeValue::of(Nodes::make_int(2));
    op->inputs[1] = Nodes::MaybeValue::of(Nodes::make_float(0.5f));
    op->inputs[2] = Nodes::MaybeValue::of(Nodes::make_float(kNaN));
    op->inputs[3].reset();
    auto gate = make_node("If");
    gate->inputs[0] = Nodes::MaybeValue::of(Nodes::make_int(7));
    gate->inputs[3] = Nodes::MaybeValue::of(Nodes::make_bool(true));
    auto split = make_node("Vec3xyz");
    split->inputs[0] = Nodes::MaybeValue::of(Nodes::make_vec3(1.0f, 2.5f, -3.0f));
    auto reader = make_node("ReadPixel");
    reader->inputs[0] = Nodes::MaybeValue::of(Nodes::make_ivec2(3, -4));
    auto end = make_node("ClearFrameBuffer");
    end->inputs[0] = Nodes::MaybeValue::of(Nodes::make_texture2D(7));
    auto note = make_node("Note");
    note->inputs[0] = Nodes::MaybeValue::of(Nodes::make_string(std::string(100, 'x')));
    auto gone = make_unregistered("Gone", 1, 0);
    Nodes::Value matrix;
    matrix.type = Nodes::kind_mat4;
    for (int i = 0; i < 16; ++i) matrix.set_float(static_cast<size_t>(i), static_cast<float>(i));
    gone->inputs[0] = Nodes::MaybeValue::of(matrix);

    link(*time, 0, op.get(), 1);                 // data
    link(*op, -1, gate.get(), -1);               // activation
    link(*time, 9, op.get(), 1);                 // data from an output the node does not have
    link(*time, 1, nullptr, 2);                  // data to no node
    demo.graph->root = op.get();
    for (auto* n : {&time, &op, &gate, &split, &reader, &end, &note, &gone}) demo.graph->nodes.push_back(std::move(*n));

    const Pictures p = draw(demo, "values");
    expect_well_formed(p);
    for (const char* expected : {
             "op = 2 (a * b)", "a = 0.5", "b = nan", ">c</FONT>", "compare = 7 (!c)", "c = true",
             "vec3 = (1, 2.5, -3)", "pos = (3, -4)", "texture = texture 7", "in 0 = mat4(0, 1, 2, 3, &#8230;)",
             "&#183; root</FONT>",
             "&#183; self-activating", "<B>Gone</B>", "&#183; unregistered type",
             "n0:o0:e -> n1:i1:w [label=\"currentBeat -> a\"", "n1:h:e -> n2:h:w [style=\"dashed,bold\"",
             "label=\"out 9 -> a (out of range)\"", "-> missing [label=\"fract -> in 2 (out of range)\"",
             "8 nodes, 3 data links, 1 activation link\"", "cluster_legend"})
        EXPECT_NE(p.dot.find(expected), std::string::npos) << expected << "\n" << p.dot;
    // Strings are cut to 40 characters, the last being an ellipsis.
    EXPECT_NE(p.dot.find("note = &quot;" + std::string(39, 'x') + "&#8230;&quot;"), std::string::npos) << p.dot;
}
