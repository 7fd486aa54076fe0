#include "serialization/data.h"

#include "serialization/file_io.h"

void payload_to_json(nlohmann::json& object, const char* key, const ByteBuffer& buffer, const std::string& path,
                     bool external_files) {
    if (external_files)
        write_file(path, buffer.data.data(), buffer.data.size());
    else
        object[key] = buffer.to_json(false);
}

void payload_from_json(const nlohmann::json& object, const char* key, ByteBuffer& buffer, const std::string& path) {
    if (object.contains(key))
        buffer.from_json(object.at(key));
    else
        buffer = ByteBuffer::from_file(path);
}

nlohmann::json Data::to_json(bool external_files) const {
    nlohmann::json j = {{"name", name}};
    payload_to_json(j, "data_buffer", buffer, name, external_files);
    return j;
}

void Data::write(ContentWriter& out) const {
    out.write_string(name);
    buffer.write(out);
}

void Data::from_json(const nlohmann::json& json) {
    name = json.at("name").get<std::string>();
    payload_from_json(json, "data_buffer", buffer, name);
}

void Data::read(ContentReader& in) {
    name = in.read_string("data name");
    buffer.read(in);
}
