// The device loader with decode workers against the same loader decoding each
// record in turn: the same progress calls, the same messages, the same
// textures, samples and models; and never more decoded pictures waiting than
// the bound.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_mixer.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/device_loader.h"
#include "app/playback_setup.h"
#include "app/playback_state.h"
#include "audio/audio_device.h"
#include "render/render_gl.h"
#include "scene3d/gltf_builder.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "serialization/demo.h"
#include "tests/support/gl_context.h"
#include "tests/support/png_bytes.h"

namespace {

std::vector<uint8_t> png_of(int width, int height, uint32_t seed) {
    std::mt19937 noise(seed);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (uint8_t& byte : rgba) byte = static_cast<uint8_t>(noise());
    return gl_test::png_bytes(width, height, rgba);
}

void put(std::vector<uint8_t>& w, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) w.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// 16-bit stereo PCM at 44.1 kHz.
std::vector<uint8_t> wav_of(double seconds) {
    const uint32_t frames = static_cast<uint32_t>(44100 * seconds);
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F'};
    put(w, 36 + frames * 4, 4);
    for (char c : std::string("WAVEfmt ")) w.push_back(static_cast<uint8_t>(c));
    put(w, 16, 4);
    put(w, 1, 2);
    put(w, 2, 2);
    put(w, 44100, 4);
    put(w, 44100 * 4, 4);
    put(w, 4, 2);
    put(w, 16, 2);
    for (char c : std::string("data")) w.push_back(static_cast<uint8_t>(c));
    put(w, frames * 4, 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * i / 44100));
        put(w, static_cast<uint16_t>(s), 2);
        put(w, static_cast<uint16_t>(s), 2);
    }
    return w;
}

// A textured cube: the picture is stored in the GLB as PNG and decoded by
// the glTF reader.
std::vector<uint8_t> textured_cube_glb() {
    GltfBuilder b;
    const int material = b.add_material({1, 1, 1, 1});
    b.set_scene({b.add_node(b.add_cube_mesh(0.5f, material))});
    b.add_base_colour_picture(material, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128});
    return b.glb();
}

