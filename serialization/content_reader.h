// Reads the binary content stream front to back from a memory block of known
// size. Every read checks the bytes that remain first; a stream that ends
// early or declares more than it holds throws ContentError naming what was
// being read and the byte offset, never allocating for a forged length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "serialization/content_error.h"

// Largest uncompressed string accepted. A forged preamble gets the length
// error instead of a gigantic allocation.
constexpr uint64_t kMaxStringBytes = 256ull << 20;

// Largest total of decoded string bytes one stream may produce. A message of
// a dozen bytes can declare, and with one long copy even fill, kMaxStringBytes;
// without a total, a small forged stream of many such strings would take
// gigabytes before its first real error.
constexpr uint64_t kMaxTotalStringBytes = 512ull << 20;

class ContentReader {
public:
    ContentReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ContentReader(const std::vector<uint8_t>& bytes) : ContentReader(bytes.data(), bytes.size()) {}

    size_t offset() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool at_end() const { return pos_ == size_; }

    uint8_t read_u8(const char* what) {
        need(1, what);
        return data_[pos_++];
    }
    bool read_bool(const char* what) { return read_u8(what) != 0; }
    int32_t read_i32(const char* what) { return read_pod<int32_t>(what); }
    uint32_t read_u32(const char* what) { return read_pod<uint32_t>(what); }
    float read_f32(const char* what) { return read_pod<float>(what); }
    uint64_t read_u64(const char* what) { return read_pod<uint64_t>(what); }

    void read_floats(float* out, size_t count, const char* what) {
        need(count * 4, what);
        std::memcpy(out, data_ + pos_, count * 4);
        pos_ += count * 4;
    }

    // A list count. Every element takes at least `min_element_bytes` bytes, so
    // a count that the rest of the stream cannot hold is rejected before any
    // list is sized from it.
    uint64_t read_count(const char* what, size_t min_element_bytes = 1);

    // Raw bytes (already bounds-checked against what remains).
    void read_bytes(uint8_t* out, size_t size, const char* what) {
        need(size, what);
        std::memcpy(out, data_ + pos_, size);
        pos_ += size;
    }

    // A text string in the content string encoding: length, scrambled
    // compressed message. Decoding errors are reported as ContentError with
    // the codec's own text; so is a string past kMaxStringBytes, or one that
    // would take the stream's strings past kMaxTotalStringBytes.
    std::string read_string(const char* what);

    // A blob: uint64 length, then that many scrambled bytes.
    std::vector<uint8_t> read_blob(const char* what);

    [[noreturn]] void fail(const char* what, const std::string& problem) const;

    // Lowers (never raises) the total of decoded string bytes this reader
    // still accepts. Fuzzers keep each run small with it.
    void limit_string_bytes(uint64_t total) { string_budget_ = total < string_budget_ ? total : string_budget_; }

private:
    template <typename T>
    T read_pod(const char* what) {
        need(sizeof(T), what);
        T v;
        std::memcpy(&v, data_ + pos_, sizeof(T));
        pos_ += sizeof(T);
        return v;
    }

    void need(uint64_t bytes, const char* what) const {
        if (bytes > size_ - pos_) short_read(bytes, what);
    }
    [[noreturn]] void short_read(uint64_t bytes, const char* what) const;

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint64_t string_budget_ = kMaxTotalStringBytes;
};
