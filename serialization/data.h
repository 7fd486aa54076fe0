// A named blob (the content's "datas" list). Binary form: name, then buffer.
// In the external-files JSON form the payload is the file named by `name`.
#pragma once

#include <string>

#include "serialization/byte_buffer.h"

class Data : public ISerializable {
public:
    std::string name;
    ByteBuffer buffer;

    Data() = default;
    explicit Data(ContentReader& in) { read(in); }

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

// The pattern shared by every record with a payload: embedded as base64 under
// `key`, or written to / read from the file `path` when external files are on
// or the key is absent.
void payload_to_json(nlohmann::json& object, const char* key, const ByteBuffer& buffer, const std::string& path,
                     bool external_files);
void payload_from_json(const nlohmann::json& object, const char* key, ByteBuffer& buffer, const std::string& path);
