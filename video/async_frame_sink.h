// Runs another sink on a worker thread, so a frame is encoded or compressed
// while the next is drawn. Frames are copied into a small ring of buffers;
// when all are waiting for the worker, write_frame waits for one to free up,
// so memory stays bounded however slow the encoder is. A failure on the
// worker is thrown by the next call on the caller's thread.
#pragma once

#include <memory>

#include "video/frame_sink.h"

// `frame_bytes` is the size of one frame as the inner sink takes it;
// `buffers` frames (at least 1) may wait at once.
std::unique_ptr<FrameSink> make_async_frame_sink(std::unique_ptr<FrameSink> inner, size_t frame_bytes,
                                                 int buffers = 3);
