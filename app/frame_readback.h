// Reads finished frames back from the default framebuffer without stalling
// the drawing: each frame is read into one of two pixel-buffer objects, and
// is mapped only after the next frame has been drawn, so the copy overlaps
// that drawing. Needs the current GL context of the frames; main thread.
//
// Per frame: draw, start(); then take() hands over the frame started one
// call earlier. After the last frame, take() until it returns false.
#pragma once

#include <cstdint>
#include <functional>

class FrameReadback {
public:
    FrameReadback(int width, int height);
    ~FrameReadback();
    FrameReadback(const FrameReadback&) = delete;
    FrameReadback& operator=(const FrameReadback&) = delete;

    // Starts reading the frame just drawn. When both buffers are in use the
    // older frame is handed to `use` first, so nothing is overwritten.
    void start(const std::function<void(const uint8_t* rgba)>& use);

    // Hands the oldest frame started and not yet taken to `use`: RGBA, rows
    // packed, bottom row first, valid during the call. False when none waits;
    // throws std::runtime_error when the buffer cannot be mapped.
    bool take(const std::function<void(const uint8_t* rgba)>& use);

private:
    int width_, height_;
    unsigned int buffers_[2] = {0, 0};
    int next_ = 0;     // buffer the next start() reads into
    int pending_ = 0;  // frames started and not taken (0 to 2)
};
