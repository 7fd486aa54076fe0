#include "audio/audio_sample.h"

#include <limits>

#include "serialization/data.h"

nlohmann::json AudioSample::to_json(bool external_files) const {
    nlohmann::json j = {{"name", name}};
    payload_to_json(j, "audio_buffer", buffer, name, external_files);
    return j;
}

void AudioSample::write(ContentWriter& out) const {
    out.write_string(name);
    buffer.write(out);
}

void AudioSample::from_json(const nlohmann::json& json) {
    name = json.at("name").get<std::string>();
    payload_from_json(json, "audio_buffer", buffer, name);
}

void AudioSample::read(ContentReader& in) {
    name = in.read_string("audio sample name");
    buffer.data = in.read_blob("audio sample buffer");
}

int32_t audio_duration_ms(uint64_t length_bytes, int32_t channels, int32_t frequency) {
    if (channels <= 0 || frequency <= 0) return 0;
    // 500 = 1000 ms / 2 bytes per 16-bit sample. Dividing first would lose
    // precision, so the product must not wrap: anything this large is far
    // beyond an int32 of milliseconds anyway.
    constexpr uint64_t kMaxExact = std::numeric_limits<uint64_t>::max() / 500;
    if (length_bytes > kMaxExact) return std::numeric_limits<int32_t>::max();
    const uint64_t ms = length_bytes * 500 / static_cast<uint64_t>(channels) / static_cast<uint64_t>(frequency);
    if (ms > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(ms);
}
