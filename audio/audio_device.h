// The mixer side of audio: music playback with the analysis hooked onto the
// mixed output, and decoding of sound samples. Needs SDL's audio and an open
// mixer (Mix_OpenAudio, 16-bit stereo); the mixer format actually obtained is
// read from playback().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AudioSample;
class ByteBuffer;
class Demo;

// Starts the demo's music: prepares the analysis, loads the music from the
// demo's bytes, hooks the analysis onto the post-mix output (the demo as user
// data) and plays it once (content found in the executable) or forever
// (content from content.dat). An empty music buffer does nothing: no music,
// no analysis. Music the mixer cannot decode plays silently, with the
// analysis still hooked. Returns whether the mixer started playing.
// Main thread, once.
bool start_music(Demo& demo, bool from_executable);

// The same over any music bytes. `music` is read while playing and must
// outlive playback; `user_data` is handed to the post-mix hook.
bool start_music_bytes(const ByteBuffer& music, bool from_executable, void* user_data);

// Halts and releases the music started above and unhooks the analysis.
// Playback never stops its music; this is for tests and tools that open and
// close the mixer more than once.
void stop_music();

// Decodes the sample's buffer into a mixer chunk and measures it with the
// mixer's format. On failure (undecodable or oversized data, mixer not open)
// chunk is null and the duration 0; no message. A sample longer than
// kSampleMaxSeconds (sound_decode.h) keeps only that much, with one line
// saying so: a module whose song loops would otherwise decode forever. Safe on a worker
// thread while the mixer is open (it only reads the mixer's format), but not
// while another thread opens or closes the mixer.
void decode_audio_sample(AudioSample& sample);

// Decodes music bytes into what the mixer plays: interleaved signed 16-bit
// stereo at the mixer's rate (44.1 kHz in the tools), at most `max_frames`
// frames (0: kMusicMaxSeconds); music going on past that is stopped there
// with one line on standard error (see music_bound_frames for the demo's own
// length). Empty bytes give no samples and no complaint; bytes the mixer
// cannot decode give no samples and `why` (when given) says what the mixer
// reported.
std::vector<int16_t> decode_music_pcm(const ByteBuffer& music, std::string* why = nullptr, uint64_t max_frames = 0);
