// Base64 for blobs in the JSON project form. Encoding follows RFC 4648 in the
// standard ("+/", "=" padding) or URL-safe ("-_", "." padding) alphabet;
// decoding accepts both alphabets and both paddings at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class Base64Alphabet { standard, url_safe };

std::string base64_encode(const uint8_t* bytes, size_t size,
                          Base64Alphabet alphabet = Base64Alphabet::standard);

// Throws std::runtime_error("Input is not valid base64-encoded data.") for a
// character outside both alphabets or a final group of one character. With
// remove_line_breaks, every '\n' is dropped first.
std::vector<uint8_t> base64_decode(std::string_view text, bool remove_line_breaks = false);
