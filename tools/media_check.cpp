#include "tools/media_check.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "audio/audio_sample.h"
#include "audio/sound_decode.h"
#include "render/font.h"
#include "render/image_decode_sdl.h"
#include "render/render_gl.h"
#include "render/texture.h"
#include "scene3d/model.h"
#include "scene3d/model_features.h"
#include "serialization/demo.h"

namespace {

// The mixer as the player opens it, on a driver that plays nothing.
class QuietMixer {
public:
    QuietMixer() {
        if (!SDL_WasInit(SDL_INIT_AUDIO)) setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            why_ = SDL_GetError();
            return;
        }
        subsystem_ = true;
        if (Mix_OpenAudio(44100, AUDIO_S16LSB, 2, 1024) != 0) {
            why_ = Mix_GetError();
            return;
        }
        open_ = true;
    }
    ~QuietMixer() {
        if (open_) Mix_CloseAudio();
        if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    bool open() const { return open_; }
    const std::string& why() const { return why_; }

private:
    bool subsystem_ = false, open_ = false;
    std::string why_;
};

// Formats the host's shared libraries decode but the release players
// (scripts/build-players) do not: they carry only the libraries' built-in
// decoders. Known by their signatures; empty for anything else.
bool bytes_at(const std::vector<uint8_t>& b, size_t at, const char* text, size_t n) {
    return b.size() >= at + n && std::equal(text, text + n, b.begin() + static_cast<std::ptrdiff_t>(at));
}

std::string picture_only_here(const std::vector<uint8_t>& b) {
    if (bytes_at(b, 0, "II*\0", 4) || bytes_at(b, 0, "MM\0*", 4)) return "TIFF";
    if (bytes_at(b, 0, "RIFF", 4) && bytes_at(b, 8, "WEBP", 4)) return "WebP";
    return {};
}

std::string sound_only_here(const std::vector<uint8_t>& b) {
    if (bytes_at(b, 0, "OggS", 4) && bytes_at(b, 28, "OpusHead", 8)) return "Opus";
    if (bytes_at(b, 0, "MThd", 4)) return "MIDI";
    return {};
}

constexpr const char* kReleaseGap = ", which the release players (qvtool release) do not decode";

std::string reason(const std::string& why) { return why.empty() ? std::string() : " (" + why + ")"; }

void check_music(const Demo& demo, std::vector<std::string>& out) {
    if (demo.music.empty()) return;
    // The player streams its music: what Mix_LoadMUS_RW refuses plays as silence.
    if (demo.music.size() > static_cast<size_t>(INT_MAX)) {
        out.push_back("the music is too large for the mixer; the demo will play in silence");
        return;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(demo.music.data.data(), static_cast<int>(demo.music.size()));
    Mix_Music* music = rw ? Mix_LoadMUS_RW(rw, 1) : nullptr;
    if (!music) {
        out.push_back("the music will not decode" + reason(Mix_GetError()) + "; the demo will play in silence");
        return;
    }
    Mix_FreeMusic(music);
    if (const std::string format = sound_only_here(demo.music.data); !format.empty())
        out.push_back("the music is " + format + kReleaseGap + "; the demo will play in silence there");
}

void check_samples(const Demo& demo, std::vector<std::string>& out) {
    for (const auto& sample : demo.audio_samples) {
        if (sample->buffer.empty()) {
            out.push_back("audio sample " + sample->name + " holds no sound");
            continue;
        }
        const BoundedChunk decoded = load_chunk_bounded(sample->buffer, uint64_t{kSampleMaxSeconds} * 44100);
        if (!decoded.chunk) {
            out.push_back("audio sample " + sample->name + " will not decode" + reason(decoded.why));
            continue;
        }
        if (decoded.chunk->alen == 0) out.push_back("audio sample " + sample->name + " decodes to no sound");
        if (decoded.cut)
            out.push_back("audio sample " + sample->name + " goes on past " + std::to_string(kSampleMaxSeconds) +
                          " s; only its first " + std::to_string(kSampleMaxSeconds) + " s are kept");
        Mix_FreeChunk(decoded.chunk);
        if (const std::string format = sound_only_here(sample->buffer.data); !format.empty())
            out.push_back("audio sample " + sample->name + " is " + format + kReleaseGap + "; it stays silent there");
    }
}

}  // namespace

std::vector<std::string> media_warnings(const Demo& demo) {
    std::vector<std::string> out;
    {
        QuietMixer mixer;
        if (mixer.open()) {
            check_music(demo, out);
            check_samples(demo, out);
        } else if (!demo.music.empty() || !demo.audio_samples.empty()) {
            out.push_back("the sounds were not checked: no mixer" + reason(mixer.why()));
        }
    }

    for (const auto& texture : demo.textures) {
        if (texture->image.empty()) continue;  // made at run time (the sound texture) or left blank on purpose
        std::string why;
        if (!decode_image(texture->image, texture->name, &why))
            out.push_back("texture " + texture->name + " will not decode" + reason(why) + "; it will sample as black");
        else if (const std::string format = picture_only_here(texture->image.data); !format.empty())
            out.push_back("texture " + texture->name + " is a " + format + " picture" + kReleaseGap +
                          "; it will sample as black there");
    }

    const bool fonts_were_open = TTF_WasInit() > 0;
    if (fonts_were_open || TTF_Init() == 0) {
        for (const auto& font : demo.fonts) {
            Font probe;
            probe.font_data = font->font_data;
            probe.ptsize = font->ptsize;
            open_font(probe);
            if (!probe.open_font)
                out.push_back("font " + font->name + " will not open" + reason(TTF_GetError()) +
                              "; its text will stay empty");
        }
        if (!fonts_were_open) TTF_Quit();
    }

    for (const auto& model : demo.models) {
        const std::vector<std::string> features = undrawable_gltf_features(model->buffer.data);
        for (const std::string& line : features) out.push_back("model " + model->filename + " " + line);
        if (!model->parsed) {
            if (features.empty()) out.push_back("model " + model->filename + " does not parse as glTF; it will not be drawn");
        } else if (!model->valid) {
            out.push_back("model " + model->filename + " will not be drawn: " + model->rejection);
        }
    }
    return out;
}
