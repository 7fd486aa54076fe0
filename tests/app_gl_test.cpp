#include <GL/glew.h>
#include <gtest/gtest.h>

#include "app/beat_clock.h"
#include "app/loading_screen.h"
#include "app/playback_state.h"
#include "tests/support/gl_context.h"

namespace {

struct Census {
    int yellow = 0, white = 0, grey = 0, black = 0, other = 0;
    int black_left_band = 0;  // pixels of the first column that are black
};

Census census_of(const std::vector<uint8_t>& rgba, int width, int height) {
    Census c;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgba[(y * width + x) * 4];
            if (p[0] > 250 && p[1] > 250 && p[2] < 5) ++c.yellow;
            else if (p[0] > 250 && p[1] > 250 && p[2] > 250) ++c.white;
            else if (p[0] > 120 && p[0] < 136 && p[1] == p[0] && p[2] == p[0]) ++c.grey;
            else if (p[0] < 5 && p[1] < 5 && p[2] < 5) ++c.black;
            else ++c.other;
            if (x == 0 && p[0] < 5 && p[1] < 5 && p[2] < 5) ++c.black_left_band;
        }
    }
    return c;
}

Census draw_loading(LoadingScreen& screen, uint64_t read, uint64_t total) {
    const int w = gl_test::kWindowWidth, h = gl_test::kWindowHeight;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    screen.draw(read, total, w, h);
    glFinish();
    return census_of(gl_test::read_pixels(0, 0, w, h), w, h);
}

}  // namespace

TEST(LoadingScreen_Progress, EmptyFullAndBackToEmpty) {
    QV_REQUIRE_GL();
    gl_test::use_window_size();
    LoadingScreen screen;
    ASSERT_NE(screen.program().gl_program, 0u);

    const Census start = draw_loading(screen, 0, 10);
    EXPECT_GT(start.grey, 20) << "the shape shows grey before anything is read";
    EXPECT_EQ(start.yellow + start.white, 0);
    EXPECT_EQ(start.black_left_band, gl_test::kWindowHeight) << "a wide window shows black bands beside the square";

    const Census half = draw_loading(screen, 5, 10);
    EXPECT_GT(half.yellow, 20) << "half way the whole shape is filled";
    EXPECT_GT(half.white, 0) << "a white band lies below the fill line";
    EXPECT_EQ(half.grey, 0);

    const Census done = draw_loading(screen, 10, 10);
    EXPECT_EQ(done.yellow + done.white, 0) << "at the end the fill is back at the bottom";
    EXPECT_GT(done.grey, 20);
}

TEST(LoadingScreen_Progress, TotalZeroShowsTheEmptyShape) {
    QV_REQUIRE_GL();
    gl_test::use_window_size();
    LoadingScreen screen;
    const Census c = draw_loading(screen, 0, 0);
    EXPECT_GT(c.grey, 20);
    EXPECT_EQ(c.other, 0) << "no NaN garbage";
}

TEST(BeatClock_FromTicks, TempoOffsetAndEndRule) {
    EXPECT_FLOAT_EQ(beat_at(60000, 130.0f, 0.5f), 129.5f);
    EXPECT_NEAR(beat_at(61000, 130.0f, 0.5f), 131.67f, 0.01f);
    EXPECT_FLOAT_EQ(beat_at(0, 130.0f, 0.5f), -0.5f);
    EXPECT_TRUE(past_end(480.01f, 480.0f));
    EXPECT_FALSE(past_end(480.0f, 480.0f));
    EXPECT_FALSE(past_end(20000.0f, 10000.0f)) << "an end beat of 10000 or more never ends by time";
    EXPECT_FALSE(past_end(10000.5f, 9000.0f)) << "beats of 10000 and above never end the demo";
}
