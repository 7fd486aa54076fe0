#include <gtest/gtest.h>

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "app/playback_state.h"
#include "render/render_gl.h"
#include "scene3d/animation.h"
#include "scene3d/model.h"
#include "scene3d/node.h"
#include "scene3d/scene.h"
#include "serialization/file_io.h"
#include "tests/support/gl_context.h"
#include "tests/support/png_bytes.h"
#include "tests/support/realworld.h"

namespace {

using namespace gl_test;

std::unique_ptr<ShaderProgram> built_program(const std::string& fragment_file, const std::string& fragment,
                                             const ShaderList* list = nullptr) {
    auto p = std::make_unique<ShaderProgram>();
    p->fragment_shader_filename = fragment_file;
    p->fragment_shader_source = fragment;
    testing::internal::CaptureStdout();
    build_program(*p, list);
    testing::internal::GetCapturedStdout();
    return p;
}

// A texture record holding a GL texture of one colour.
Texture solid_texture(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    const uint8_t rgba[4] = {r, g, b, a};
    Texture t;
    t.name = "solid";
    t.gl_texture = create_texture(1, 1, rgba, GL_CLAMP_TO_EDGE);
    t.width = t.height = 1;
    return t;
}

class RenderGl : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_GL();
        gl_test::use_window_size();
        playback().current_beat = 0.0f;
        glDisable(GL_BLEND);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
};

constexpr const char* kSolidBlue =
    "#version 150\nout vec4 c;\nvoid main() { c = vec4(0.0, 0.0, 1.0, 1.0); }\n";

}  // namespace

// ---- effects ----------------------------------------------------------------

TEST_F(RenderGl, Effect_TextureOnUnit0ScreenCopyOnUnit1AndScreenClearedFirst) {
    // Red from the texture, green from the screen copy, and nothing drawn on
    // the right half, which must show the black the copy left behind.
    auto program = built_program("copy.frag",
                                 "#version 150\nuniform sampler2D tex;\nuniform sampler2D tex1;\n"
                                 "uniform vec2 resolution;\nout vec4 c;\n"
                                 "void main() {\n  vec2 uv = gl_FragCoord.xy / resolution;\n"
                                 "  if (uv.x > 0.5) discard;\n"
                                 "  c = vec4(texture(tex, uv).r, texture(tex1, uv).g, 0.0, 1.0);\n}\n");
    Texture red = solid_texture(255, 0, 0, 255);
    ASSERT_EQ(program->compile_log, "Compilation successful.");
    Effect effect("copy", program.get(), &red, nullptr, false, true);
    create_targets(effect);

    clear_screen(0, 1, 0);
    draw_effect(effect);  // the first draw also creates the copy target
    EXPECT_EQ(screen_pixel(10, 10), (Rgba{255, 255, 0, 255}));
    EXPECT_EQ(screen_pixel(50, 20), (Rgba{0, 0, 0, 255}));
    ASSERT_NE(effect.copy_buffer, nullptr);
    EXPECT_EQ(effect.copy_buffer->width, kWindowWidth);
    EXPECT_EQ(pixel_at(effect.copy_buffer->pixels, kWindowWidth, 5, 5), (Rgba{0, 255, 0, 255}));

    clear_screen(0, 1, 0);
    EXPECT_EQ(bind_inputs(effect, *program), 2);
    EXPECT_EQ(bound_texture_on(0), static_cast<GLint>(red.gl_texture));
    EXPECT_EQ(bound_texture_on(1), static_cast<GLint>(effect.copy_texture));
    unbind_units(2);
    EXPECT_EQ(bound_texture_on(0), 0);
    EXPECT_EQ(bound_texture_on(1), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderGl, Effect_UnitOrderFeedbackInputsScreenCopyAndMissingReferences) {
    auto program = built_program("order.frag", kSolidBlue);
    Texture a = solid_texture(1, 2, 3, 4);
    Effect input("input", program.get());
    create_targets(input);
    Effect effect("order", program.get(), nullptr, &input, true, true);
    effect.textures = {nullptr, &a};  // an unresolved texture keeps its unit
    create_targets(effect);

    clear_screen(0, 0, 0);
    ASSERT_EQ(bind_inputs(effect, *program), 5);
    EXPECT_EQ(bound_texture_on(0), static_cast<GLint>(effect.copy_texture));
    EXPECT_EQ(bound_texture_on(1), 0);
    EXPECT_EQ(bound_texture_on(2), static_cast<GLint>(a.gl_texture));
    EXPECT_EQ(bound_texture_on(3), static_cast<GLint>(input.framebuffer_texture));
    EXPECT_EQ(bound_texture_on(4), static_cast<GLint>(effect.copy_texture));
    unbind_units(5);
}

TEST_F(RenderGl, Effect_InputEffectPictureReachesTheNextEffect) {
    auto blue = built_program("blue.frag", kSolidBlue);
    auto sample = built_program("sample.frag",
                                "#version 150\nuniform sampler2D tex;\nuniform vec2 resolution;\nout vec4 c;\n"
                                "void main() { c = texture(tex, gl_FragCoord.xy / resolution).bgra; }\n");
    testing::internal::CaptureStdout();
    Effect first("first", blue.get());
    create_targets(first);
    Effect second("second", sample.get(), nullptr, &first);
    create_targets(second);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("FB Error"), std::string::npos);

    glBindFramebuffer(GL_FRAMEBUFFER, first.framebuffer);
    glViewport(0, 0, kWindowWidth, kWindowHeight);
    draw_effect(first);
    clear_screen(0, 0, 0);
    draw_effect(second);
    EXPECT_EQ(screen_pixel(kWindowWidth / 2, kWindowHeight / 2), (Rgba{255, 0, 0, 255}));  // blue, swizzled

    // An effect without a program draws nothing, and recreating targets
    // replaces the old ones.
    const GLuint old_framebuffer = first.framebuffer;
    create_targets(first);
    EXPECT_FALSE(glIsFramebuffer(old_framebuffer) && old_framebuffer != first.framebuffer);
    Effect empty;
    clear_screen(0, 1, 0);
    draw_effect(empty);
    EXPECT_EQ(screen_pixel(1, 1), (Rgba{0, 255, 0, 255}));
}

