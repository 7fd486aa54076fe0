// AudioSample: a sound sample of the content. It keeps the encoded sound file
// and, once the device side has decoded it, the mixer's chunk and its length.
// Samples are decoded and measured but never started by playback.
//
// Binary form: name (content string), then the buffer (blob).
// JSON form: {"name", "audio_buffer"} with the payload in base64; with external
// files on, the payload goes to the file named by `name` and only {"name"}
// is kept. Reading a JSON object without "audio_buffer" loads that file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serialization/byte_buffer.h"
#include "serialization/serializable.h"

class AudioSample : public ISerializable {
public:
    ByteBuffer buffer;             // the encoded sound file, any format the mixer decodes
    std::shared_ptr<void> chunk;   // Mix_Chunk once decoded (device side), null if decoding failed
    std::string name;              // resource name; payload path in the external-files form
    int32_t duration_ms = 0;       // length of the decoded sound, 0 if decoding failed; not stored

    AudioSample() = default;
    explicit AudioSample(ContentReader& in) { read(in); }

    nlohmann::json to_json(bool external_files) const override;
    void write(ContentWriter& out) const override;
    void from_json(const nlohmann::json& json) override;
    void read(ContentReader& in) override;
};

// Length in milliseconds of `length_bytes` of decoded 16-bit audio with the
// given channel count and frequency: bytes * 500 / channels / frequency,
// truncating at each step, in 64-bit arithmetic. A format with no channels or
// no frequency gives 0; a result beyond int32 saturates.
int32_t audio_duration_ms(uint64_t length_bytes, int32_t channels, int32_t frequency);
