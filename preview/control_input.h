// ControlInput: lines of standard input, read without blocking, for the
// preview's control channel. A line longer than the channel takes is handed
// on as an over-long line so that the parser refuses it whole.
#pragma once

#include <string>
#include <vector>

class ControlInput {
public:
    // Appends the complete lines waiting; returns false once input ended
    // (a last unterminated line is handed out then).
    bool read(std::vector<std::string>& lines);

private:
    std::string pending_;
    bool too_long_ = false;
    bool ended_ = false;
};
