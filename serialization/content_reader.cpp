#include "serialization/content_reader.h"

#include <algorithm>
#include <stdexcept>

#include "serialization/message_decompressor.h"
#include "serialization/scrambler.h"

void ContentReader::fail(const char* what, const std::string& problem) const {
    throw ContentError("content error while reading " + std::string(what) + " at byte " +
                       std::to_string(pos_) + ": " + problem);
}

void ContentReader::short_read(uint64_t bytes, const char* what) const {
    fail(what, "needs " + std::to_string(bytes) + " bytes but only " + std::to_string(size_ - pos_) +
                   " remain (truncated or corrupt stream)");
}

uint64_t ContentReader::read_count(const char* what, size_t min_element_bytes) {
    const size_t at = pos_;
    const uint64_t count = read_u64(what);
    if (min_element_bytes == 0) min_element_bytes = 1;
    if (count > remaining() / min_element_bytes) {
        pos_ = at;
        fail(what, "count " + std::to_string(count) + " is larger than the " + std::to_string(remaining()) +
                       " bytes that remain could hold");
    }
    return count;
}

std::string ContentReader::read_string(const char* what) {
    const size_t at = pos_;
    const uint64_t length = read_u64(what);
    if (length > remaining()) {
        pos_ = at;
        fail(what, "string length " + std::to_string(length) + " exceeds the " + std::to_string(remaining()) +
                       " bytes that remain");
    }
    // Unscramble into a scratch buffer reused across strings.
    thread_local std::vector<uint8_t> scratch;
    scratch.resize(length);
    scramble_copy(data_ + pos_, scratch.data(), length);
    // The decoder takes 0 as "no limit": an exhausted budget still admits a
    // one-byte string, which the nine stored bytes of every string bound.
    const uint64_t limit = std::max<uint64_t>(1, std::min(kMaxStringBytes, string_budget_));
    try {
        std::string text = decompress_message(scratch.data(), scratch.size(), limit);
        pos_ += length;
        string_budget_ -= std::min<uint64_t>(string_budget_, text.size());
        return text;
    } catch (const std::length_error& e) {
        pos_ = at;
        if (limit < kMaxStringBytes)
            fail(what, "the strings of this stream decode to more than " + std::to_string(kMaxTotalStringBytes) +
                           " bytes in total");
        fail(what, e.what());
    } catch (const std::exception& e) {
        pos_ = at;
        fail(what, e.what());
    }
}

std::vector<uint8_t> ContentReader::read_blob(const char* what) {
    const size_t at = pos_;
    const uint64_t length = read_u64(what);
    if (length > remaining()) {
        pos_ = at;
        fail(what, "blob length " + std::to_string(length) + " exceeds the " + std::to_string(remaining()) +
                       " bytes that remain");
    }
    std::vector<uint8_t> bytes(length);
    scramble_copy(data_ + pos_, bytes.data(), length);
    pos_ += length;
    return bytes;
}
