#include "tools/png_frames.h"

#include <cstdio>
#include <vector>

#include "serialization/content_error.h"
#include "tools/png_writer.h"

namespace {

class PngFrames final : public FrameSink {
public:
    PngFrames(std::string path, bool single, int width, int height)
        : path_(std::move(path)), single_(single), width_(width), height_(height),
          rgb_(static_cast<size_t>(width) * height * 3) {}

    // Image rows go down from the top; the alpha channel is what the demo
    // blended, not a picture: PNG frames are opaque RGB.
    void write_frame(const uint8_t* rgba) override {
        for (int y = 0; y < height_; ++y) {
            const uint8_t* from = rgba + static_cast<size_t>(height_ - 1 - y) * width_ * 4;
            uint8_t* to = &rgb_[static_cast<size_t>(y) * width_ * 3];
            for (int x = 0; x < width_; ++x) {
                to[x * 3] = from[x * 4];
                to[x * 3 + 1] = from[x * 4 + 1];
                to[x * 3 + 2] = from[x * 4 + 2];
            }
        }
        std::string file = path_;
        if (!single_) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%06zu.png", index_);
            file += name;
        }
        ++index_;
        if (const std::string why = write_png_rgb(file, width_, height_, rgb_.data()); !why.empty())
            throw ContentError("cannot write " + file + ": " + why);
    }

    void write_audio(const int16_t*, size_t) override {}
    void finish() override {}

private:
    std::string path_;
    bool single_;
    int width_, height_;
    std::vector<uint8_t> rgb_;
    size_t index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> make_png_frames(const std::string& path, bool single, int width, int height) {
    return std::make_unique<PngFrames>(path, single, width, height);
}
