#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "app/playback_state.h"
#include "audio/audio_device.h"
#include "audio/audio_sample.h"
#include "audio/sound_analysis.h"
#include "audio/sound_decode.h"
#include "serialization/byte_buffer.h"
#include "tests/support/tiny_module.h"
#include "serialization/demo.h"

namespace {

void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void put_u16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A 16-bit PCM WAV file holding a sine of `hz` at `amplitude` on every channel.
std::vector<uint8_t> sine_wav(int frequency, int channels, double seconds, double hz, double amplitude) {
    const uint32_t frames = static_cast<uint32_t>(frequency * seconds);
    const uint32_t data_bytes = frames * channels * 2;
    std::vector<uint8_t> w;
    for (char c : std::string("RIFF")) w.push_back(c);
    put_u32(w, 36 + data_bytes);
    for (char c : std::string("WAVEfmt ")) w.push_back(c);
    put_u32(w, 16);
    put_u16(w, 1);  // PCM
    put_u16(w, static_cast<uint16_t>(channels));
    put_u32(w, frequency);
    put_u32(w, frequency * channels * 2);
    put_u16(w, static_cast<uint16_t>(channels * 2));
    put_u16(w, 16);
    for (char c : std::string("data")) w.push_back(c);
    put_u32(w, data_bytes);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / frequency)));
        for (int c = 0; c < channels; ++c) put_u16(w, static_cast<uint16_t>(s));
    }
    return w;
}

// Publishes a chunk straight into the analysis, as the mixer would.
void publish_constant_chunk(int16_t value) {
    std::vector<int16_t> chunk(2048, value);
    analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(chunk.data()), 4096);
}

// Waits (at most `max_ms`, in 10 ms steps) for the condition to hold.
template <typename Condition>
bool wait_for(Condition condition, int max_ms) {
    for (int waited = 0; waited < max_ms; waited += 10) {
        if (condition()) return true;
        SDL_Delay(10);
    }
    return condition();
}

class AudioDevice : public ::testing::Test {
protected:
    void open(int frequency, int channels) {
        // Without a sound card only the dummy (or disk) driver opens.
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
        subsystem_ = true;
        ASSERT_EQ(Mix_OpenAudio(frequency, AUDIO_S16LSB, channels, 1024), 0) << Mix_GetError();
        mixer_ = true;
        // What start-up records: the format the mixer actually obtained.
        int freq = 0, chans = 0;
        Uint16 format = 0;
        ASSERT_NE(Mix_QuerySpec(&freq, &format, &chans), 0);
        saved_ = {playback().mixer_frequency, playback().mixer_channels};
        playback().mixer_frequency = freq;
        playback().mixer_format = format;
        playback().mixer_channels = chans;
    }
    void SetUp() override { open(44100, 2); }
    void TearDown() override {
        stop_music();
        if (mixer_) Mix_CloseAudio();
        if (subsystem_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        mixer_ = subsystem_ = false;
        playback().mixer_frequency = saved_.first;
        playback().mixer_channels = saved_.second;
    }
    void reopen(int frequency, int channels) {
        TearDown();
        open(frequency, channels);
    }

private:
    bool subsystem_ = false, mixer_ = false;
    std::pair<int32_t, int32_t> saved_{44100, 2};
};

}  // namespace

// ---- samples ------------------------------------------------------------------

