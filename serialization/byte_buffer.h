// An owned blob of bytes, unscrambled in memory. Binary form: uint64 length,
// then the scrambled bytes. JSON form: a string of standard base64.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serialization/serializable.h"

class ByteBuffer : public ISerializable {
public:
    std::vector<uint8_t> data;

    ByteBuffer() = default;
    ByteBuffer(const uint8_t* bytes, size_t size) : data(bytes, bytes + size) {}
    explicit ByteBuffer(std::vector<uint8_t> bytes) : data(std::move(bytes)) {}
    explicit ByteBuffer(ContentReader& in) { read(in); }

    // Reads the whole file; throws ContentError("File not found: <path>").
    static ByteBuffer from_file(const std::string& path);

    size_t size() const { return data.size(); }
    bool empty() const { return data.empty(); }

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};