TEST_F(RenderGl, Effect_RenderSizeChangeReplacesCopyBufferAndTexture) {
    auto program = built_program("size.frag", kSolidBlue);
    Effect effect("size", program.get(), nullptr, nullptr, true);
    ensure_copy_target(effect);
    ASSERT_NE(effect.copy_texture, 0u);

    playback().render_size.render_width = 32;
    playback().render_size.render_height = 18;
    ensure_copy_target(effect);
    EXPECT_EQ(effect.copy_buffer->width, 32);
    EXPECT_EQ(effect.copy_buffer->height, 18);
    EXPECT_EQ(effect.copy_buffer->byte_count(), 32 * 18 * 4);
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, effect.copy_texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 32);
    gl_test::use_window_size();
}

// ---- effects with a scene -----------------------------------------------------

TEST_F(RenderGl, EffectScene_ShadowMapAndMaterialUnitsFollowInputsAndMainPassGoesToScreen) {
    auto program = built_program("scene.frag", kSolidBlue);
    Texture t = solid_texture(0, 0, 0, 255);
    Scene scene;
    scene.shadow_width = scene.shadow_height = 64;
    testing::internal::CaptureStdout();
    scene.create_shadow_resources();
    testing::internal::GetCapturedStdout();
    ASSERT_NE(scene.shadow_framebuffer, 0u);
    Effect effect("scene", program.get(), &t, nullptr, false, false, &scene);
    create_targets(effect);

    ASSERT_EQ(bind_inputs(effect, *program), 5);
    EXPECT_EQ(bound_texture_on(1), static_cast<GLint>(scene.shadow_depth_texture));
    EXPECT_EQ(program->shadow_map_unit, static_cast<uint32_t>(GL_TEXTURE1));
    EXPECT_EQ(program->base_color_unit, static_cast<uint32_t>(GL_TEXTURE2));
    EXPECT_EQ(program->metallic_roughness_unit, static_cast<uint32_t>(GL_TEXTURE3));
    EXPECT_EQ(program->emissive_unit, static_cast<uint32_t>(GL_TEXTURE4));
    unbind_units(5);

    // Whatever was bound before, the main pass ends on the screen at render size.
    Effect other("other", program.get());
    create_targets(other);
    glBindFramebuffer(GL_FRAMEBUFFER, other.framebuffer);
    glViewport(0, 0, 5, 5);
    draw_effect(effect);
    GLint framebuffer = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    EXPECT_EQ(framebuffer, 0);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], kWindowWidth);
    EXPECT_EQ(viewport[3], kWindowHeight);
    EXPECT_FALSE(scene.shadow_pass);
}

