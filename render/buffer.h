// Buffer: a CPU pixel buffer (RGBA, 4 bytes per pixel) that screen copies are
// read into before they are uploaded to an effect's copy texture.
#pragma once

#include <cstdint>
#include <vector>

struct Buffer {
    std::vector<uint8_t> pixels;  // width * height * 4 bytes
    int32_t width = 0;
    int32_t height = 0;

    Buffer() = default;
    // A zero or negative size makes an empty buffer.
    Buffer(int32_t w, int32_t h) {
        if (w <= 0 || h <= 0) return;
        width = w;
        height = h;
        pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    }

    int32_t byte_count() const { return static_cast<int32_t>(pixels.size()); }
};
