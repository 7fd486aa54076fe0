#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "audio/audio_sample.h"
#include "audio/sound_analysis.h"
#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"

namespace {

constexpr int kFrames = 1024;

// Interleaved stereo chunk built from per-frame left and right values.
template <typename Left, typename Right>
std::vector<int16_t> stereo(int frames, Left left, Right right) {
    std::vector<int16_t> s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[2 * i] = static_cast<int16_t>(left(i));
        s[2 * i + 1] = static_cast<int16_t>(right(i));
    }
    return s;
}

std::vector<int16_t> constant(int frames, int16_t value) {
    return stereo(frames, [=](int) { return value; }, [=](int) { return value; });
}

int bytes_of(const std::vector<int16_t>& s) { return static_cast<int>(s.size() * 2); }

int bin_of_texel(int j) { return j * 20000 / 88200; }

// The first and last spectrum texels showing FFT bin `bin`.
std::pair<int, int> texels_of_bin(int bin) {
    int first = -1, last = -1;
    for (int j = 0; j < kSoundTextureWidth; ++j)
        if (bin_of_texel(j) == bin) {
            if (first < 0) first = j;
            last = j;
        }
    return {first, last};
}

// Every texel of both rows has four equal bytes.
void expect_grey_texels(const SoundAnalyzer& a) {
    for (size_t t = 0; t < kSoundPixelBytes; t += 4) {
        ASSERT_EQ(a.pixels()[t], a.pixels()[t + 1]) << "texel byte " << t;
        ASSERT_EQ(a.pixels()[t], a.pixels()[t + 2]) << "texel byte " << t;
        ASSERT_EQ(a.pixels()[t], a.pixels()[t + 3]) << "texel byte " << t;
    }
}

// Spectrum byte of one bin, computed directly from the definition in double
// precision: Hamming-windowed left channel, plain DFT, normalised by half the
// window sum, 20 log10, floored at -90 dB, scaled to 0..255, low 8 bits.
int reference_spectrum_byte(const std::vector<int16_t>& chunk, int bin) {
    double re = 0, im = 0, window_sum = 0;
    for (int i = 0; i < kFrames; ++i) {
        const double w = 0.54 - 0.46 * std::cos(2 * std::numbers::pi * i / 1023.0);
        const double x = chunk[2 * i] / 32768.0 * w;
        re += x * std::cos(2 * std::numbers::pi * bin * i / kFrames);
        im -= x * std::sin(2 * std::numbers::pi * bin * i / kFrames);
        window_sum += w;
    }
    double level = 20 * std::log10(std::sqrt(re * re + im * im) / (window_sum * 0.5));
    if (!(level >= -90)) level = -90;
    return static_cast<int>((level + 90) * 255 / 90) & 0xff;
}

}  // namespace

// ---- spectrum ---------------------------------------------------------------

TEST(SoundAnalyzer_Silence, FloorsSpectrumCentresWaveformAndZeroesLevel) {
    SoundAnalyzer a;
    // Make every output non-trivial first, so silence has to overwrite it.
    std::mt19937 rng(7);
    auto noise = stereo(kFrames, [&](int) { return int(rng() % 65536) - 32768; }, [&](int) { return 30000; });
    a.analyse(noise.data(), bytes_of(noise));
    ASSERT_NE(a.level(), 0);

    auto silence = constant(kFrames, 0);
    a.analyse(silence.data(), bytes_of(silence));
    for (int j = 0; j < kSoundTextureWidth; ++j) {
        ASSERT_EQ(a.spectrum_value(j), 0) << "texel " << j;
        ASSERT_EQ(a.waveform_value(j), 128) << "texel " << j;
    }
    expect_grey_texels(a);
    EXPECT_EQ(a.level(), 0);
}

