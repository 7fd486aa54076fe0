// The block a packed demo carries at the end of the player executable:
// [content stream of N bytes][N as uint32 little-endian]["DEMO"].
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ContentSpan {
    size_t offset = 0;  // where the content stream starts in the file
    size_t size = 0;
};

// Where the content lies in a file that ends with the trailer. Nothing when
// the last four bytes are not "DEMO". Throws ContentError when they are but N
// reaches before the start of the file.
std::optional<ContentSpan> find_trailer(const uint8_t* file, size_t file_size);

// The content of a file that is either a packed demo (the span its trailer
// names) or a bare content stream (the whole file). Throws as find_trailer.
ContentSpan content_span(const uint8_t* file, size_t file_size);

// `player` with `content`, its length and "DEMO" appended. An existing trailer
// on `player` is dropped first, so packing onto a packed demo replaces its
// content instead of nesting it. Throws ContentError for content of 4 GiB or more.
std::vector<uint8_t> append_trailer(const std::vector<uint8_t>& player, const std::string& content);
