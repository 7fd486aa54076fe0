#include "serialization/message_decompressor.h"

#include <cstring>
#include <stdexcept>

#include "serialization/varint.h"

namespace {

[[noreturn]] void malformed() { throw std::runtime_error("Malformed data while uncompressing"); }

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
    for (;;) {
        if (write_pos_ == size) {
            rest.append(reinterpret_cast<const char*>(in), static_cast<size_t>(end - in));
            state_ = 0;
            return true;
        }
        switch (state_) {
        case 1: {
            uint64_t tag = 0;
            if (!read_varint(in, end, tag)) return false;
            value_ = tag >> 1;
            state_ = (tag & 1) ? 2 : 3;
            break;
        }
        case 2: {
            if (value_ > size - write_pos_) malformed();
            const uint64_t available = static_cast<uint64_t>(end - in);
            if (available < value_) {
                std::memcpy(out + write_pos_, in, available);
                in += available;
                write_pos_ += available;
                value_ -= available;
                return false;
            }
            std::memcpy(out + write_pos_, in, value_);
            in += value_;
            write_pos_ += value_;
            state_ = 1;
            break;
        }
        default: {  // 3: a copy. A short copy needs no further byte, so it is
                    // carried out even when the input ends right after its tag.
            uint64_t length = 0;
            const uint64_t code = value_ & 7;
            if (code == 0) {
                uint64_t extra = 0;
                if (!read_varint(in, end, extra)) return false;
                if (extra > size) malformed();
                length = extra + 4;
            } else {
                length = code + 4;
            }
            const uint64_t distance = value_ >> 3;
            if (distance > write_pos_ || length > size - write_pos_) malformed();
            const uint64_t source = write_pos_ - distance;
            if (source + length <= write_pos_) {
                std::memcpy(out + write_pos_, out + source, length);
            } else {
                for (uint64_t k = 0; k < length; ++k) out[write_pos_ + k] = out[source + k];
            }
            write_pos_ += length;
            state_ = 1;
            break;
        }
        }
    }
}

std::string decompress_message(const uint8_t* data, size_t size, uint64_t max_size) {
    MessageDecompressor decoder(max_size);
    std::string rest;
    decoder.feed(data, data + size, rest);
    return decoder.take_output();
}
