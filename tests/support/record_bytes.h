// A record's stored form as bytes, for the round-trip tests of the records.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "serialization/content_writer.h"

namespace record_bytes {

using Identities = std::unordered_map<const void*, uint64_t>;

// What `record.write` stores, with `ids` numbering the records it refers to.
template <typename T>
std::vector<uint8_t> written(const T& record, const Identities* ids = nullptr) {
    ContentWriter out;
    out.set_identities(ids);
    record.write(out);
    const std::string& s = out.bytes();
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace record_bytes
