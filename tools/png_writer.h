// PNG files of rendered frames. Frames are written many times a second of
// video, so deflate runs at its fastest level: the files are about a fifth
// larger than at the default level and written several times faster.
#pragma once

#include <cstdint>
#include <string>

// Writes `height` rows of `width` RGB pixels, top row first, as an 8-bit RGB
// PNG. Returns an empty string, or why the file could not be written.
std::string write_png_rgb(const std::string& path, int width, int height, const uint8_t* rgb);
