// The portability check against a corpus of lax-driver habits: each refused
// where it stands (file, line, the habit and its portable spelling), each
// portable rewrite clean; lines inside included programs; the limits.
#include <gtest/gtest.h>

#include <memory>

#include "check/portability_check.h"
#include "nodes/graph.h"
#include "nodes/node_registry.h"
#include "render/font_texture.h"
#include "serialization/demo.h"

namespace {

const char* const kHeader = "#version 150\nout vec4 color;\nuniform float beat;\nuniform sampler2D tex;\n";

std::unique_ptr<ShaderProgram> fragment_program(const std::string& file, const std::string& fragment) {
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = file;
    p->fragment_shader_source = fragment;
    return p;
}

std::vector<PortabilityFinding> check_alone(const std::string& fragment) {
    ShaderList list;
    list.push_back(fragment_program("resources/a.frag", fragment));
    return check_program(*list[0], list);
}

std::string all_text(const std::vector<PortabilityFinding>& findings) {
    std::string s;
    for (const auto& f : findings) s += f.text() + "\n";
    return s;
}

struct Habit {
    const char* name;
    std::string lax;       // body lines start at line 5 (after kHeader)
    std::string portable;  // the same, written for every driver
    int line;              // where the refusal must point
    const char* says;      // part of the message
};

}  // namespace

TEST(PortabilityCheck_Corpus, EachLaxHabitIsAnErrorAtItsLineAndItsPortableSpellingPasses) {
    const std::string main_open = "void main() {\n";
    const std::vector<Habit> corpus = {
        {"saturate", main_open + "  color = vec4(saturate(beat));\n}\n",
         main_open + "  color = vec4(clamp(beat, 0.0, 1.0));\n}\n", 6, "portable: clamp(x, 0.0, 1.0)"},
        {"lerp", main_open + "  float x = lerp(0.0, 1.0, beat);\n  color = vec4(x);\n}\n",
         main_open + "  float x = mix(0.0, 1.0, beat);\n  color = vec4(x);\n}\n", 6, "portable: mix(a, b, t)"},
        {"frac", main_open + "  color = vec4(frac(beat));\n}\n", main_open + "  color = vec4(fract(beat));\n}\n", 6,
         "portable: fract(x)"},
        {"float3", main_open + "  float3 c = float3(beat, 0.0, 1.0);\n  color = vec4(c, 1.0);\n}\n",
         main_open + "  vec3 c = vec3(beat, 0.0, 1.0);\n  color = vec4(c, 1.0);\n}\n", 6, "portable: vec3"},
        {"float to int", main_open + "\n  int frame = beat * 4.0;\n  color = vec4(frame);\n}\n",
         main_open + "\n  int frame = int(beat * 4.0);\n  color = vec4(frame);\n}\n", 7, "write the constructor"},
        {"vec4 to vec3", main_open + "  vec3 c = texture(tex, vec2(0.5));\n  color = vec4(c, 1.0);\n}\n",
         main_open + "  vec3 c = texture(tex, vec2(0.5)).rgb;\n  color = vec4(c, 1.0);\n}\n", 6,
         "write the constructor"},
        {"int to uint", main_open + "  uint n = 3;\n  color = vec4(float(n));\n}\n",
         main_open + "  uint n = 3u;\n  color = vec4(float(n));\n}\n", 6, "cannot convert"},
        {"texture2D", main_open + "  color = texture2D(tex, vec2(0.5));\n}\n",
         main_open + "  color = texture(tex, vec2(0.5));\n}\n", 6, "'texture2D' is not part of the core profile"},
        {"sampler array",
         "uniform sampler2D layers[4];\n" + main_open +
             "  color = vec4(0.0);\n  for (int i = 0; i < 4; ++i)\n    color += texture(layers[i], vec2(0.5));\n}\n",
         "uniform sampler2D layers[4];\n" + main_open +
             "  color = texture(layers[0], vec2(0.5)) + texture(layers[1], vec2(0.5))\n"
             "        + texture(layers[2], vec2(0.5)) + texture(layers[3], vec2(0.5));\n}\n",
         9, "index it with a constant"},
        {"scalar swizzle", main_open + "  color = vec4(beat.xxx, 1.0);\n}\n", main_open + "  color = vec4(vec3(beat), 1.0);\n}\n",
         6, "portable: vec3(x)"},
        {"reserved word", main_open + "  float sample = 1.0, input = beat;\n  color = vec4(input);\n}\n",
         main_open + "  float amount = beat;\n  color = vec4(amount);\n}\n", 6, "reserved"},
    };
    for (const Habit& h : corpus) {
        SCOPED_TRACE(h.name);
        const auto lax = check_alone(kHeader + h.lax);
        ASSERT_FALSE(lax.empty());
        EXPECT_EQ(error_count(lax), lax.size()) << all_text(lax);
        const PortabilityFinding& f = lax.front();
        EXPECT_EQ(f.file, "resources/a.frag");
        EXPECT_EQ(f.line, h.line) << f.text();
        EXPECT_NE(f.message.find(h.says), std::string::npos) << f.text();
        EXPECT_EQ(f.record, "shader resources/a.frag");
        const auto portable = check_alone(kHeader + h.portable);
        EXPECT_TRUE(portable.empty()) << all_text(portable);
    }
}

