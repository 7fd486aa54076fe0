// 16-bit mono PCM as the bytes of a WAV file, for the music the tool writes
// into new projects (the player tells WAV data from its bytes, whatever the
// file is called).
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> wav_file_bytes(const std::vector<int16_t>& pcm, uint32_t rate);
