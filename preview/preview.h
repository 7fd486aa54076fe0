// The live preview: a demo project in a normal window, timed by the sound
// that is heard, reloaded when its files are saved, steered by keys and by
// one-line commands.
//
// Owns: the playhead (pause, seek, loop, audio position to beat), the file
// watcher, the reload decisions, the mapping of compiler lines back to the
// files that were included, the control commands, and on the device side the
// window, the music feed and the overlay. It does not own loading, graph
// evaluation or drawing: those are the player's (app/playback_setup.h), so
// the preview shows what the player shows.
//
// Life: open the window, load through the shared path, start the music feed;
// per frame: control lines and keys, reload if files settled, evaluate the
// graph at the playhead's beat, overlay, swap; quit on Escape, window close
// or `quit`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Demo;

struct PreviewOptions {
    std::string input;        // project.json, content file or packed demo
    int width = 1280, height = 720;
    bool have_beat = false;
    double beat = 0;
    bool have_loop = false;
    double loop_start = 0, loop_end = 0;
    bool control = false;     // commands on standard input
    // Writes top-down RGB rows as a PNG; returns why it failed, or "".
    std::string (*write_png)(const std::string& path, int width, int height, const uint8_t* rgb) = nullptr;
    // One line per thing a strict driver or a modest GPU would refuse, run
    // after every load and shader save; null: not checked.
    std::vector<std::string> (*portability)(const Demo& demo) = nullptr;
};

// Runs the preview until it is told to quit. Returns the exit status;
// problems before the first picture throw ContentError.
int run_preview(const PreviewOptions& options);