TEST_F(RenderGl, EffectScene_JointMatricesFillTheBlockAndOverflowIsReported) {
    auto program = built_program("joints.frag", kSolidBlue);
    Model model;
    model.skeleton = std::make_shared<Animation::Skeleton>();
    model.skeleton->joint_matrices = {glm::mat4(2.0f), glm::mat4(3.0f)};
    glGenBuffers(1, &model.joint_matrix_buffer);
    Scene scene;
    scene.root_node = std::make_unique<Node>();
    scene.root_node->model = &model;
    Effect effect("joints", program.get(), nullptr, nullptr, false, false, &scene);

    testing::internal::CaptureStdout();
    unbind_units(bind_inputs(effect, *program));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    glBindBuffer(GL_UNIFORM_BUFFER, model.joint_matrix_buffer);
    GLint size = 0;
    glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 6400);
    float stored[32] = {};
    glGetBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof stored, stored);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    EXPECT_FLOAT_EQ(stored[0], 2.0f);
    EXPECT_FLOAT_EQ(stored[1], 0.0f);
    EXPECT_FLOAT_EQ(stored[16 + 5], 3.0f);

    model.skeleton->joint_matrices.assign(101, glm::mat4(1.0f));
    testing::internal::CaptureStdout();
    unbind_units(bind_inputs(effect, *program));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: 1281\n");  // GL_INVALID_VALUE
    glDeleteBuffers(1, &model.joint_matrix_buffer);
}

// ---- shader programs ------------------------------------------------------------

TEST_F(RenderGl, ShaderProgram_IncludesReachTheCompilerFirstOccurrenceOnly) {
    ShaderList list;
    list.push_back(std::make_unique<ShaderProgram>());
    list[0]->fragment_shader_filename = "lib/colour.frag";
    list[0]->fragment_shader_source = "vec4 lib_colour() { return vec4(0.0, 0.0, 1.0, 1.0); }\n";
    list.push_back(std::make_unique<ShaderProgram>());
    list[1]->fragment_shader_filename = "main.frag";
    list[1]->fragment_shader_source =
        "#version 150\n#include \"lib/colour.frag\"\nout vec4 c;\nvoid main() { c = lib_colour(); }\n";
    list.push_back(std::make_unique<ShaderProgram>());
    list[2]->fragment_shader_filename = "twice.frag";
    list[2]->fragment_shader_source = "#version 150\n#include \"lib/colour.frag\"\n#include \"lib/colour.frag\"\n"
                                      "out vec4 c;\nvoid main() { c = lib_colour(); }\n";
    list.push_back(std::make_unique<ShaderProgram>());
    list[3]->fragment_shader_filename = "self.frag";
    list[3]->fragment_shader_source = "#version 150\n#include \"self.frag\"\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";

    testing::internal::CaptureStdout();
    for (auto& p : list) build_program(*p, nullptr);  // while loading: nothing expands yet
    EXPECT_NE(list[1]->compile_log, "Compilation successful.");
    for (auto& p : list) rebuild_program(*p, &list);
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(list[1]->compile_log, "Compilation successful.");
    Effect effect("inc", list[1].get());
    create_targets(effect);
    clear_screen(0, 0, 0);
    draw_effect(effect);
    EXPECT_EQ(screen_pixel(3, 3), (Rgba{0, 0, 255, 255}));

    // The second directive reaches the compiler and fails it.
    const std::string& twice = list[2]->expanded_fragment_source;
    EXPECT_NE(twice.find("lib_colour() {"), std::string::npos);
    EXPECT_NE(twice.find("#include \"lib/colour.frag\""), std::string::npos);
    EXPECT_NE(list[2]->compile_log, "Compilation successful.");
    // The own name stays a directive, and so fails too.
    EXPECT_EQ(list[3]->expanded_fragment_source, list[3]->fragment_shader_source);
    EXPECT_NE(list[3]->compile_log, "Compilation successful.");
}

