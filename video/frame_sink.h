// Where the offline renderer's output goes: one interface for every kind of
// output (PNG frames, a video file), so the render loop has a single path.
//
// The video/ folder is GL-free: frames arrive as plain bytes, the music as
// PCM. Life of a sink: made (the output is opened, settings are checked),
// then frames and audio in time order, then finish(), which completes the
// output. A sink destroyed without finish() removes what it wrote, so a run
// that fails half way leaves nothing that looks like a complete file.
#pragma once

#include <cstddef>
#include <cstdint>

class FrameSink {
public:
    virtual ~FrameSink() = default;

    // One frame of the size the sink was made for: RGBA bytes, rows packed,
    // bottom row first (the order GL reads them in); alpha is ignored, frames
    // are opaque. The bytes are used before the call returns. Throws
    // std::runtime_error with one line when the output cannot be written.
    virtual void write_frame(const uint8_t* rgba) = 0;

    // The music that plays during the frames written so far: interleaved
    // signed 16-bit stereo at 44.1 kHz, continuing the samples given before.
    // Sinks without sound ignore it. Throws like write_frame.
    virtual void write_audio(const int16_t* samples, size_t frames) = 0;

    // Completes the output: drains encoders, writes trailers, gives the file
    // its final name. Throws like write_frame; nothing complete is left then.
    virtual void finish() = 0;
};
