#include "serialization/file_io.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "serialization/content_error.h"

namespace {
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;
}  // namespace

std::optional<std::vector<uint8_t>> try_read_file(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return std::nullopt;
    std::vector<uint8_t> bytes;
    uint8_t chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(f.get())) return std::nullopt;
    return bytes;
}

std::vector<uint8_t> read_file_or_throw(const std::string& path) {
    auto bytes = try_read_file(path);
    if (!bytes) throw ContentError("File not found: " + path);
    return std::move(*bytes);
}

void write_file(const std::string& path, const void* bytes, size_t size) {
    // Names come from content of unknown origin: never let one escape the
    // folder the project is written into.
    const std::filesystem::path target(path);
    if (path.empty() || target.is_absolute()) throw ContentError("refusing to write file with unsafe name: " + path);
    for (const auto& part : target)
        if (part == "..") throw ContentError("refusing to write file with unsafe name: " + path);
    const std::filesystem::path parent = target.parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    File f(std::fopen(path.c_str(), "wb"));
    if (!f) throw ContentError("cannot write file: " + path);
    if (size > 0 && std::fwrite(bytes, 1, size, f.get()) != size) throw ContentError("cannot write file: " + path);
}
