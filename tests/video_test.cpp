#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "video/async_frame_sink.h"

namespace {

// Records what reaches it; fails the frame numbered `fail_at` (if any), and
// can be slowed down so the caller fills the ring.
struct Recorder : FrameSink {
    std::vector<int> log;  // frame: first byte; audio: -(first sample)
    int fail_at = -1;
    int delay_ms = 0;
    bool finished = false;
    void write_frame(const uint8_t* rgba) override {
        if (delay_ms) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        if (rgba[0] == fail_at) throw std::runtime_error("disk full");
        log.push_back(rgba[0]);
    }
    void write_audio(const int16_t* samples, size_t) override { log.push_back(-samples[0]); }
    void finish() override { finished = true; }
};

TEST(AsyncFrameSink, KeepsTheOrderOfFramesAndSoundAndCopiesTheFrames) {
    auto recorder = std::make_unique<Recorder>();
    Recorder* seen = recorder.get();
    seen->delay_ms = 1;
    auto sink = make_async_frame_sink(std::move(recorder), 16, 2);
    std::vector<uint8_t> frame(16);
    for (int i = 1; i <= 20; ++i) {
        frame.assign(16, static_cast<uint8_t>(i));  // the caller reuses its buffer at once
        sink->write_frame(frame.data());
        const int16_t sound[2] = {static_cast<int16_t>(i), 0};
        sink->write_audio(sound, 1);
    }
    sink->finish();
    ASSERT_TRUE(seen->finished);
    ASSERT_EQ(seen->log.size(), 40u);
    for (int i = 1; i <= 20; ++i) {
        EXPECT_EQ(seen->log[2 * (i - 1)], i);
        EXPECT_EQ(seen->log[2 * (i - 1) + 1], -i);
    }
}

TEST(AsyncFrameSink, AFailureOnTheWorkerIsThrownToTheCallerAndNothingIsFinished) {
    for (int fail_at : {1, 5}) {
        auto recorder = std::make_unique<Recorder>();
        Recorder* seen = recorder.get();
        seen->fail_at = fail_at;
        seen->delay_ms = 2;  // the ring of one buffer fills: write_frame waits on the worker
        auto sink = make_async_frame_sink(std::move(recorder), 4, 1);
        std::vector<uint8_t> frame(4);
        bool thrown = false;
        int i = 1;
        for (; i <= 50 && !thrown; ++i) {
            frame.assign(4, static_cast<uint8_t>(i));
            try {
                sink->write_frame(frame.data());
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "disk full");
                thrown = true;
            }
        }
        if (!thrown) {
            EXPECT_THROW(sink->finish(), std::runtime_error) << "fail_at " << fail_at;
        }
        EXPECT_LE(i, fail_at + 3) << "the failure is reported within a frame or two";
        EXPECT_FALSE(seen->finished);
        EXPECT_EQ(seen->log.size(), static_cast<size_t>(fail_at - 1));
    }
}

}  // namespace