TEST(SoundAnalyzer_FullScaleSine, PeaksAtItsBinAndFallsAwayFromIt) {
    for (int bin : {10, 57, 150, 231}) {
        SCOPED_TRACE(bin);
        auto sine = stereo(
            kFrames, [&](int i) { return std::lround(32767 * std::sin(2 * std::numbers::pi * bin * i / kFrames)); },
            [](int) { return 0; });
        SoundAnalyzer a;
        a.analyse(sine.data(), bytes_of(sine));
        // Half the window sum normalises a full-scale sine to 0 dB; a 16-bit
        // sine is 1/32768 short of full scale (-0.0003 dB), which truncates
        // to 254 rather than 255.
        auto [first, last] = texels_of_bin(bin);
        for (int j = first; j <= last; ++j) EXPECT_EQ(a.spectrum_value(j), 254) << "texel " << j;
        // Neighbouring bins sit inside the Hamming main lobe (about -6 dB);
        // three bins away only the side lobes (below -40 dB) remain.
        for (int j = 0; j < kSoundTextureWidth; ++j) {
            const int distance = std::abs(bin_of_texel(j) - bin);
            if (distance == 1) {
                EXPECT_NEAR(a.spectrum_value(j), 234, 6) << "texel " << j;
            } else if (distance >= 3) {
                EXPECT_LT(a.spectrum_value(j), 140) << "texel " << j;
            }
        }
        expect_grey_texels(a);
    }
}

TEST(SoundAnalyzer_AboveFullScale, WrapsInsteadOfClamping) {
    // A full-scale square wave of period 64 has its fundamental at bin 16,
    // about 2.1 dB above a full-scale sine: (92.1 * 255 / 90) = 260 -> 4.
    auto square = stereo(kFrames, [](int i) { return (i % 64) < 32 ? 32767 : -32768; }, [](int) { return 0; });
    SoundAnalyzer a;
    a.analyse(square.data(), bytes_of(square));
    auto [first, last] = texels_of_bin(16);
    for (int j = first; j <= last; ++j) {
        EXPECT_EQ(a.spectrum_value(j), reference_spectrum_byte(square, 16)) << "texel " << j;
        EXPECT_LT(a.spectrum_value(j), 16) << "texel " << j;
    }
}

TEST(SoundAnalyzer_Spectrum, MatchesDirectTransformOfNoise) {
    std::mt19937 rng(42);
    std::normal_distribution<double> gauss(0, 6000);
    auto noise = stereo(
        kFrames, [&](int) { return std::clamp<long>(std::lround(gauss(rng)), -32768, 32767); },
        [&](int) { return int(rng() % 65536) - 32768; });
    SoundAnalyzer a;
    a.analyse(noise.data(), bytes_of(noise));
    int exact = 0;
    for (int j = 0; j < kSoundTextureWidth; ++j) {
        const int expected = reference_spectrum_byte(noise, bin_of_texel(j));
        // Float against double may fall on either side of a truncation step.
        ASSERT_NEAR(a.spectrum_value(j), expected, 1) << "texel " << j;
        exact += a.spectrum_value(j) == expected;
    }
    EXPECT_GT(exact, 1000);
}

TEST(SoundAnalyzer_RightChannel, FeedsNeitherSpectrumNorWaveform) {
    std::mt19937 rng(3);
    std::vector<int> left(kFrames);
    for (int& v : left) v = int(rng() % 20000) - 10000;
    auto quiet_right = stereo(kFrames, [&](int i) { return left[i]; }, [](int) { return 0; });
    auto loud_right = stereo(kFrames, [&](int i) { return left[i]; }, [&](int) { return int(rng() % 65536) - 32768; });
    SoundAnalyzer a, b;
    a.analyse(quiet_right.data(), bytes_of(quiet_right));
    b.analyse(loud_right.data(), bytes_of(loud_right));
    EXPECT_EQ(0, std::memcmp(a.pixels(), b.pixels(), kSoundPixelBytes));
    EXPECT_NE(a.level(), b.level());  // the ring does hear the right channel
}

// ---- waveform ---------------------------------------------------------------

TEST(SoundAnalyzer_Waveform, TruncatesTowardZeroAroundTheMiddle) {
    const std::vector<std::pair<int, int>> cases = {
        {-32768, 0}, {-32767, 1}, {-256, 127}, {-255, 128}, {-1, 128}, {0, 128},
        {255, 128},  {256, 129},  {32767, 255}};
    auto chunk = stereo(
        kFrames, [&](int i) { return cases[i % cases.size()].first; }, [](int) { return 12345; });
    SoundAnalyzer a;
    a.analyse(chunk.data(), bytes_of(chunk));
    for (int j = 0; j < kSoundTextureWidth; ++j)
        ASSERT_EQ(a.waveform_value(j), cases[j % cases.size()].second) << "texel " << j;
    expect_grey_texels(a);
}

