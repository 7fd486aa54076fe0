#include "app/frame_readback.h"

#include <GL/glew.h>

#include <stdexcept>

#include "app/hidden_gl_window.h"

FrameReadback::FrameReadback(int width, int height) : width_(width), height_(height) {
    glGenBuffers(2, buffers_);
    for (unsigned int b : buffers_) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, b);
        glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(width) * height * 4, nullptr, GL_STREAM_READ);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

FrameReadback::~FrameReadback() { glDeleteBuffers(2, buffers_); }

void FrameReadback::start(const std::function<void(const uint8_t*)>& use) {
    if (pending_ == 2) take(use);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(default_framebuffer_draw_buffer());
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[next_]);
    // With a pack buffer bound the read only queues a copy into it.
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    next_ = 1 - next_;
    ++pending_;
}

bool FrameReadback::take(const std::function<void(const uint8_t*)>& use) {
    if (pending_ == 0) return false;
    const int oldest = pending_ == 2 ? next_ : 1 - next_;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[oldest]);
    const auto* pixels = static_cast<const uint8_t*>(
        glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(width_) * height_ * 4, GL_MAP_READ_BIT));
    --pending_;
    // Unmapped however `use` leaves, so a failed write keeps GL usable.
    struct Unmap {
        ~Unmap() {
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        }
    } unmap;
    if (!pixels) throw std::runtime_error("the frame read back cannot be mapped");
    use(pixels);
    return true;
}
