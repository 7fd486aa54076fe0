#include "serialization/content_writer.h"

#include "serialization/compress_message.h"
#include "serialization/scrambler.h"

void ContentWriter::write_string(std::string_view text) {
    std::string message = compress_message(text);
    scramble(reinterpret_cast<uint8_t*>(message.data()), message.size());
    write_u64(message.size());
    out_ += message;
}

void ContentWriter::write_blob(const uint8_t* bytes, size_t size) {
    write_u64(size);
    const size_t start = out_.size();
    out_.append(reinterpret_cast<const char*>(bytes), size);
    scramble(reinterpret_cast<uint8_t*>(out_.data() + start), size);
}
