// The reader's decode-ahead: decodes run on worker threads while records are
// read on, yet every hook, progress call and message comes in stream order on
// the reading thread, the same as when each record is decoded in turn. Run
// under ThreadSanitizer by scripts/tsan.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scene3d/gltf_builder.h"
#include "serialization/content_error.h"
#include "serialization/content_reader.h"
#include "serialization/content_writer.h"
#include "serialization/decode_pool.h"
#include "serialization/demo.h"

namespace {

// A cube whose node is animated twice: a translation (announced on standard
// output) and morph weights (refused on standard error).
std::vector<uint8_t> animated_cube_glb() {
    GltfBuilder b;
    b.set_scene({b.add_node(b.add_cube_mesh())});
    const int times = b.add_accessor(std::vector<float>{0, 1}, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR, 2);
    const int moves = b.add_vec3({0, 0, 0, 1, 0, 0});
    tinygltf::Animation animation;
    animation.name = "slide";
    tinygltf::AnimationSampler sampler;
    sampler.input = times;
    sampler.output = moves;
    animation.samplers.push_back(sampler);
    tinygltf::AnimationChannel translation;
    translation.sampler = 0;
    translation.target_node = 0;
    translation.target_path = "translation";
    tinygltf::AnimationChannel weights = translation;
    weights.target_path = "weights";
    animation.channels = {translation, weights};
    b.doc.animations.push_back(animation);
    return b.glb();
}

// A document that parses but points an accessor past its buffer views.
std::vector<uint8_t> unusable_glb() {
    GltfBuilder b;
    b.set_scene({b.add_node(b.add_cube_mesh())});
    b.doc.accessors[0].bufferView = 7;
    return b.glb();
}

// Every list a few records long; pictures and sounds are arbitrary bytes the
// test hooks "decode" by measuring them.
std::vector<uint8_t> mixed_content(int textures) {
    Demo demo;
    demo.events.push_back(std::make_unique<Event>());
    demo.shaders.push_back(std::make_unique<ShaderProgram>());
    for (int i = 0; i < textures; ++i)
        demo.textures.push_back(std::make_unique<Texture>(
            "t" + std::to_string(i), ByteBuffer(std::vector<uint8_t>(static_cast<size_t>(i * 37 % 11), uint8_t(i)))));
    for (int i = 0; i < 3; ++i) {
        auto sample = std::make_unique<AudioSample>();
        sample->name = "s" + std::to_string(i);
        sample->buffer.data.assign(static_cast<size_t>(100 + i), uint8_t(i));
        demo.audio_samples.push_back(std::move(sample));
    }
    demo.datas.push_back(std::make_unique<Data>());
    const std::vector<std::vector<uint8_t>> models = {animated_cube_glb(), {1, 2, 3, 4}, unusable_glb(),
                                                      animated_cube_glb()};
    for (size_t i = 0; i < models.size(); ++i) {
        auto model = std::make_unique<Model>();
        model->filename = "m" + std::to_string(i) + ".glb";
        model->buffer.data = models[i];
        demo.models.push_back(std::move(model));
    }
    demo.textures.push_back(std::make_unique<Texture>("last", ByteBuffer(std::vector<uint8_t>(5, 9))));
    auto scene = std::make_unique<Scene>();
    scene->name = "after the models";
    demo.scenes.push_back(std::move(scene));
    ContentWriter out;
    demo.write(out);
    return std::vector<uint8_t>(out.bytes().begin(), out.bytes().end());
}

// Logs every turn; decodes measure the bytes. With a pool, decodes run on its
// workers and the reader reads `ahead` records ahead.
class RecordingHooks : public LoadHooks {
public:
    RecordingHooks(size_t workers, size_t ahead) : ahead_(ahead), reader_(std::this_thread::get_id()) {
        if (workers) pool_ = std::make_unique<DecodePool>(workers);
    }

    std::string log;
    std::vector<size_t> submitted_at_texture_turn;  // decodes started when each texture had its turn
    size_t most_waiting = 0;                         // decoded, not yet turned
    std::atomic<int> decodes_off_reader{0};

    void texture_decode(Texture& t) override {
        note_decode();
        t.width = static_cast<int32_t>(t.image.size());
        uint32_t hash = 0;  // unsigned: the hash wraps
        for (uint8_t b : t.image.data) hash = hash * 31 + b;
        t.height = static_cast<int32_t>(hash & 0x7fffffff);
        finished();
    }
    void audio_sample_decode(AudioSample& s) override {
        note_decode();
        s.duration_ms = static_cast<int32_t>(s.buffer.size()) * 10;
        finished();
    }
    std::future<void> start_decode(std::function<void()> decode) override {
        ++submitted_;
        if (!pool_) return LoadHooks::start_decode(std::move(decode));
        return pool_->submit(std::move(decode));
    }
    size_t read_ahead() const override { return pool_ ? ahead_ : 0; }

    void shader_read(ShaderProgram&) override { turn("shader"); }
    void texture_read(Texture& t) override {
        submitted_at_texture_turn.push_back(submitted_);
        turn("texture " + t.name + " " + std::to_string(t.width) + " " + std::to_string(t.height));
    }
    void audio_sample_read(AudioSample& s) override {
        turn("sample " + s.name + " " + std::to_string(s.duration_ms));
    }
    void model_read(Model& m) override {
        turn("model " + m.filename + " parsed=" + std::to_string(m.parsed) + " valid=" + std::to_string(m.valid) +
             " primitives=" + std::to_string(m.primitive_draws.size()) +
             " animations=" + std::to_string(m.animations ? m.animations->animations.size() : 0));
    }
    void scene_read(Scene& s) override { turn("scene " + s.name); }
    void progress(uint64_t read, uint64_t total) override {
        turn("progress " + std::to_string(read) + "/" + std::to_string(total));
    }

private:
    void note_decode() {
        if (std::this_thread::get_id() != reader_) ++decodes_off_reader;
    }
    void finished() {
        std::lock_guard lock(mutex_);
        ++waiting_;
        most_waiting = std::max(most_waiting, waiting_);
    }
    void turn(const std::string& what) {
        EXPECT_EQ(std::this_thread::get_id(), reader_) << what;
        if (what.rfind("texture", 0) == 0 || what.rfind("sample", 0) == 0) {
            std::lock_guard lock(mutex_);
            --waiting_;
        }
        log += what + "\n";
        // On standard output too, so a decode's messages show where they
        // fell among the turns.
        std::printf("[%s]\n", what.c_str());
    }

