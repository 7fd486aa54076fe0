// The image-shader wrapper on texts written the way shaders arrive from
// elsewhere. Whether the results compile and draw is checked end to end by
// tests/cli/qvtool_import_shader.sh; here, what the text must and must not hold.
#include <gtest/gtest.h>

#include <string>

#include "render/image_shader.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// The text below the wrapper's "shader" marker.
std::string shader_part(const std::string& source) {
    const size_t at = source.find("// ---- shader\n");
    return at == std::string::npos ? std::string() : source.substr(at + 15);
}

const char* const kPlain = "void mainImage(out vec4 c, in vec2 p) { c = vec4(p / iResolution.xy, 0.0, 1.0); }\n";

TEST(ImageShader_Wrap, BomAndWindowsLineEndsGoAndLinesKeepTheirNumbers) {
    const std::string text = "\xEF\xBB\xBF// first\r\n#version 300 es\r\nprecision highp float;\r\n" +
                             std::string("void mainImage(out vec4 c, in vec2 p)\r{\r\n c = vec4(iTime);\r\n}\r\n");
    const ImageShader s = wrap_image_shader(text, "", "t", 0.5f);
    EXPECT_EQ(s.source.rfind("#version 150\n", 0), 0u);
    EXPECT_EQ(s.source.find('\r'), std::string::npos);
    EXPECT_EQ(s.source.find("\xEF\xBB\xBF"), std::string::npos);
    EXPECT_EQ(count(s.source, "#version"), 1u) << "the shader's own version line must go";
    // A dropped line stays as an empty line: compiler line numbers of the
    // shader part count from its first line.
    const std::string part = shader_part(s.source);
    EXPECT_EQ(part.substr(0, part.find("// ---- end")), "// first\n\nprecision highp float;\n"
                                                        "void mainImage(out vec4 c, in vec2 p)\n{\n c = vec4(iTime);\n}\n");
    EXPECT_NE(s.source.find("const float qv_seconds_per_beat = 0.5;"), std::string::npos);
    EXPECT_TRUE(s.unmapped.empty());
}

TEST(ImageShader_Wrap, OwnMainAndOwnDeclarationsAreReplacedNotDoubled) {
    const std::string text = std::string("uniform vec3 iResolution;\nuniform float iTime, iTimeDelta;\n"
                                         "uniform sampler2D iChannel0;\nuniform float gain;\n") +
                             kPlain + "out vec4 fragColor;\nvoid main(void) { mainImage(fragColor, gl_FragCoord.xy); }\n";
    const ImageShader s = wrap_image_shader(text, "", "t", 0.5f);
    EXPECT_EQ(count(s.source, "void main("), 1u);
    EXPECT_EQ(count(s.source, "out vec4"), 2u) << "ours and mainImage's parameter, not the shader's global";
    EXPECT_EQ(s.source.find("uniform vec3 iResolution"), std::string::npos);
    EXPECT_EQ(s.source.find("uniform float iTime"), std::string::npos);
    EXPECT_NE(s.source.find("uniform float gain;"), std::string::npos) << "the shader's own uniforms stay";
    EXPECT_TRUE(s.drawable);

    // A main inside a disabled block is dropped too; the block stays balanced.
    const ImageShader guarded = wrap_image_shader(
        std::string(kPlain) + "#ifdef GRIMOIRE\nout vec4 o; void main() { mainImage(o, gl_FragCoord.xy); }\n#endif\n",
        "", "t", 0.5f);
    EXPECT_EQ(count(guarded.source, "void main("), 1u);
    const size_t block = guarded.source.find("#ifdef GRIMOIRE\n");
    ASSERT_NE(block, std::string::npos);
    const std::string inside = guarded.source.substr(block + 16, guarded.source.find("#endif", block) - block - 16);
    EXPECT_EQ(inside.find_first_not_of(" \n"), std::string::npos) << inside;

    // A plain fragment shader with a main and no mainImage is kept as it is.
    const ImageShader plain = wrap_image_shader("out vec4 o;\nvoid main() { o = vec4(1.0); }\n", "", "t", 0.5f);
    EXPECT_TRUE(plain.drawable);
    EXPECT_EQ(count(plain.source, "void main("), 1u);
    EXPECT_EQ(plain.source.find("qv_fragColor"), std::string::npos);

    const ImageShader nothing = wrap_image_shader("float f(float x) { return x; }\n", "", "t", 0.5f);
    EXPECT_FALSE(nothing.drawable);
}

TEST(ImageShader_Wrap, CommonPartComesFirstAndIncludesAreNamedWithoutIt) {
    const std::string image = std::string("#include <common.glsl>\n") + kPlain;
    const ImageShader with = wrap_image_shader(image, "\xEF\xBB\xBF" "float tau = 6.28;\r\n", "t", 0.5f);
    const size_t common_at = with.source.find("float tau = 6.28;\n");
    ASSERT_NE(common_at, std::string::npos);
    EXPECT_LT(common_at, with.source.find("void mainImage"));
    EXPECT_EQ(with.source.find("\n#include"), std::string::npos) << "no include directive may reach the compiler";
    EXPECT_TRUE(with.unmapped.empty());

    const ImageShader without = wrap_image_shader(image, "", "t", 0.5f);
    ASSERT_EQ(without.unmapped.size(), 1u);
    EXPECT_NE(describe_unmapped(without).find("#include <common.glsl>"), std::string::npos);
}

