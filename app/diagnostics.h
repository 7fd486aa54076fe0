// The two diagnostic helpers of the player.
#pragma once

#include <string>

// Writes "crash.txt" ("Fatal error: MESSAGE\n" then "Exiting.") in the
// working directory, or prints "Error opening file!" when it cannot, and ends
// the process with status 1.
[[noreturn]] void fatal_error(const std::string& message);

// Prints "ERROR! LABEL: CODE\n" (code in lower-case hex) for every pending GL error.
void report_gl_errors(const char* label);

// Drops every pending GL error unreported, so a check that follows sees only
// its own.
void clear_gl_errors();