    size_t ahead_;
    std::thread::id reader_;
    std::unique_ptr<DecodePool> pool_;
    size_t submitted_ = 0;
    std::mutex mutex_;
    size_t waiting_ = 0;
};

struct Loaded {
    std::string log, out, err, failure;
};

Loaded load(const std::vector<uint8_t>& bytes, RecordingHooks& hooks) {
    Loaded result;
    Demo demo;
    ContentReader in(bytes);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    try {
        demo.read_with(in, hooks);
    } catch (const ContentError& e) {
        result.failure = e.what();
    }
    result.err = testing::internal::GetCapturedStderr();
    result.out = testing::internal::GetCapturedStdout();
    result.log = hooks.log;
    return result;
}

}  // namespace

TEST(DecodeAhead_MixedContent, SameTurnsMessagesAndResultsAsDecodingInTurn) {
    const std::vector<uint8_t> bytes = mixed_content(9);
    RecordingHooks in_turn(0, 0);
    const Loaded expected = load(bytes, in_turn);
    ASSERT_EQ(expected.failure, "");
    // Each model's messages come right before its turn.
    EXPECT_NE(expected.out.find("[progress 15/21]\nname of animation: slide\n[model m0.glb parsed=1 valid=1 "
                                "primitives=1 animations=1]\n[progress 16/21]\nErr: Too short data size for glTF "
                                "Binary.\nFailed to parse glTF\n[model m1.glb parsed=0"),
              std::string::npos)
        << expected.out;
    EXPECT_NE(expected.out.find("[progress 17/21]\nModel m2.glb is unusable and will not be drawn:"),
              std::string::npos)
        << expected.out;
    EXPECT_NE(expected.err.find("Boem kapot"), std::string::npos) << expected.err;
    EXPECT_NE(expected.log.find("model m3.glb parsed=1 valid=1 primitives=1 animations=1\nprogress 19/21"),
              std::string::npos)
        << expected.log;

    for (size_t workers : {1u, 3u}) {
        for (size_t ahead : {1u, 4u, 64u}) {
            RecordingHooks pooled(workers, ahead);
            const Loaded got = load(bytes, pooled);
            EXPECT_EQ(got.failure, "");
            EXPECT_EQ(got.log, expected.log) << workers << " workers, " << ahead << " ahead";
            EXPECT_EQ(got.out, expected.out) << workers << " workers, " << ahead << " ahead";
            EXPECT_EQ(got.err, expected.err) << workers << " workers, " << ahead << " ahead";
            EXPECT_EQ(pooled.decodes_off_reader.load(), 10 + 3) << "every decode ran on a worker";
        }
    }
}

TEST(DecodeAhead_MixedContent, TruncatedStreamTurnsTheSameRecordsBeforeFailing) {
    const std::vector<uint8_t> whole = mixed_content(9);
    // Cuts among the models and in the tail: every record read before the
    // cut still has its turn, the records behind the reader none.
    for (size_t cut : {whole.size() / 2, whole.size() - 200, whole.size() - 1}) {
        const std::vector<uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        RecordingHooks in_turn(0, 0);
        const Loaded expected = load(bytes, in_turn);
        ASSERT_NE(expected.failure, "") << cut;
        RecordingHooks pooled(2, 5);
        const Loaded got = load(bytes, pooled);
        EXPECT_EQ(got.failure, expected.failure) << cut;
        EXPECT_EQ(got.log, expected.log) << cut;
        EXPECT_EQ(got.out, expected.out) << cut;
    }
}

TEST(DecodeAhead_Bound, ReaderRunsExactlyTheReadAheadAndNoFurther) {
    constexpr size_t kTextures = 40;
    constexpr size_t kAhead = 4;
    Demo source;
    for (size_t i = 0; i < kTextures; ++i)
        source.textures.push_back(std::make_unique<Texture>("t", ByteBuffer(std::vector<uint8_t>(3, uint8_t(i)))));
    ContentWriter out;
    source.write(out);
    const std::vector<uint8_t> bytes(out.bytes().begin(), out.bytes().end());

    RecordingHooks pooled(2, kAhead);
    const Loaded got = load(bytes, pooled);
    ASSERT_EQ(got.failure, "");
    ASSERT_EQ(pooled.submitted_at_texture_turn.size(), kTextures);
    // Record r has its turn when record r + kAhead is about to start
    // decoding: kAhead decodes are under way, never more.
    for (size_t r = 0; r < kTextures; ++r)
        EXPECT_EQ(pooled.submitted_at_texture_turn[r], std::min(r + kAhead, kTextures)) << "turn of record " << r;
    EXPECT_LE(pooled.most_waiting, kAhead);

    RecordingHooks in_turn(0, 0);
    load(bytes, in_turn);
    for (size_t r = 0; r < kTextures; ++r) EXPECT_EQ(in_turn.submitted_at_texture_turn[r], r + 1);
    EXPECT_EQ(in_turn.most_waiting, 1u);
}
