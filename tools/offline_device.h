// What the offline commands (render, profile) draw in: SDL with the dummy
// audio driver (nothing is heard), the mixer at 44100 Hz stereo in chunks of
// 1024 frames, fonts, and a hidden window of the frame size with its GL
// context, with the playback state set for that size. Closed again when it
// goes, also when opening failed part-way.
#pragma once

#include "app/hidden_gl_window.h"

class OfflineDevice {
public:
    static constexpr int kRate = 44100;
    static constexpr int kChunkFrames = 1024;

    // Throws ContentError saying what could not be opened.
    OfflineDevice(const char* title, int width, int height);
    ~OfflineDevice();
    OfflineDevice(const OfflineDevice&) = delete;
    OfflineDevice& operator=(const OfflineDevice&) = delete;

    HiddenGlWindow gl;

private:
    void close();
};
