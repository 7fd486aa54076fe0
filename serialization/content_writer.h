// Appends the binary form of records to a byte string: little-endian
// primitives, strings in the content string encoding, scrambled blobs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

class ContentWriter {
public:
    const std::string& bytes() const { return out_; }
    std::string take() { return std::move(out_); }

    void write_u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void write_bool(bool v) { write_u8(v ? 1 : 0); }
    void write_i32(int32_t v) { write_pod(v); }
    void write_u32(uint32_t v) { write_pod(v); }
    void write_f32(float v) { write_pod(v); }
    void write_u64(uint64_t v) { write_pod(v); }
    void write_floats(const float* v, size_t count) { out_.append(reinterpret_cast<const char*>(v), count * 4); }
    void write_raw(const void* bytes, size_t size) { out_.append(static_cast<const char*>(bytes), size); }

    // References: the writer of a whole content numbers every list element
    // and installs the numbering here; a reference to a record outside it
    // (or null) is written as identity 0.
    void set_identities(const std::unordered_map<const void*, uint64_t>* identities) { identities_ = identities; }
    uint64_t identity_of(const void* record) const {
        if (!record || !identities_) return 0;
        auto it = identities_->find(record);
        return it == identities_->end() ? 0 : it->second;
    }
    void write_reference(const void* record) { write_u64(identity_of(record)); }

    // Compressed, scrambled, preceded by the message length.
    void write_string(std::string_view text);
    // uint64 length, then the scrambled bytes.
    void write_blob(const uint8_t* bytes, size_t size);

private:
    template <typename T>
    void write_pod(T v) {
        char raw[sizeof(T)];
        std::memcpy(raw, &v, sizeof(T));
        out_.append(raw, sizeof(T));
    }

    std::string out_;
    const std::unordered_map<const void*, uint64_t>* identities_ = nullptr;
};
