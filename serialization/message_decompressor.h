// Resumable decoder of compressed messages.
//
// A message is a varint U (the uncompressed length) followed by elements until
// U bytes are produced: an odd tag T is a literal of T>>1 bytes; an even tag is
// a copy from T>>4 bytes back, of ((T>>1)&7)+4 bytes, or of V+4 bytes when that
// code is 0 and a second varint V follows. Input may be fed in pieces split
// anywhere; feeding the pieces in order gives the same output as feeding the
// whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MessageDecompressor {
public:
    // max_size 0 accepts any declared length.
    explicit MessageDecompressor(uint64_t max_size = 0) : max_size_(max_size) {}

    // Consumes [begin, end). Returns true when the message is complete: every
    // input byte after the message has been appended to `rest` and the decoder
    // is ready for the next message. Returns false when more input is needed.
    // Throws std::length_error("Uncompressed data in message deemed too large")
    // when U exceeds max_size, and std::runtime_error("Malformed data while
    // uncompressing") for a write past U, a copy reaching before the output
    // start, or a varint longer than ten bytes.
    bool feed(const uint8_t* begin, const uint8_t* end, std::string& rest);

    // The output, sized to U once the preamble is read (zero where nothing
    // was decoded yet).
    const std::string& output() const { return output_; }
    std::string take_output() { return std::move(output_); }

    // 0 expecting preamble, 1 expecting tag, 2 inside a literal, 3 inside a copy.
    int state() const { return state_; }

private:
    // Returns true once a whole varint has been read into `out`.
    bool read_varint(const uint8_t*& in, const uint8_t* end, uint64_t& out);

    uint64_t max_size_;
    std::string output_;
    uint64_t write_pos_ = 0;
    uint64_t value_ = 0;
    uint64_t varint_acc_ = 0;
    int varint_shift_ = 0;
    int state_ = 0;
};

// Decodes one whole message. A message cut short yields its declared length
// with zero bytes where nothing was decoded.
std::string decompress_message(const uint8_t* data, size_t size, uint64_t max_size = 0);