TEST(PortabilityCheck_Corpus, LegacyOutputsAndMissingVersion) {
    // gl_FragColor in a core source: the column of the word itself.
    auto f = check_alone("#version 150\nvoid main() {\n  gl_FragColor = vec4(1.0);\n}\n");
    ASSERT_EQ(f.size(), 1u) << all_text(f);
    EXPECT_EQ(f[0].text(), "resources/a.frag:3:3: error: 'gl_FragColor' is not part of the core profile: drivers "
                           "that accept it are lax; portable: an 'out vec4' of your own");
    // A compatibility source may use it; a comment or a macro of the source's own is no use.
    EXPECT_TRUE(check_alone("#version 150 compatibility\nvoid main() {\n  gl_FragColor = vec4(1.0);\n}\n").empty());
    EXPECT_TRUE(check_alone(std::string(kHeader) + "#define texture2D texture\n// texture2D is old\n"
                            "void main() {\n  color = texture2D(tex, vec2(0.5));\n}\n")
                    .empty());

    // Without #version the source is GLSL 1.10, where `out` and int-to-float
    // conversions are refused.
    f = check_alone("out vec4 color;\nvoid main() {\n  float x = 1;\n  color = vec4(x);\n}\n");
    ASSERT_GE(f.size(), 2u) << all_text(f);
    EXPECT_EQ(f[0].severity, PortabilityFinding::Severity::warning);
    EXPECT_EQ(f[0].line, 1);
    EXPECT_NE(f[0].message.find("no #version line"), std::string::npos);
    EXPECT_TRUE(f[1].is_error());
    EXPECT_EQ(f[1].line, 1);
}

