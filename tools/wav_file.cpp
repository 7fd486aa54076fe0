#include "tools/wav_file.h"

std::vector<uint8_t> wav_file_bytes(const std::vector<int16_t>& pcm, uint32_t rate) {
    std::vector<uint8_t> wav;
    wav.reserve(44 + pcm.size() * 2);
    auto u32 = [&](uint32_t x) {
        for (int b = 0; b < 4; ++b) wav.push_back(static_cast<uint8_t>(x >> (8 * b)));
    };
    auto u16 = [&](uint16_t x) {
        wav.push_back(static_cast<uint8_t>(x));
        wav.push_back(static_cast<uint8_t>(x >> 8));
    };
    auto tag = [&](const char* s) {
        for (int b = 0; b < 4; ++b) wav.push_back(static_cast<uint8_t>(s[b]));
    };
    const uint32_t data_bytes = static_cast<uint32_t>(pcm.size() * 2);
    tag("RIFF");
    u32(36 + data_bytes);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(rate);
    u32(rate * 2);  // bytes per second
    u16(2);         // bytes per frame
    u16(16);        // bits per sample
    tag("data");
    u32(data_bytes);
    for (int16_t s : pcm) u16(static_cast<uint16_t>(s));
    return wav;
}
