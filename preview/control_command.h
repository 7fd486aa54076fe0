// ControlCommand: one line of the preview's control channel, parsed. The
// channel is text on standard input, one command a line; every line gets one
// JSON answer line on standard output.
//
//   seek BEAT | pause | play | loop A B | loop off | size WxH |
//   screenshot PATH.png | status | quit [force] | overlay on | overlay off |
//   timeline on | timeline off
// and the editing commands (key, keys, track, event, def, undo, redo, save,
// grid, conflict), handed on as words; see edit_commands.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ControlCommand {
    enum class Kind { None, Seek, Pause, Play, Loop, LoopOff, Size, Screenshot, Status, Quit, Overlay, Timeline, Edit };
    Kind kind = Kind::None;
    double a = 0, b = 0;        // seek: a; loop: a .. b (a < b); overlay, timeline: a = 1 on, 0 off;
                                // quit: a = 1 when forced
    int width = 0, height = 0;  // size, 16 .. 8192 each
    std::string path;           // screenshot, ends in .png
    std::vector<std::string> words;  // edit: the words, a "quoted text" as one word
    std::vector<bool> quoted;        // edit: which words were quoted
    std::string error;          // set when kind is None: why the line was refused
};

// Never throws. Blank lines and lines of only spaces are Kind::None without an
// error (nothing to answer).
ControlCommand parse_control_command(std::string_view line);

// The longest line the channel takes; longer lines are refused whole.
inline constexpr size_t kMaxControlLineBytes = 4096;