TEST(PortabilityCheck_Includes, AFaultInAnIncludedProgramIsOnItsOwnLineAndSaidOnce) {
    Demo demo;
    demo.shaders.push_back(fragment_program("resources/lib.glsl", "// helpers\n\nfloat pulse(float b) {\n"
                                                         "  return saturate(1.0 - fract(b));\n}\n"));
    demo.shaders.push_back(fragment_program("resources/a.frag", std::string(kHeader) + "#include \"resources/lib.glsl\"\n"
                                                       "void main() {\n  color = vec4(pulse(beat));\n}\n"));
    demo.shaders.push_back(fragment_program("resources/b.frag", std::string(kHeader) + "#include \"resources/lib.glsl\"\n"
                                                       "void main() {\n  color = vec4(pulse(beat), 0.0, 0.0, 1.0);\n}\n"));
    const auto findings = check_demo(demo);
    ASSERT_EQ(findings.size(), 1u) << all_text(findings);
    EXPECT_EQ(findings[0].file, "resources/lib.glsl");
    EXPECT_EQ(findings[0].line, 4);
    EXPECT_EQ(findings[0].column, 10);
    EXPECT_EQ(findings[0].record, "shader resources/a.frag");

    // With the included text mended, a fault after the include is on the
    // includer's own line.
    std::string& lib = demo.shaders[0]->fragment_shader_source;
    lib.replace(lib.find("saturate(1.0 - fract(b))"), 24, "clamp(1.0 - fract(b), 0.0, 1.0)");
    demo.shaders[1]->fragment_shader_source += "float later() { return lerp(0.0, 1.0, beat); }\n";
    const auto later = check_program(*demo.shaders[1], demo.shaders);
    ASSERT_EQ(later.size(), 1u) << all_text(later);
    EXPECT_EQ(later[0].file, "resources/a.frag");
    EXPECT_EQ(later[0].line, 9);
}

TEST(PortabilityCheck_Link, AStagePairThatDoesNotLinkIsAnError) {
    ShaderList list;
    list.push_back(fragment_program("resources/a.frag", std::string(kHeader) + "float helper() { return beat; }\n"));
    const auto f = check_program(*list[0], list);
    ASSERT_EQ(error_count(f), 1u) << all_text(f);
    EXPECT_EQ(f[0].file, "resources/a.frag");
    EXPECT_NE(f[0].message.find("entry point"), std::string::npos) << f[0].text();
}

TEST(PortabilityCheck_Limits, SamplersUniformsExtensionsAndPictureSizesBeyondTheCommonMinimum) {
    std::string many = "#version 150\n#extension GL_ARB_gpu_shader5 : require\nout vec4 color;\n";
    std::string sum = "  color = vec4(0.0);\n";
    for (int i = 0; i < 17; ++i) {
        many += "uniform sampler2D s" + std::to_string(i) + ";\n";
        sum += "  color += texture(s" + std::to_string(i) + ", vec2(0.5));\n";
    }
    many += "uniform vec4 table[300];\nuniform int k;\nvoid main() {\n" + sum + "  color += table[k];\n}\n";
    const auto f = check_alone(many);
    EXPECT_EQ(error_count(f), 0u) << all_text(f);
    const std::string text = all_text(f);
    EXPECT_NE(text.find("resources/a.frag:2: warning: enables GL_ARB_gpu_shader5: a driver without it refuses"),
              std::string::npos) << text;
    EXPECT_NE(text.find("shader resources/a.frag: warning: 17 sampler units"), std::string::npos) << text;
    EXPECT_NE(text.find("1201 uniform components in the fragment shader"), std::string::npos) << text;

    Demo demo;
    auto big = std::make_unique<FontTexture>();
    big->name = "credits";
    big->width = 9000;
    big->height = 64;
    demo.font_textures.push_back(std::move(big));
    demo.graph = std::make_unique<Nodes::Graph>();
    auto node = std::make_unique<Nodes::GraphNode>(NodeRegistry::instance().find("SetFrameBuffer"));
    ASSERT_NE(node->def, nullptr);
    node->id = 7;
    node->prepare();
    for (size_t i = 0; i < node->def->inputs.size(); ++i)
        if (node->def->inputs[i].name == "size") node->inputs[i].set(Nodes::make_ivec2(16384, 16384));
    demo.graph->nodes.push_back(std::move(node));
    const std::string limits = all_text(check_demo(demo));
    EXPECT_NE(limits.find("font texture credits: warning: 9000x64 picture: over 8192"), std::string::npos) << limits;
    EXPECT_NE(limits.find("graph node 7 (SetFrameBuffer): warning: render target 16384x16384"), std::string::npos)
        << limits;
}
