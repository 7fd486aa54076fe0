// Decoding whole sound files into mixer chunks with a bound on their length.
// Sound files in the content are untrusted: a tracker module whose song jumps
// back never ends, so no whole-file decode may run unbounded. Modules are
// decoded by the module library up to the bound; every other format the mixer
// knows ends with its file, is decoded by the mixer and then cut to the bound.
// Needs an open mixer; the chunk comes in the mixer's format.
#pragma once

#include <cstdint>
#include <string>

struct Mix_Chunk;
class ByteBuffer;

// The longest a sound sample is kept: ten minutes. Samples are never started
// by playback, and a longer one is almost surely a module looping on.
inline constexpr int kSampleMaxSeconds = 600;

// The longest music decoded whole (by the tools): half an hour, for demos
// that never end or whose tempo puts their end out of reach.
inline constexpr int kMusicMaxSeconds = 1800;

struct BoundedChunk {
    Mix_Chunk* chunk = nullptr;  // owned by the caller (Mix_FreeChunk); null when nothing decodes
    bool cut = false;            // the sound went on past the bound and was stopped there
    std::string why;             // why nothing decoded, as the mixer says it
};

// Decodes `bytes` into at most `max_frames` frames of the open mixer's format.
BoundedChunk load_chunk_bounded(const ByteBuffer& bytes, uint64_t max_frames);

// Frames at `rate` up to one second past the demo's end (the analysis of the
// last frame reaches back a chunk), never more than kMusicMaxSeconds; the
// whole half hour when the demo never ends (an end beat of 10000 or more, or a
// tempo or end that is no usable number).
uint64_t music_bound_frames(double end_beat, double beat_offset, double bpm, int rate);