TEST_F(AudioDevice, SampleDuration_ComesFromTheMixersFormat) {
    AudioSample half_second;
    half_second.buffer.data = sine_wav(44100, 2, 0.5, 440, 8000);
    decode_audio_sample(half_second);
    ASSERT_NE(half_second.chunk, nullptr) << Mix_GetError();
    EXPECT_EQ(half_second.duration_ms, 500);

    // The file's own format does not matter: the mixer converts it to its
    // 44.1 kHz stereo, and the length is measured there.
    AudioSample mono;
    mono.buffer.data = sine_wav(22050, 1, 1.0, 440, 8000);
    decode_audio_sample(mono);
    ASSERT_NE(mono.chunk, nullptr) << Mix_GetError();
    EXPECT_NEAR(mono.duration_ms, 1000, 2);

    reopen(22050, 1);
    ASSERT_EQ(playback().mixer_channels, 1);
    AudioSample again;
    again.buffer.data = sine_wav(44100, 2, 0.5, 440, 8000);
    decode_audio_sample(again);
    ASSERT_NE(again.chunk, nullptr) << Mix_GetError();
    EXPECT_NEAR(again.duration_ms, 500, 2);
}

TEST_F(AudioDevice, SampleThatDoesNotDecode_HasNoChunkAndNoDuration) {
    AudioSample garbage;
    garbage.buffer.data = {'n', 'o', 't', ' ', 'a', ' ', 's', 'o', 'u', 'n', 'd'};
    decode_audio_sample(garbage);
    EXPECT_EQ(garbage.chunk, nullptr);
    EXPECT_EQ(garbage.duration_ms, 0);

    AudioSample empty;
    decode_audio_sample(empty);
    EXPECT_EQ(empty.chunk, nullptr);
    EXPECT_EQ(empty.duration_ms, 0);

    // A truncated file after a good decode: the old chunk must not linger.
    AudioSample reused;
    reused.buffer.data = sine_wav(44100, 2, 0.1, 440, 8000);
    decode_audio_sample(reused);
    ASSERT_NE(reused.chunk, nullptr);
    reused.buffer.data.resize(20);
    decode_audio_sample(reused);
    EXPECT_EQ(reused.chunk, nullptr);
    EXPECT_EQ(reused.duration_ms, 0);
}

