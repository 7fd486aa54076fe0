// Tracker modules (MOD, S3M, XM, IT and the other formats of the mixer's
// module library) are the one kind of sound whose decoding need not end: a
// song that jumps back to an earlier pattern plays forever, so decoding it
// whole never finishes and its memory grows without limit. Every decode of a
// whole module goes through here, by the same library the mixer plays modules
// with (so it sounds the same), and stops at a frame count the caller gives.
// GL-free and mixer-free: the tests and the tools' checks can use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whether the bytes start like a sound format that the mixer decodes itself
// rather than with its module library (WAV, AIFF, VOC, Ogg, FLAC, MIDI, MP3).
// Those formats end where the file ends.
bool starts_like_streamed_sound(const uint8_t* bytes, size_t size);

struct ModuleDecode {
    bool is_module = false;    // the module library accepted the bytes
    bool cut = false;          // the song went on past the frame bound
    std::vector<int16_t> pcm;  // interleaved signed 16-bit stereo
};

// Decodes module bytes into at most `max_frames` stereo frames at `frequency`
// Hz (8000 to 192000). Bytes that are no module give is_module false and no
// samples. Decodes are serialised: the module library mixes through shared
// buffers, so this must not run while the mixer itself plays a module.
ModuleDecode decode_module(const uint8_t* bytes, size_t size, int frequency, uint64_t max_frames);
