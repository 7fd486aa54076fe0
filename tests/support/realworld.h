// The shared set of real-world media files made by other people's tools. It
// sits beside the source tree (or beside the folder of worktrees holding
// it) when present; tests that read it skip without it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace test_support {

inline std::filesystem::path realworld_folder() {
    for (const char* up : {"../shared/realworld", "../../shared/realworld"}) {
        const std::filesystem::path p = std::filesystem::path(QV_SOURCE_DIR) / up;
        if (std::filesystem::exists(p / "MANIFEST.md")) return p;
    }
    return {};
}

inline std::vector<uint8_t> read_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), {}};
}

}  // namespace test_support