std::vector<uint8_t> font_bytes() {
    std::ifstream file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every record kind but scenes (their 8192 x 8192 shadow maps are too much
// for the software rasteriser twice over), undecodable ones among them.
std::vector<uint8_t> mixed_content() {
    Demo demo;
    demo.events.push_back(std::make_unique<Event>());
    demo.effects.push_back(std::make_unique<Effect>());
    for (const char* fragment : {"#version 330 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n",
                                 "#version 330 core\nvoid main() { this does not compile }\n"}) {
        auto program = std::make_unique<ShaderProgram>();
        program->fragment_shader_source = fragment;
        demo.shaders.push_back(std::move(program));
    }
    const std::vector<std::vector<uint8_t>> pictures = {png_of(3, 2, 1), {1, 2, 3}, png_of(64, 48, 2), {},
                                                        png_of(1, 1, 3), png_of(129, 7, 4)};
    for (size_t i = 0; i < pictures.size(); ++i)
        demo.textures.push_back(std::make_unique<Texture>("picture" + std::to_string(i), ByteBuffer(pictures[i])));
    for (const std::vector<uint8_t>& sound : {wav_of(0.25), std::vector<uint8_t>(64, 7), wav_of(0.1)}) {
        auto sample = std::make_unique<AudioSample>();
        sample->name = "sound";
        sample->buffer.data = sound;
        demo.audio_samples.push_back(std::move(sample));
    }
    demo.event_groups.push_back(std::make_unique<EventGroup>());
    for (const std::vector<uint8_t>& bytes : {font_bytes(), std::vector<uint8_t>(40, 1)}) {
        auto font = std::make_unique<Font>();
        font->name = "font";
        font->ptsize = 12;
        font->font_data.data = bytes;
        demo.fonts.push_back(std::move(font));
    }
    auto picture = std::make_unique<FontTexture>();
    picture->name = "caption";
    picture->width = 32;
    picture->height = 8;
    picture->font = demo.fonts[0].get();
    demo.font_textures.push_back(std::move(picture));
    demo.datas.push_back(std::make_unique<Data>());
    for (const std::vector<uint8_t>& glb : {textured_cube_glb(), std::vector<uint8_t>{'g', 'l', 'T', 'F', 2},
                                            textured_cube_glb()}) {
        auto model = std::make_unique<Model>();
        model->filename = "model.glb";
        model->buffer.data = glb;
        demo.models.push_back(std::move(model));
    }
    ContentWriter out;
    demo.write(out);
    return std::vector<uint8_t>(out.bytes().begin(), out.bytes().end());
}

class LoggingHooks : public DeviceLoadHooks {
public:
    explicit LoggingHooks(size_t workers)
        : DeviceLoadHooks(nullptr, gl_test::window(), SDL_GL_GetCurrentContext(), workers) {}
    std::string progress_log;
    void progress(uint64_t read, uint64_t total) override {
        progress_log += std::to_string(read) + "/" + std::to_string(total) + " ";
        DeviceLoadHooks::progress(read, total);
    }
};

std::string texture_summary(const Texture& t) {
    std::ostringstream s;
    s << t.name << " " << t.width << "x" << t.height << (t.gl_texture ? " on GPU" : " none");
    if (t.gl_texture) {
        const std::vector<uint8_t> pixels = gl_test::read_texture(t.gl_texture, t.width, t.height);
        uint64_t hash = 1469598103934665603ull;
        for (uint8_t b : pixels) hash = (hash ^ b) * 1099511628211ull;
        s << " pixels " << std::hex << hash << std::dec;
    }
    return s.str();
}

// What a user of the loaded demo could observe.
struct Observed {
    std::string out, err, progress, resources;
};

Observed load(const std::vector<uint8_t>& bytes, size_t workers) {
    Observed seen;
    Demo demo;
    LoggingHooks hooks(workers);
    ContentReader in(bytes);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    demo.read_with(in, hooks);
    finish_loading(demo);
    seen.err = testing::internal::GetCapturedStderr();
    seen.out = testing::internal::GetCapturedStdout();
    seen.progress = hooks.progress_log;
    std::ostringstream r;
    for (const auto& t : demo.textures) r << texture_summary(*t) << "\n";
    for (const auto& s : demo.audio_samples) r << "sample " << s->duration_ms << (s->chunk ? " decoded" : " none") << "\n";
    for (const auto& f : demo.fonts) r << "font " << (f->open_font ? "open" : "closed") << "\n";
    for (const auto& p : demo.shaders) r << "program " << (p->gl_program ? "built" : "none") << "\n";
    for (const auto& m : demo.models) {
        r << "model parsed=" << m->parsed << " valid=" << m->valid << " ready=" << m->ready << " vaos=" << m->vaos.size()
          << " buffers=" << m->gl_buffers.size();
        for (const auto& d : m->primitive_draws) r << " draw(" << d.mode << "," << d.count << "," << d.indexed << ")";
        for (const auto& t : m->textures) r << " [" << texture_summary(*t) << "]";
        r << "\n";
    }
    seen.resources = r.str();
    for (auto& t : demo.textures) glDeleteTextures(1, &t->gl_texture);
    return seen;
}

class DeviceLoader : public ::testing::Test {
protected:
    void SetUp() override {
        QV_REQUIRE_GL();
        std::string why;
        ASSERT_TRUE(gl_test::ensure_fonts(&why)) << why;
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024), 0) << Mix_GetError();
        int frequency = 0, channels = 0;
        Uint16 format = 0;
        Mix_QuerySpec(&frequency, &format, &channels);
        playback().mixer_frequency = frequency;
        playback().mixer_channels = channels;
    }
    void TearDown() override {
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
};

}  // namespace