TEST_F(RenderGl, ShaderProgram_FailedBuildKeepsNameAndLogAndDoesNotDrawWithThePreviousProgram) {
    ShaderProgram program;  // empty fragment source
    testing::internal::CaptureStdout();
    build_program(program, nullptr);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(program.gl_program, 0u);
    EXPECT_NE(program.compile_log.find("\nLINKER ERROR: "), std::string::npos) << program.compile_log;
    EXPECT_NE(program.compile_log.rfind("Compilation successful.", 0), 0u) << program.compile_log;
    EXPECT_NE(printed.find("LINKER ERROR: "), std::string::npos);
    EXPECT_EQ(program.locations.beat, -1);
    EXPECT_EQ(program.position_attribute, 0);

    EXPECT_FALSE(program.linked);

    // GL refuses to make an unlinked program current, so the draw must not
    // happen at all: it would use the program that was current before.
    auto blue = built_program("blue.frag", kSolidBlue);
    ASSERT_TRUE(blue->linked);
    Effect effect("broken", &program);
    create_targets(effect);
    clear_screen(0, 1, 0);
    glUseProgram(blue->gl_program);
    draw_effect(effect);
    EXPECT_EQ(screen_pixel(4, 4), (Rgba{0, 255, 0, 255}));
    while (glGetError() != GL_NO_ERROR) {
    }
}

