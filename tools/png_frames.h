// Rendered frames as PNG files: one file for a single beat, or
// FOLDER/frame_NNNNNN.png for a range. The music is not part of it (the
// renderer writes it beside the frames as WAV).
#pragma once

#include <memory>
#include <string>

#include "video/frame_sink.h"

// `single`: every frame goes to `path` (one frame is written); otherwise
// `path` is the folder of numbered frames, which must exist.
std::unique_ptr<FrameSink> make_png_frames(const std::string& path, bool single, int width, int height);