TEST(ImageShader_Wrap, ChannelKindsFollowHowTheyAreSampled) {
    // Channel 0 is handed to a function taking a volume, channel 1 sampled
    // with a direction (a cube map), channel 2 with a picture coordinate, and
    // channel 3 declared by the shader itself as a cube map.
    const std::string common = "float noise(sampler3D v, vec3 p) { return texture(v, p).r; }\n";
    const std::string image =
        "uniform samplerCube iChannel3;\n"
        "vec2 warp(vec2 p) { return p * 0.5; }\n"
        "void mainImage(out vec4 c, in vec2 p) {\n"
        "    vec3 dir = normalize(vec3(p, 1.0));\n"
        "    vec2 uv = p / iResolution.xy;\n"
        "    c = vec4(noise(iChannel0, dir), texture(iChannel1, -dir * 2.0).g,\n"
        "             texture(iChannel2, warp(uv)).b + texture(iChannel2, uv.yx).a, texture(iChannel3, dir).r);\n"
        "}\n";
    const ImageShader s = wrap_image_shader(image, common, "t", 0.5f);
    EXPECT_NE(s.source.find("uniform sampler3D tex;"), std::string::npos);
    EXPECT_NE(s.source.find("uniform samplerCube tex1;"), std::string::npos);
    EXPECT_NE(s.source.find("uniform sampler2D tex2;"), std::string::npos);
    EXPECT_NE(s.source.find("uniform samplerCube tex3;"), std::string::npos);
    EXPECT_EQ(describe_unmapped(s),
              "iChannel0 as a 3D texture; iChannel1 as a cube map; iChannel3 as a cube map");
    // The size of a volume has three components of its own.
    EXPECT_NE(s.source.find("vec3(textureSize(tex, 0))"), std::string::npos);
    EXPECT_NE(s.source.find("vec3(textureSize(tex1, 0), 1.0)"), std::string::npos);
}

TEST(ImageShader_Wrap, NamesThePlayerUsesAreRenamedInTheShader) {
    // A shader's own `beat` or `resolution` would clash with (or hide) the
    // uniforms that iTime and iResolution stand for.
    const std::string image =
        "#define BEAT_LEN (beat * 2.0)\n"
        "float beat = 0.25;\n"
        "void mainImage(out vec4 c, in vec2 p) { vec2 resolution = iResolution.xy; c = vec4(p / resolution, beat, "
        "BEAT_LEN); }\n";
    const ImageShader s = wrap_image_shader(image, "", "t", 0.5f);
    const std::string part = shader_part(s.source);
    EXPECT_NE(part.find("float beat_img = 0.25;"), std::string::npos);
    EXPECT_NE(part.find("vec2 resolution_img = iResolution.xy;"), std::string::npos);
    EXPECT_NE(part.find("#define BEAT_LEN (beat_img * 2.0)"), std::string::npos);
    EXPECT_EQ(count(part, "beat "), 0u);
    EXPECT_NE(s.source.find("uniform float beat;"), std::string::npos);
    EXPECT_NE(s.source.find("#define iTime (beat * qv_seconds_per_beat)"), std::string::npos);
}

TEST(ImageShader_Wrap, MacrosTheShaderDefinesItselfAreLeftToIt) {
    const ImageShader s = wrap_image_shader(
        std::string("#define iTime (iGlobalTime * 2.0)\n#define texture2D texture\n") + kPlain, "", "t", 0.5f);
    EXPECT_EQ(count(s.source, "#define iTime "), 1u);
    EXPECT_EQ(count(s.source, "#define texture2D "), 1u);
    EXPECT_NE(s.source.find("#define iGlobalTime iTime"), std::string::npos);
}

TEST(ImageShader_Wrap, ExtensionLinesMoveToTheTop) {
    const ImageShader s =
        wrap_image_shader(std::string("float f() { return 1.0; }\n#extension GL_OES_standard_derivatives : enable\n") +
                              kPlain,
                          "", "t", 0.5f);
    EXPECT_EQ(s.source.rfind("#version 150\n#extension GL_OES_standard_derivatives : enable\n", 0), 0u);
    EXPECT_EQ(count(s.source, "#extension"), 1u);

    // GLSL ES 3.00 functions that GLSL 1.50 has only through an extension.
    const ImageShader bits = wrap_image_shader(
        "void mainImage(out vec4 c, in vec2 p) { c = vec4(float(floatBitsToUint(p.x) & 255u) / 255.0); }\n", "", "t",
        0.5f);
    EXPECT_EQ(bits.source.rfind("#version 150\n#extension GL_ARB_shader_bit_encoding : enable\n", 0), 0u);
}

}  // namespace