TEST_F(RenderGl, ShaderProgram_BuiltinUniformsAndDefinitions) {
    auto program = std::make_unique<ShaderProgram>();
    program->vertex_shader_source =
        "#version 150\nin vec3 position;\nvoid main() { gl_Position = vec4(position, 1.0); }\n";
    program->fragment_shader_source =
        "#version 150\nuniform float beat;\nuniform vec2 iTime2;\nuniform int sound;\nuniform vec2 resolution;\n"
        "uniform vec3 camera_position;\nuniform sampler2D tex;\nuniform sampler2D tex0;\nuniform sampler2D tex3;\n"
        "uniform float speed;\nlayout(std140) uniform MatricesBlock { mat4 m[100]; };\nout vec4 c;\n"
        "void main() { c = vec4(beat + iTime2.x + float(sound) + resolution.x + camera_position.x + speed + m[0][0][0],"
        " texture(tex, vec2(0.0)).r, texture(tex0, vec2(0.0)).r, texture(tex3, vec2(0.0)).r); }\n";
    UniformDef speed;
    speed.name = "speed";
    speed.default_val = 2.5f;
    UniformDef absent;
    absent.name = "not_declared";
    program->uniform_defs = {speed, absent};
    program->shadow_map_unit = kGlTexture0 + 9;
    testing::internal::CaptureStdout();
    build_program(*program, nullptr);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(program->compile_log, "Compilation successful.");

    EXPECT_EQ(program->position_attribute, 0);  // no `vp`
    EXPECT_EQ(program->shadow_map_unit, kGlTexture0 + 3);
    EXPECT_NE(program->matrices_block_index, kGlInvalidIndex);
    EXPECT_NE(program->uniform_defs[0].location, -1);
    EXPECT_EQ(program->uniform_defs[1].location, -1);
    EXPECT_EQ(program->locations.tex[1], -1);

    const GLuint id = program->gl_program;
    glUseProgram(id);
    const GLint tex0 = glGetUniformLocation(id, "tex0");
    glUniform1i(tex0, 7);
    playback().current_beat = -0.25f;
    set_builtin_uniforms(*program);
    set_uniform_defs(*program);

    float value[3] = {};
    glGetUniformfv(id, program->locations.iTime2, value);
    EXPECT_FLOAT_EQ(value[0], -0.25f);
    EXPECT_FLOAT_EQ(value[1], -0.25f);
    glGetUniformfv(id, program->locations.resolution, value);
    EXPECT_FLOAT_EQ(value[0], 64.0f);
    EXPECT_FLOAT_EQ(value[1], 36.0f);
    glGetUniformfv(id, program->uniform_defs[0].location, value);
    EXPECT_FLOAT_EQ(value[0], 2.5f);
    GLint sampler = -1;
    glGetUniformiv(id, program->locations.tex[3], &sampler);
    EXPECT_EQ(sampler, 3);
    glGetUniformiv(id, tex0, &sampler);
    EXPECT_EQ(sampler, 7);  // "tex0" is not a built-in name
    glUseProgram(0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---- textures ---------------------------------------------------------------------

// The 2 x 2 picture both texture tests decode, top row first: red,
// transparent (as zeros) / blue, white.
static void expect_tiny_picture(const Texture& texture) {
    EXPECT_EQ(texture.width, 2);
    EXPECT_EQ(texture.height, 2);
    const auto pixels = gl_test::read_texture(texture.gl_texture, 2, 2);
    EXPECT_EQ(pixel_at(pixels, 2, 0, 0), (Rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel_at(pixels, 2, 1, 0), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(pixel_at(pixels, 2, 0, 1), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(pixel_at(pixels, 2, 1, 1), (Rgba{255, 255, 255, 255}));
}

TEST_F(RenderGl, Texture_PngDecodesTopRowFirstAndTransparentPixelIsZero) {
    // 2 x 2: red, transparent green / blue, white.
    const std::vector<uint8_t> png =
        gl_test::png_bytes(2, 2, {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255});
    ASSERT_FALSE(png.empty()) << IMG_GetError();

    Texture texture("tiny.png", ByteBuffer(png));
    upload_texture(texture);
    ASSERT_NE(texture.gl_texture, 0u);
    expect_tiny_picture(texture);
}

// TGA files carry no signature: the untyped decode refused them ("Unsupported
// image format") until the texture's name gave the type.
TEST_F(RenderGl, Texture_TgaDecodesByItsNamesExtension) {
    // Uncompressed true colour, 2 x 2, 32 bits, first row at the top; pixels
    // are B, G, R, A: red, transparent green / blue, white.
    std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 0x28};
    for (uint8_t b : {0, 0, 255, 255, 0, 255, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255}) tga.push_back(b);

    Texture texture("pictures/tiny.TGA", ByteBuffer(tga));
    upload_texture(texture);
    ASSERT_NE(texture.gl_texture, 0u) << IMG_GetError();
    expect_tiny_picture(texture);

    // The name decides: the same bytes under another name stay refused, and
    // a folder's dot is no extension.
    Texture misnamed("tiny.png", ByteBuffer(tga));
    upload_texture(misnamed);
    EXPECT_EQ(misnamed.gl_texture, 0u);
    Texture folder_dot("pictures.tga/tiny", ByteBuffer(tga));
    upload_texture(folder_dot);
    EXPECT_EQ(folder_dot.gl_texture, 0u);

    // A forged header asking for 60000 x 60000 is refused before any allocation.
    std::vector<uint8_t> forged = tga;
    forged[12] = forged[14] = 0x60;
    forged[13] = forged[15] = 0xEA;
    Texture huge("huge.tga", ByteBuffer(forged));
    upload_texture(huge);
    EXPECT_EQ(huge.gl_texture, 0u);

    const auto folder = test_support::realworld_folder();
    if (folder.empty()) return;
    Texture rle("sample_rle24.tga", ByteBuffer(test_support::read_bytes(folder / "images/sample_rle24.tga")));
    upload_texture(rle);
    EXPECT_NE(rle.gl_texture, 0u) << "the real-world run-length TGA";
    EXPECT_EQ(rle.width, 23);
    EXPECT_EQ(rle.height, 42);
}

TEST_F(RenderGl, Texture_UndecodableEmptyAndBlankTextures) {
    testing::internal::CaptureStdout();
    Texture junk("junk.png", ByteBuffer(std::vector<uint8_t>{'n', 'o', 'p', 'e'}));
    junk.gl_texture = 99;
    upload_texture(junk);
    Texture empty;
    upload_texture(empty);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(junk.gl_texture, 0u);
    EXPECT_EQ(junk.width, 0);
    EXPECT_EQ(junk.height, 0);
    EXPECT_EQ(empty.gl_texture, 0u);

    Texture blank;
    make_blank_texture(blank, 1024, 2);
    EXPECT_TRUE(std::regex_match(blank.name, std::regex(R"(Texture (0x)?[0-9a-f]+ \(1024 x 2\))"))) << blank.name;
    ASSERT_NE(blank.gl_texture, 0u);
    const auto pixels = gl_test::read_texture(blank.gl_texture, 1024, 2);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), static_cast<long>(pixels.size()));

    // A size no GL texture can have stays inert instead of allocating.
    Texture huge;
    make_blank_texture(huge, 1 << 30, 1 << 30);
    EXPECT_EQ(huge.gl_texture, 0u);

    const uint32_t white = create_solid_texture(1, 1, 1, 1);
    EXPECT_EQ(gl_test::read_texture(white, 1, 1), (std::vector<uint8_t>{255, 255, 255, 255}));
    EXPECT_EQ(bound_texture_on(0), 0);
}

// ---- fonts --------------------------------------------------------------------------

namespace {

constexpr const char* kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::unique_ptr<Font> dejavu(int ptsize) {
    auto font = std::make_unique<Font>();
    font->name = "DejaVu";
    font->ptsize = ptsize;
    font->font_data.data = read_file_or_throw(kFontPath);
    open_font(*font);
    return font;
}

FontTexture picture_with(Font* font, bool center) {
    FontTexture picture;
    picture.width = kWindowWidth;
    picture.height = kWindowHeight;
    picture.font = font;
    picture.center = center;
    create_picture(picture);
    return picture;
}

}  // namespace

TEST_F(RenderGl, FontTexture_CentredTextIsTheLeftAlignedPictureShifted) {
    std::string why;
    ASSERT_TRUE(gl_test::ensure_fonts(&why)) << why;
    auto font = dejavu(14);
    ASSERT_NE(font->open_font, nullptr);

    FontTexture centred = picture_with(font.get(), true);
    FontTexture left = picture_with(font.get(), false);
    ASSERT_NE(centred.gl_texture, 0u);
    EXPECT_TRUE(set_text(centred, "Hi"));
    EXPECT_TRUE(set_text(left, "Hi"));

    SDL_Surface* rendered = TTF_RenderText_Blended_Wrapped(static_cast<TTF_Font*>(font->open_font.get()), "Hi",
                                                           SDL_Color{255, 255, 255, 255}, kWindowWidth);
    ASSERT_NE(rendered, nullptr);
    const int shift = (kWindowWidth - rendered->w) / 2;
    SDL_FreeSurface(rendered);
    ASSERT_GT(shift, 0);

    const auto c = gl_test::read_texture(centred.gl_texture, kWindowWidth, kWindowHeight);
    const auto l = gl_test::read_texture(left.gl_texture, kWindowWidth, kWindowHeight);
    int lit = 0, mismatched = 0;
    for (int y = 0; y < kWindowHeight; ++y)
        for (int x = 0; x < kWindowWidth; ++x) {
            const Rgba expected = x >= shift ? pixel_at(l, kWindowWidth, x - shift, y) : Rgba{0, 0, 0, 0};
            const Rgba got = pixel_at(c, kWindowWidth, x, y);
            if (!(got == expected)) ++mismatched;
            if (got.a != 0) ++lit;
        }
    EXPECT_GT(lit, 10);
    EXPECT_EQ(mismatched, 0);
    // Text starts at the top row of the picture (first uploaded row).
    int top_lit = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < kWindowWidth; ++x) top_lit += pixel_at(l, kWindowWidth, x, y).a != 0;
    EXPECT_GT(top_lit, 0);

    // Unchanged text does nothing; an empty text clears the picture.
    EXPECT_FALSE(set_text(centred, "Hi"));
    EXPECT_TRUE(set_text(centred, ""));
    const auto cleared = gl_test::read_texture(centred.gl_texture, kWindowWidth, kWindowHeight);
    EXPECT_EQ(std::count(cleared.begin(), cleared.end(), 0), static_cast<long>(cleared.size()));
}

TEST_F(RenderGl, FontTexture_OversizedTextIsCutAndBadFontsStayTransparent) {
    std::string why;
    ASSERT_TRUE(gl_test::ensure_fonts(&why)) << why;
    auto font = dejavu(40);
    FontTexture picture = picture_with(font.get(), true);
    EXPECT_TRUE(set_text(picture, "WWWWWWWWWWWWWWWWWWWW WWWWWWWWWW WWWWWWWWW WWWWWWWW"));
    const auto pixels = gl_test::read_texture(picture.gl_texture, kWindowWidth, kWindowHeight);
    EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](uint8_t v) { return v != 0; }), 0);

    Font broken;
    broken.ptsize = 12;
    broken.font_data.data = {1, 2, 3, 4, 5};
    open_font(broken);
    EXPECT_EQ(broken.open_font, nullptr);
    FontTexture blank = picture_with(&broken, false);
    EXPECT_TRUE(set_text(blank, "text"));
    const auto none = gl_test::read_texture(blank.gl_texture, kWindowWidth, kWindowHeight);
    EXPECT_EQ(std::count(none.begin(), none.end(), 0), static_cast<long>(none.size()));

    FontTexture forged;
    forged.width = 1 << 30;
    forged.height = 1 << 30;
    forged.font = font.get();
    create_picture(forged);
    EXPECT_EQ(forged.gl_texture, 0u);
    EXPECT_TRUE(set_text(forged, "x"));  // inert, no crash
}
