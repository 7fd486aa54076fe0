#include "tools/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <csetjmp>

namespace {

void on_error(png_structp png, png_const_charp message) {
    *static_cast<std::string*>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

}  // namespace

std::string write_png_rgb(const std::string& path, int width, int height, const uint8_t* rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return "cannot open for writing";
    std::string why;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &why, on_error, on_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(file);
        return "out of memory";
    }
    // libpng reports errors by jumping back here; nothing below owns memory
    // that the jump would skip.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return why.empty() ? "write failed" : why;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, Z_BEST_SPEED);
    // One filter for every row: choosing per row costs more than it saves here.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + static_cast<size_t>(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) return "write failed";
    return "";
}