TEST(SoundAnalyzer_ShortChunk, SpreadsFramesOverTexelsAndForgetsOlderSpectrum) {
    SoundAnalyzer a;
    std::mt19937 rng(11);
    auto loud = stereo(kFrames, [&](int) { return int(rng() % 65536) - 32768; }, [](int) { return 0; });
    a.analyse(loud.data(), bytes_of(loud));

    // 512 frames land on texels (i * 1023) / 511: 0, 2, 4, ... 1023.
    auto ramp = stereo(512, [](int i) { return (i / 2 - 128) * 256; }, [](int) { return 0; });
    std::vector<uint8_t> before(a.pixels(), a.pixels() + kSoundPixelBytes);
    a.analyse(ramp.data(), bytes_of(ramp));
    for (int i = 0; i < 512; ++i) ASSERT_EQ(a.waveform_value(i * 1023 / 511), i / 2) << "frame " << i;
    // Texels no frame lands on keep their value.
    EXPECT_EQ(a.waveform_value(1), before[(kSoundTextureWidth + 1) * 4]);

    // A silent short chunk must give a silent spectrum, not the remains of
    // the loud chunk in the FFT inputs it does not reach.
    auto silence = constant(512, 0);
    a.analyse(silence.data(), bytes_of(silence));
    for (int j = 0; j < kSoundTextureWidth; ++j) ASSERT_EQ(a.spectrum_value(j), 0) << "texel " << j;
}

// ---- level ring -------------------------------------------------------------

TEST(SoundAnalyzer_LevelRing, HoldsAbsoluteValuesOfBothChannelsIn16Bits) {
    SoundAnalyzer a;
    // The first 100 values (50 frames) are -32768, whose 16-bit absolute value
    // is still -32768; the rest of the chunk does not reach the ring.
    auto chunk = stereo(kFrames, [](int i) { return i < 50 ? -32768 : 1000; }, [](int i) { return i < 50 ? -32768 : 1000; });
    a.analyse(chunk.data(), bytes_of(chunk));
    EXPECT_EQ(a.level(), -32768);
    EXPECT_EQ(a.level_index(), 0);

    // Left silent, right -1000: half the ring at 1000.
    auto right_only = stereo(kFrames, [](int) { return 0; }, [](int) { return -1000; });
    a.analyse(right_only.data(), bytes_of(right_only));
    EXPECT_EQ(a.level(), 500);
    for (int k = 0; k < kLevelRingSize; ++k) EXPECT_EQ(a.level_ring()[k], k % 2 ? 1000 : 0);

    // The sum is sign-extended and the division truncates toward zero.
    auto mixed = stereo(kFrames, [](int i) { return i == 0 ? -32768 : 0; }, [](int i) { return i == 0 ? 3 : 0; });
    a.analyse(mixed.data(), bytes_of(mixed));
    EXPECT_EQ(a.level(), (-32768 + 3) / 100);
}

TEST(SoundAnalyzer_LevelRing, ShortChunkWritesOnlyItsValuesAndAdvancesTheIndex) {
    SoundAnalyzer a;
    auto full = constant(kFrames, 100);
    a.analyse(full.data(), bytes_of(full));
    // 10 frames = 20 values: the ring takes 20, no more (the vector ends there,
    // so reading further would be out of bounds under the sanitizers).
    auto small = constant(10, -3000);
    a.analyse(small.data(), bytes_of(small));
    EXPECT_EQ(a.level_index(), 20);
    EXPECT_EQ(a.level(), (20 * 3000 + 80 * 100) / 100);
    for (int k = 20; k < kLevelRingSize; ++k) ASSERT_EQ(a.level_ring()[k], 100);
    // The next chunk continues at 20 and wraps.
    a.analyse(full.data(), bytes_of(full));
    EXPECT_EQ(a.level_index(), 20);
    EXPECT_EQ(a.level(), 100);
}

// ---- odd chunks ---------------------------------------------------------------

TEST(SoundAnalyzer_OddChunks, TooShortOnesLeaveEverythingAlone) {
    SoundAnalyzer a;
    std::mt19937 rng(5);
    auto noise = stereo(kFrames, [&](int) { return int(rng() % 65536) - 32768; }, [&](int) { return int(rng() % 65536) - 32768; });
    a.analyse(noise.data(), bytes_of(noise));
    SoundSnapshot before = a.state();

    auto loud = constant(2, 32767);
    // One frame would divide by zero; partial frames are not frames.
    for (int length : {-4, 0, 1, 2, 3, 4, 5, 6, 7}) {
        a.analyse(loud.data(), length);
        ASSERT_EQ(0, std::memcmp(&before, &a.state(), sizeof before)) << "length " << length;
    }
    a.analyse(nullptr, 4096);
    EXPECT_EQ(0, std::memcmp(&before, &a.state(), sizeof before));
}