TEST_F(DeviceLoader, WorkersLoadEveryRecordKindAsDecodingInTurnDoes) {
    const std::vector<uint8_t> bytes = mixed_content();
    const Observed in_turn = load(bytes, 0);

    // The reference itself is what the loader always did.
    std::string every_record;
    for (int k = 0; k <= 21; ++k) every_record += std::to_string(k) + "/21 ";
    EXPECT_EQ(in_turn.progress, every_record);
    EXPECT_NE(in_turn.resources.find("picture0 3x2 on GPU"), std::string::npos) << in_turn.resources;
    EXPECT_NE(in_turn.resources.find("picture1 0x0 none\n"), std::string::npos) << in_turn.resources;
    EXPECT_NE(in_turn.resources.find("picture3 0x0 none\n"), std::string::npos) << in_turn.resources;
    EXPECT_NE(in_turn.resources.find("sample 250 decoded\nsample 0 none\nsample 100 decoded\n"), std::string::npos)
        << in_turn.resources;
    EXPECT_NE(in_turn.resources.find("[checker 2x2 on GPU"), std::string::npos) << in_turn.resources;
    EXPECT_NE(in_turn.out.find("Failed to parse glTF"), std::string::npos) << in_turn.out;
    EXPECT_NE(in_turn.err.find("Number of VAOs: 1\nNumber of VAOs: 0\nNumber of VAOs: 1\n"), std::string::npos)
        << in_turn.err;

    for (size_t workers : {1u, 3u}) {
        const Observed pooled = load(bytes, workers);
        EXPECT_EQ(pooled.progress, in_turn.progress) << workers;
        EXPECT_EQ(pooled.out, in_turn.out) << workers;
        EXPECT_EQ(pooled.err, in_turn.err) << workers;
        EXPECT_EQ(pooled.resources, in_turn.resources) << workers;
    }
}

TEST_F(DeviceLoader, ThousandsOfPicturesNeverWaitBeyondTheBound) {
    const std::vector<uint8_t> png = png_of(1, 1, 9);
    Demo source;
    for (int i = 0; i < 2000; ++i) source.textures.push_back(std::make_unique<Texture>("dot", ByteBuffer(png)));
    ContentWriter out;
    source.write(out);
    const std::vector<uint8_t> bytes(out.bytes().begin(), out.bytes().end());

    for (size_t workers : {0u, 2u}) {
        Demo demo;
        LoggingHooks hooks(workers);
        ContentReader in(bytes);
        demo.read_with(in, hooks);
        EXPECT_LE(hooks.most_pictures_waiting(), DeviceLoadHooks::kMaxWaiting) << workers;
        EXPECT_GE(hooks.most_pictures_waiting(), 1u) << workers;
        if (workers == 0) {
            EXPECT_EQ(hooks.most_pictures_waiting(), 1u);
        }
        size_t uploaded = 0;
        for (auto& t : demo.textures) {
            uploaded += t->gl_texture != 0 && t->width == 1 && t->height == 1;
            glDeleteTextures(1, &t->gl_texture);
        }
        EXPECT_EQ(uploaded, 2000u) << workers;
    }
}

// The preview replaces its demo on every save; what it drops must leave the
// GPU, and nothing made outside the demo may go with it.
TEST_F(DeviceLoader, ReleasedDemoLeavesNoGlObjectsAndSparesOthers) {
    const std::vector<uint8_t> bytes = mixed_content();
    Demo demo;
    LoggingHooks hooks(1);
    ContentReader in(bytes);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    demo.read_with(in, hooks);
    finish_loading(demo);
    testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    const GLuint outsider = create_solid_texture(1, 1, 1, 1);

    std::vector<GLuint> textures, programs, buffers, vertex_arrays;
    for (const auto& t : demo.textures) textures.push_back(t->gl_texture);
    for (const auto& m : demo.models) {
        for (const auto& t : m->textures) textures.push_back(t->gl_texture);
        buffers.insert(buffers.end(), m->gl_buffers.begin(), m->gl_buffers.end());
        vertex_arrays.insert(vertex_arrays.end(), m->vaos.begin(), m->vaos.end());
    }
    for (const auto& p : demo.shaders) programs.push_back(p->gl_program);
    for (const auto& e : demo.effects) {
        textures.push_back(e->framebuffer_texture);
        vertex_arrays.push_back(e->quad_vertex_array);
    }
    std::erase(textures, 0u);
    std::erase(programs, 0u);
    ASSERT_GE(textures.size(), 4u);
    ASSERT_FALSE(programs.empty());
    ASSERT_FALSE(buffers.empty());

    release_demo_gpu(demo);
    for (GLuint t : textures) EXPECT_FALSE(glIsTexture(t)) << t;
    for (GLuint p : programs) EXPECT_FALSE(glIsProgram(p)) << p;
    for (GLuint b : buffers) EXPECT_FALSE(glIsBuffer(b)) << b;
    for (GLuint v : vertex_arrays) EXPECT_FALSE(v && glIsVertexArray(v)) << v;
    EXPECT_TRUE(glIsTexture(outsider));
    for (const auto& t : demo.textures) EXPECT_EQ(t->gl_texture, 0u);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(1, &outsider);
}
