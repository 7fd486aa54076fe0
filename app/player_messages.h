// Lines the player prints beyond those the content's records print.
#pragma once

inline constexpr const char* kWindowTitle = "Quorvantile :: 0.11";
inline constexpr const char* kAudioOpenFailed = "qvplayer: cannot open the audio device: ";
inline constexpr const char* kWindowFailed = "qvplayer: cannot create the window: ";
inline constexpr const char* kContextFailed = "qvplayer: cannot create the OpenGL context: ";