TEST(SoundAnalyzer_OddChunks, TrailingPartialFrameIsIgnored) {
    std::mt19937 rng(9);
    auto noise = stereo(kFrames + 1, [&](int) { return int(rng() % 65536) - 32768; }, [&](int) { return int(rng() % 65536) - 32768; });
    SoundAnalyzer whole, ragged;
    whole.analyse(noise.data(), kFrames * 4);
    for (int extra : {1, 2, 3}) {
        ragged.analyse(noise.data(), kFrames * 4 + extra);
        ASSERT_EQ(0, std::memcmp(&whole.state(), &ragged.state(), sizeof(SoundSnapshot))) << "extra " << extra;
    }
}

TEST(SoundAnalyzer_OddChunks, OversizedChunkFoldsOntoTheTexture) {
    // Were frames beyond 1024 written past the texture or the FFT input, they
    // would land in the level ring or the FFT output next to them. Beyond 2^21
    // frames, frame index * 1023 no longer fits 32 bits.
    const int frames = 3 << 20;
    auto big = stereo(frames, [=](int i) { return i == frames - 1 ? 32767 : -256; }, [](int) { return 7; });
    SoundAnalyzer a;
    a.analyse(big.data(), bytes_of(big));
    for (int j = 0; j < kSoundTextureWidth - 1; ++j) ASSERT_EQ(a.waveform_value(j), 127) << "texel " << j;
    EXPECT_EQ(a.waveform_value(kSoundTextureWidth - 1), 255);  // the last frame lands on the last texel
    EXPECT_EQ(a.level(), (50 * 256 + 50 * 7) / 100);
    EXPECT_EQ(a.level_index(), 0);
    expect_grey_texels(a);

    // Nothing next to the outputs was clobbered: an ordinary chunk still
    // analyses exactly as in a fresh analyser.
    std::mt19937 rng(13);
    auto noise = stereo(kFrames, [&](int) { return int(rng() % 65536) - 32768; }, [&](int) { return int(rng() % 65536) - 32768; });
    SoundAnalyzer fresh;
    a.analyse(noise.data(), bytes_of(noise));
    fresh.analyse(noise.data(), bytes_of(noise));
    EXPECT_EQ(0, std::memcmp(&a.state(), &fresh.state(), sizeof(SoundSnapshot)));
}

// ---- handoff between the audio thread and the main thread --------------------

TEST(SoundHandoff_ReaderSeesWholeChunks, WhileWriterHammers) {
    prepare_sound_analysis();
    // Chunk k holds the constant k * 256 everywhere, so the snapshot of chunk
    // k is known exactly: a torn copy mixes two of them.
    constexpr int kKinds = 16;
    std::vector<std::vector<int16_t>> chunks;
    std::vector<std::unique_ptr<SoundSnapshot>> expected;
    for (int k = 0; k < kKinds; ++k) {
        chunks.push_back(constant(kFrames, static_cast<int16_t>((k - kKinds / 2) * 2048)));
        SoundAnalyzer a;
        a.analyse(chunks.back().data(), bytes_of(chunks.back()));
        expected.push_back(std::make_unique<SoundSnapshot>(a.state()));
    }
    auto matches = [&](const SoundSnapshot& s) {
        for (const auto& e : expected)
            if (std::memcmp(e.get(), &s, sizeof s) == 0) return true;
        return false;
    };

    // Settle on a known chunk, so that history from elsewhere is gone.
    analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(chunks[0].data()), kFrames * 4);

    constexpr int kWrites = 3000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int n = 0; n < kWrites; ++n) {
            const auto& c = chunks[n % kKinds];
            analyse_mixed_chunk(reinterpret_cast<const uint8_t*>(c.data()), kFrames * 4);
        }
        done.store(true, std::memory_order_release);
    });
    auto snapshot = std::make_unique<SoundSnapshot>();
    std::vector<uint8_t> pixels(kSoundPixelBytes);
    int torn = 0, reads = 0;
    for (int n = 0; n < 1000000 && !done.load(std::memory_order_acquire); ++n, ++reads) {
        copy_sound_snapshot(*snapshot);
        torn += !matches(*snapshot);
        copy_sound_pixels(pixels.data());
        const int level = sound_level();
        // Pixels and level alone must each come from one chunk as well.
        bool pixels_whole = false, level_whole = false;
        for (const auto& e : expected) {
            pixels_whole |= std::memcmp(e->pixels, pixels.data(), kSoundPixelBytes) == 0;
            level_whole |= e->level() == level;
        }
        torn += !pixels_whole + !level_whole;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << "over " << reads << " reads";

    // Once the writer is done the reader sees its last chunk.
    copy_sound_snapshot(*snapshot);
    EXPECT_EQ(0, std::memcmp(snapshot.get(), expected[(kWrites - 1) % kKinds].get(), sizeof(SoundSnapshot)));
    EXPECT_EQ(sound_level(), expected[(kWrites - 1) % kKinds]->level());
}

