#include "serialization/message_decompressor.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

#include "serialization/varint.h"

namespace {

[[noreturn]] void malformed() { throw std::runtime_error("Malformed data while uncompressing"); }

// Copies n <= 16 bytes between non-overlapping ranges without a library
// call: two loads that may overlap each other, then two stores. Only the n
// bytes are written.
inline void copy_small(char* dst, const char* src, size_t n) {
    if (n >= 8) {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + n - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + n - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + n - 4, &b, 4);
    } else {
        for (size_t i = 0; i < n; ++i) dst[i] = src[i];
    }
}

// A whole varint when at least kMaxVarintBytes of input remain: no state
// kept between bytes.
inline uint64_t read_whole_varint(const uint8_t*& in) {
    uint64_t value = 0;
    for (int shift = 0; shift < 7 * kMaxVarintBytes; shift += 7) {
        const uint8_t byte = *in++;
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return value;
    }
    malformed();
}

constexpr uint64_t kSlack = 16;

inline void copy16(char* dst, const char* src) {
    uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + 8, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + 8, &b, 8);
}

inline void copy_bytes(char* dst, const char* src, size_t n) {
    if (n <= 16)
        copy_small(dst, src, n);
    else
        std::memcpy(dst, src, n);
}

}  // namespace

bool MessageDecompressor::read_varint(const uint8_t*& in, const uint8_t* end, uint64_t& out) {
    while (in != end) {
        const uint8_t byte = *in++;
        varint_acc_ |= static_cast<uint64_t>(byte & 0x7F) << varint_shift_;
        varint_shift_ += 7;
        if (!(byte & 0x80)) {
            out = varint_acc_;
            varint_acc_ = 0;
            varint_shift_ = 0;
            return true;
        }
        if (varint_shift_ >= 7 * kMaxVarintBytes) malformed();
    }
    return false;
}

bool MessageDecompressor::feed(const uint8_t* begin, const uint8_t* end, std::string& rest) {
    const uint8_t* in = begin;
    if (state_ == 0) {
        if (varint_shift_ == 0) output_.clear();
        uint64_t declared = 0;
        if (!read_varint(in, end, declared)) return false;
        if (max_size_ != 0 && declared > max_size_)
            throw std::length_error("Uncompressed data in message deemed too large");
        output_.assign(declared, '\0');
        write_pos_ = 0;
        value_ = 0;
        state_ = 1;
    }
    const uint64_t size = output_.size();
    char* out = output_.data();
    // The loop works on local copies: writes through `out` could alias the
    // members, which would force them back to memory after every byte copied.
    uint64_t pos = write_pos_;
    uint64_t value = value_;
    int state = state_;
    // Short elements are copied sixteen bytes at a time, writing up to
    // kSlack bytes past their end; later elements overwrite those. When the
    // input runs out first, the slack is zeroed again, so that a message cut
    // short keeps zero bytes wherever nothing was decoded.
    struct WriteBack {
        MessageDecompressor& d;
        uint64_t& pos;
        uint64_t& value;
        int& state;
        ~WriteBack() {
            d.write_pos_ = pos;
            d.value_ = value;
            d.state_ = state;
            if (state != 0) {
                const uint64_t end = std::min<uint64_t>(pos + kSlack, d.output_.size());
                std::memset(d.output_.data() + pos, 0, end - pos);
            }
        }
    } write_back{*this, pos, value, state};

    for (;;) {
        if (pos == size) {
            rest.append(reinterpret_cast<const char*>(in), static_cast<size_t>(end - in));
            state = 0;
            return true;
        }
        if (state == 1) {
            uint64_t tag = 0;
            if (varint_shift_ == 0 && end - in >= kMaxVarintBytes)
                tag = read_whole_varint(in);  // the usual case: no need to resume
            else if (!read_varint(in, end, tag))
                return false;
            value = tag >> 1;
            state = (tag & 1) ? 2 : 3;
        } else if (state == 2) {
            if (value > size - pos) malformed();
            const uint64_t available = static_cast<uint64_t>(end - in);
            if (available < value) {
                std::memcpy(out + pos, in, available);
                in += available;
                pos += available;
                value -= available;
                return false;
            }
            if (value <= kSlack && end - in >= static_cast<ptrdiff_t>(kSlack) && size - pos >= kSlack)
                copy16(out + pos, reinterpret_cast<const char*>(in));
            else
                copy_bytes(out + pos, reinterpret_cast<const char*>(in), value);
            in += value;
            pos += value;
            state = 1;
        } else {  // 3: a copy. A short copy needs no further byte, so it is
                  // carried out even when the input ends right after its tag.
            uint64_t length = 0;
            const uint64_t code = value & 7;
            if (code == 0) {
                uint64_t extra = 0;
                if (varint_shift_ == 0 && end - in >= kMaxVarintBytes)
                    extra = read_whole_varint(in);
                else if (!read_varint(in, end, extra))
                    return false;
                if (extra > size) malformed();
                length = extra + 4;
            } else {
                length = code + 4;
            }
            const uint64_t distance = value >> 3;
            if (distance > pos || length > size - pos) malformed();
            const uint64_t source = pos - distance;
            if (distance >= kSlack && size - pos >= (length + kSlack - 1) / kSlack * kSlack) {
                // Every sixteen-byte step reads only bytes written before it.
                for (uint64_t k = 0; k < length; k += kSlack) copy16(out + pos + k, out + source + k);
            } else if (source + length <= pos) {
                copy_bytes(out + pos, out + source, length);
            } else if (distance >= 8) {
                // Overlapping, but each eight-byte step reads only bytes
                // already written: the repeat unrolls a word at a time.
                uint64_t k = 0;
                for (; k + 8 <= length; k += 8) copy_small(out + pos + k, out + source + k, 8);
                for (; k < length; ++k) out[pos + k] = out[source + k];
            } else if (distance == 0) {
                // Reads its own bytes, which nothing decoded yet; the slack of
                // a wide copy may lie there, so write the zeros they stand for.
                std::memset(out + pos, 0, length);
            } else {
                for (uint64_t k = 0; k < length; ++k) out[pos + k] = out[source + k];
            }
            pos += length;
            state = 1;
        }
    }
}

std::string decompress_message(const uint8_t* data, size_t size, uint64_t max_size) {
    MessageDecompressor decoder(max_size);
    std::string rest;
    decoder.feed(data, data + size, rest);
    return decoder.take_output();
}
