// A video file encoded with FFmpeg's libraries: frames scaled to yuv420p with
// BT.709 coefficients, the music resampled to what the audio encoder takes.
#pragma once

#include <memory>

#include "video/frame_sink.h"
#include "video/video_settings.h"

// Opens the encoders and the output file under a temporary name beside the
// final one. Throws std::runtime_error with one line when the container or
// codec is unknown, the encoder is missing from the FFmpeg build or refuses
// the settings, the size is odd, or the folder does not exist.
std::unique_ptr<FrameSink> open_video_file(const VideoSettings& settings);
