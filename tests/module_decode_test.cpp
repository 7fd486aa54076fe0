#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/module_decode.h"
#include "tests/support/realworld.h"
#include "tests/support/tiny_module.h"

namespace {

using test_support::read_bytes;
using test_support::realworld_folder;
using test_support::tiny_mod;

bool has_sound(const std::vector<int16_t>& pcm) {
    for (int16_t s : pcm)
        if (s > 1000 || s < -1000) return true;
    return false;
}

}  // namespace

TEST(ModuleDecode_Bound, LoopingSongStopsAtTheBoundAndSaysSo) {
    const std::vector<uint8_t> looping = tiny_mod(8);
    ASSERT_FALSE(starts_like_streamed_sound(looping.data(), looping.size()));
    const uint64_t bound = 3 * 44100;  // more than twice the pattern's length
    const ModuleDecode d = decode_module(looping.data(), looping.size(), 44100, bound);
    ASSERT_TRUE(d.is_module);
    EXPECT_TRUE(d.cut);
    EXPECT_EQ(d.pcm.size(), bound * 2);
    // Still playing at the bound: the jump restarted the note, it did not fall silent.
    EXPECT_TRUE(has_sound(std::vector<int16_t>(d.pcm.end() - 8820, d.pcm.end())));

    // The same song without its jump ends by itself, well before the bound.
    const std::vector<uint8_t> ending = tiny_mod(-1);
    const ModuleDecode e = decode_module(ending.data(), ending.size(), 22050, bound);
    ASSERT_TRUE(e.is_module);
    EXPECT_FALSE(e.cut);
    EXPECT_TRUE(has_sound(e.pcm));
    const double seconds = static_cast<double>(e.pcm.size() / 2) / 22050.0;
    EXPECT_GT(seconds, 1.0);
    EXPECT_LT(seconds, 2.0);

    // A bound that falls exactly on the song's end is no cut.
    const ModuleDecode exact = decode_module(ending.data(), ending.size(), 22050, e.pcm.size() / 2);
    EXPECT_FALSE(exact.cut);
    EXPECT_EQ(exact.pcm, e.pcm);
}

TEST(ModuleDecode_Recognition, StreamedFormatsAndGarbageAreNoModules) {
    for (const std::string& head : std::vector<std::string>{"RIFF....WAVE", "OggS", "fLaC", "ID3\x04", "FORM", "MThd", "\xFF\xFB\x90"})
        EXPECT_TRUE(starts_like_streamed_sound(reinterpret_cast<const uint8_t*>(head.data()), head.size())) << head;
    const std::vector<uint8_t> nothing(10, 0);
    EXPECT_FALSE(decode_module(nothing.data(), nothing.size(), 44100, 44100).is_module);
    EXPECT_FALSE(decode_module(nullptr, 0, 44100, 44100).is_module);
    const std::vector<uint8_t> m = tiny_mod(8);
    EXPECT_FALSE(decode_module(m.data(), m.size(), 100, 44100).is_module) << "an unusable rate is refused";
}

// The tracker modules of the shared real-world set: each decodes, and the
// one whose song loops stops at the bound instead of running on.
TEST(ModuleDecode_RealWorld, EveryModuleEndsOrStopsAtTheBound) {
    const std::filesystem::path root = realworld_folder();
    if (root.empty()) GTEST_SKIP() << "no real-world set beside the source tree";
    const std::filesystem::path folder = root / "audio";
    const uint64_t bound = 20 * 22050;
    int modules = 0;
    for (const char* name : {"blue_damage.mod", "mm2flash.s3m", "mini1111.xm", "4th_Symmetriad.it"}) {
        if (!std::filesystem::exists(folder / name)) continue;
        const std::vector<uint8_t> bytes = read_bytes(folder / name);
        const ModuleDecode d = decode_module(bytes.data(), bytes.size(), 22050, bound);
        EXPECT_TRUE(d.is_module) << name;
        EXPECT_LE(d.pcm.size(), bound * 2) << name;
        EXPECT_TRUE(has_sound(d.pcm)) << name;
        ++modules;
    }
    if (modules == 0) GTEST_SKIP() << "no modules in the real-world set";
}
