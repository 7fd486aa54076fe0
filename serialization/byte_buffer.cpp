#include "serialization/byte_buffer.h"

#include "serialization/base64.h"
#include "serialization/file_io.h"

ByteBuffer ByteBuffer::from_file(const std::string& path) { return ByteBuffer(read_file_or_throw(path)); }

nlohmann::json ByteBuffer::to_json(bool) const { return base64_encode(data.data(), data.size()); }

void ByteBuffer::write(ContentWriter& out) const { out.write_blob(data.data(), data.size()); }

void ByteBuffer::from_json(const nlohmann::json& json) { data = base64_decode(json.get<std::string>()); }

void ByteBuffer::read(ContentReader& in) { data = in.read_blob("byte buffer"); }