// ---- the sample record --------------------------------------------------------

TEST(AudioSample_BinaryForm, IsNameThenBufferAndRoundTrips) {
    AudioSample s;
    s.name = "sfx/hit.wav";
    s.buffer.data = {'R', 'I', 'F', 'F', 0, 1, 2, 255};
    s.duration_ms = 1234;
    ContentWriter out;
    s.write(out);

    ContentWriter manual;
    manual.write_string("sfx/hit.wav");
    manual.write_blob(s.buffer.data.data(), s.buffer.data.size());
    EXPECT_EQ(out.bytes(), manual.bytes());

    const std::string bytes = out.bytes();
    ContentReader in(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    AudioSample back(in);
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(back.name, s.name);
    EXPECT_EQ(back.buffer.data, s.buffer.data);
    EXPECT_EQ(back.duration_ms, 0);  // measured by decoding, never stored
    EXPECT_EQ(back.chunk, nullptr);

    for (size_t cut = 0; cut < bytes.size(); cut += 3) {
        ContentReader truncated(reinterpret_cast<const uint8_t*>(bytes.data()), cut);
        AudioSample broken;
        EXPECT_THROW(broken.read(truncated), ContentError) << "cut at " << cut;
    }
}

TEST(AudioSample_JsonForm, EmbedsOrExternalisesThePayload) {
    AudioSample s;
    s.buffer.data = {0, 1, 2, 3, 250};
    // Payload files are named relative to the project folder (the working
    // directory); absolute names are refused.
    const std::filesystem::path dir = "audio_sample_json_test";
    std::filesystem::remove_all(dir);
    s.name = (dir / "kick.wav").generic_string();

    const nlohmann::json embedded = s.to_json(false);
    EXPECT_EQ(embedded.at("name"), s.name);
    EXPECT_EQ(embedded.at("audio_buffer"), "AAECA/o=");
    EXPECT_EQ(embedded.size(), 2u);  // no duration, no chunk
    AudioSample a;
    a.from_json(embedded);
    EXPECT_EQ(a.buffer.data, s.buffer.data);
    EXPECT_FALSE(std::filesystem::exists(s.name));

    const nlohmann::json external = s.to_json(true);
    EXPECT_EQ(external, nlohmann::json({{"name", s.name}}));
    ASSERT_TRUE(std::filesystem::exists(s.name));
    EXPECT_EQ(std::filesystem::file_size(s.name), 5u);
    AudioSample b;
    b.from_json(external);
    EXPECT_EQ(b.buffer.data, s.buffer.data);

    std::filesystem::remove(s.name);
    AudioSample missing;
    try {
        missing.from_json(external);
        FAIL() << "expected a missing-file error";
    } catch (const ContentError& e) {
        EXPECT_EQ(std::string(e.what()), "File not found: " + s.name);
    }
    std::filesystem::remove_all(dir);
}

TEST(AudioDuration_FromMixerFormat, UsesSixtyFourBitsAndGuardsTheFormat) {
    EXPECT_EQ(audio_duration_ms(88200, 2, 44100), 500);     // 0.5 s of 16-bit stereo
    EXPECT_EQ(audio_duration_ms(88199, 2, 44100), 499);     // truncates
    EXPECT_EQ(audio_duration_ms(44100, 1, 22050), 1000);
    // 10 minutes of 48 kHz stereo: the product (about 5.8e10) overflows 32 bits.
    EXPECT_EQ(audio_duration_ms(115200000, 2, 48000), 600000);
    EXPECT_EQ(audio_duration_ms(1000, 0, 44100), 0);
    EXPECT_EQ(audio_duration_ms(1000, 2, 0), 0);
    EXPECT_EQ(audio_duration_ms(UINT64_MAX, 1, 1), INT32_MAX);
}