// A module whose song jumps back never ends: decoding it whole used to hang
// the player's loading and qvtool render while memory grew without limit.
TEST_F(AudioDevice, LoopingModule_SampleKeepsTenMinutesAndMusicStopsPastTheDemosEnd) {
    AudioSample looping;
    looping.name = "loop.mod";
    looping.buffer.data = test_support::tiny_mod(8);
    testing::internal::CaptureStdout();
    decode_audio_sample(looping);
    const std::string said = testing::internal::GetCapturedStdout();
    ASSERT_NE(looping.chunk, nullptr) << Mix_GetError();
    EXPECT_EQ(looping.duration_ms, kSampleMaxSeconds * 1000);
    EXPECT_NE(said.find("loop.mod"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // As music of a demo ending at beat 8 at 120 bpm: 4 s, and a second more.
    ByteBuffer music;
    music.data = looping.buffer.data;
    const uint64_t bound = music_bound_frames(8, 0, 120, 44100);
    EXPECT_EQ(bound, 5u * 44100);
    std::string why;
    testing::internal::CaptureStderr();
    const std::vector<int16_t> pcm = decode_music_pcm(music, &why, bound);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(pcm.size(), bound * 2);
    EXPECT_NE(told.find("5.0 s"), std::string::npos) << told;

    // A song that ends by itself is kept whole, without a word.
    music.data = test_support::tiny_mod(-1);
    testing::internal::CaptureStderr();
    const std::vector<int16_t> whole = decode_music_pcm(music, &why, bound);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_GT(whole.size(), 44100u * 2);
    EXPECT_LT(whole.size(), 2u * 44100 * 2);

    // Other formats end with their file, but are cut to the bound all the same.
    music.data = sine_wav(44100, 2, 2.0, 440, 8000);
    testing::internal::CaptureStderr();
    EXPECT_EQ(decode_music_pcm(music, &why, 44100).size(), 44100u * 2);
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST(MusicBound, FollowsTheDemosEndAndCapsWhatNeverEnds) {
    EXPECT_EQ(music_bound_frames(480, 0, 120, 44100), 241u * 44100);
    EXPECT_EQ(music_bound_frames(478, 2, 120, 48000), 241u * 48000) << "the offset shifts the music";
    const uint64_t cap = uint64_t{kMusicMaxSeconds} * 44100;
    EXPECT_EQ(music_bound_frames(10000, 0, 120, 44100), cap) << "a demo that never ends";
    EXPECT_EQ(music_bound_frames(480, 0, 0.01, 44100), cap) << "an end out of reach";
    EXPECT_EQ(music_bound_frames(480, 0, 0, 44100), cap);
    EXPECT_EQ(music_bound_frames(std::nan(""), 0, 120, 44100), cap);
    EXPECT_EQ(music_bound_frames(-50, 0, 120, 44100), 44100u) << "at least the last chunk's second";
}

// ---- music and the post-mix analysis --------------------------------------------

TEST_F(AudioDevice, Music_FeedsTheAnalysisThroughThePostMixHook) {
    prepare_sound_analysis();
    publish_constant_chunk(0);
    ASSERT_EQ(sound_level(), 0);

    Demo demo;
    // 440 Hz lands in FFT bin 10 (43.07 Hz per bin).
    demo.music.data = sine_wav(44100, 2, 3.0, 440, 16000);
    ASSERT_TRUE(start_music(demo, false)) << Mix_GetError();
    EXPECT_EQ(Mix_PlayingMusic(), 1);

    std::vector<uint8_t> pixels(kSoundPixelBytes);
    const bool heard = wait_for(
        [&] {
            copy_sound_pixels(pixels.data());
            return sound_level() > 1000;
        },
        3000);
    stop_music();  // the demo's bytes go away with this scope
    ASSERT_TRUE(heard) << "the post-mix hook never delivered the music";

    int loudest = 0;
    for (int j = 0; j < kSoundTextureWidth; ++j)
        if (pixels[j * 4] > pixels[loudest * 4]) loudest = j;
    EXPECT_NEAR(loudest * 20000 / 88200, 10, 1);
    bool waveform_moves = false;
    for (int j = 0; j < kSoundTextureWidth; ++j) waveform_moves |= pixels[(kSoundTextureWidth + j) * 4] != 128;
    EXPECT_TRUE(waveform_moves);
}

TEST_F(AudioDevice, Music_PlaysOnceFromTheExecutableAndLoopsFromContentDat) {
    const ByteBuffer short_music(sine_wav(44100, 2, 0.2, 440, 8000));

    ASSERT_TRUE(start_music_bytes(short_music, true, nullptr)) << Mix_GetError();
    EXPECT_TRUE(wait_for([] { return Mix_PlayingMusic() == 0; }, 3000)) << "music played once should stop";

    ASSERT_TRUE(start_music_bytes(short_music, false, nullptr)) << Mix_GetError();
    SDL_Delay(800);  // four times its length
    EXPECT_EQ(Mix_PlayingMusic(), 1) << "music from content.dat should loop";
}

TEST_F(AudioDevice, Music_EmptyBufferHooksNothing) {
    prepare_sound_analysis();
    publish_constant_chunk(-20000);
    ByteBuffer none;
    EXPECT_FALSE(start_music_bytes(none, true, nullptr));
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    // A hooked analysis would now be fed the mixer's silence.
    EXPECT_FALSE(wait_for([] { return sound_level() != 20000; }, 300));
}

TEST_F(AudioDevice, Music_UndecodableStillHooksTheAnalysisAndPlaysSilence) {
    prepare_sound_analysis();
    publish_constant_chunk(-20000);
    const ByteBuffer garbage(std::vector<uint8_t>(5000, 0x5a));
    EXPECT_FALSE(start_music_bytes(garbage, true, nullptr));
    EXPECT_EQ(Mix_PlayingMusic(), 0);
    EXPECT_TRUE(wait_for([] { return sound_level() == 0; }, 3000)) << "the hook should see the mixer's silence";
}
