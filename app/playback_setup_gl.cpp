#include "app/playback_setup.h"

#include <GL/glew.h>
#include <SDL_mixer.h>

#include <cstdio>
#include <vector>

#include "app/device_loader.h"
#include "app/hidden_gl_window.h"
#include "app/playback_state.h"
#include "app/player_messages.h"
#include "render/effect.h"
#include "render/font_texture.h"
#include "render/render_gl.h"
#include "render/render_nodes_gl.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "serialization/demo.h"

std::string open_playback_window(const char* title, int width, int height, uint32_t flags, SDL_Window*& window,
                                 SDL_GLContext& context) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                              SDL_WINDOW_OPENGL | flags);
    if (!window) return std::string(kWindowFailed) + SDL_GetError();
    context = SDL_GL_CreateContext(window);
    if (!context) {
        const std::string why = std::string(kContextFailed) + SDL_GetError();
        SDL_DestroyWindow(window);
        window = nullptr;
        return why;
    }
    SDL_GL_MakeCurrent(window, context);
    // Works on GLX and on EGL (SDL's offscreen driver has no GLX display);
    // a partial load is reported and playback goes on, as it always has.
    if (const std::string why = load_gl_entry_points(); !why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    return "";
}

std::string open_playback_mixer() {
    if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) == -1) return Mix_GetError();
    PlaybackState& state = playback();
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    state.mixer_frequency = frequency;
    state.mixer_format = format;
    state.mixer_channels = channels;
    return "";
}

void prepare_playback_gl() {
    glClearColor(0, 0, 0, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    install_render_node_runs();
}

void load_demo(Demo& demo, const std::function<void(LoadHooks&)>& read, LoadingScreen* screen, SDL_Window* window,
               SDL_GLContext context, const std::function<void()>& before_first_draw) {
    {
        DeviceLoadHooks hooks(screen, window, context);
        read(hooks);
    }
    finish_loading(demo);
    PlaybackState& state = playback();
    if (state.default_white_texture == 0) state.default_white_texture = create_solid_texture(1, 1, 1, 1);
    if (before_first_draw) before_first_draw();
    for (auto& effect : demo.effects) draw_effect(*effect);
}

namespace {

void delete_texture(uint32_t& name) {
    if (name) glDeleteTextures(1, &name);
    name = 0;
}

void delete_buffers(std::vector<uint32_t>& names) {
    if (!names.empty()) glDeleteBuffers(static_cast<GLsizei>(names.size()), names.data());
    names.clear();
}

}  // namespace

void release_demo_gpu(Demo& demo) {
    // What the rendering nodes made for themselves: targets, quads and screen
    // copies, about as much again as the content's own pictures.
    if (demo.graph)
        for (auto& node : demo.graph->nodes)
            if (node->def) render_nodes::release_node_objects(*node->def, node->state);
    for (auto& t : demo.textures) delete_texture(t->gl_texture);
    if (demo.sound_texture) delete_texture(demo.sound_texture->gl_texture);
    for (auto& f : demo.font_textures) delete_texture(f->gl_texture);
    for (auto& p : demo.shaders) {
        // Zero names are ignored by GL, so programs that never built are fine.
        glDeleteProgram(p->gl_program);
        glDeleteShader(p->gl_vertex_shader);
        glDeleteShader(p->gl_fragment_shader);
        p->gl_program = p->gl_vertex_shader = p->gl_fragment_shader = 0;
    }
    for (auto& e : demo.effects) {
        delete_targets(*e);
        delete_texture(e->copy_texture);
    }
    for (auto& s : demo.scenes) {
        glDeleteFramebuffers(1, &s->shadow_framebuffer);
        delete_texture(s->shadow_depth_texture);
        s->shadow_framebuffer = 0;
    }
    for (auto& m : demo.models) {
        for (auto& t : m->textures)
            if (t) delete_texture(t->gl_texture);
        if (!m->vaos.empty()) glDeleteVertexArrays(static_cast<GLsizei>(m->vaos.size()), m->vaos.data());
        m->vaos.clear();
        delete_buffers(m->gl_buffers);
        delete_buffers(m->dense_buffers);
        glDeleteBuffers(1, &m->joint_matrix_buffer);
        m->joint_matrix_buffer = 0;
        m->ready = false;
    }
}
