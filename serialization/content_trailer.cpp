#include "serialization/content_trailer.h"

#include <cstring>
#include <limits>

#include "serialization/content_error.h"

std::optional<ContentSpan> find_trailer(const uint8_t* file, size_t file_size) {
    if (file_size < 8 || std::memcmp(file + file_size - 4, "DEMO", 4) != 0) return std::nullopt;
    uint32_t n = 0;
    std::memcpy(&n, file + file_size - 8, 4);
    if (n > file_size - 8)
        throw ContentError("content trailer declares " + std::to_string(n) + " bytes but the file holds only " +
                           std::to_string(file_size - 8) + " before it");
    return ContentSpan{file_size - 8 - n, n};
}

ContentSpan content_span(const uint8_t* file, size_t file_size) {
    if (auto trailer = find_trailer(file, file_size)) return *trailer;
    return ContentSpan{0, file_size};
}

std::vector<uint8_t> append_trailer(const std::vector<uint8_t>& player, const std::string& content) {
    if (content.size() > std::numeric_limits<uint32_t>::max())
        throw ContentError("content of " + std::to_string(content.size()) + " bytes does not fit the 4 GiB trailer");
    size_t player_size = player.size();
    if (auto existing = find_trailer(player.data(), player.size())) player_size = existing->offset;
    std::vector<uint8_t> out(player.begin(), player.begin() + static_cast<std::ptrdiff_t>(player_size));
    out.insert(out.end(), content.begin(), content.end());
    const uint32_t n = static_cast<uint32_t>(content.size());
    uint8_t tail[8];
    std::memcpy(tail, &n, 4);
    std::memcpy(tail + 4, "DEMO", 4);
    out.insert(out.end(), tail, tail + 8);
    return out;
}
