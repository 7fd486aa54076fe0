// What the player does differently on Linux and on Windows. Everything else,
// from finding the content to the end of the demo, is one code path; the build
// picks platform_posix.cpp or platform_windows.cpp by the target system.
//
// Paths are UTF-8 strings on both systems: on Windows they are converted to
// wide names at the moment a file is opened, so a demo in a folder with
// non-ASCII letters in its name still finds itself.
#pragma once

#include <cstdio>
#include <string>

// Called first thing in main: settles how the process reports its own failures.
void prepare_process();

// The running program's own file (read whole for the content at its end).
// Falls back to argv0 when the system will not say.
std::string own_executable_path(const char* argv0);

// A descriptor for reading the file, or -1. Opening never blocks on a pipe
// without a writer and never takes a controlling terminal.
int open_for_reading(const std::string& path);

// std::fopen for a UTF-8 name. Pass binary modes ("rb", "wb"): files are then
// byte for byte the same on both systems.
std::FILE* open_file(const std::string& path, const char* mode);
