// Whole-file helpers for the external-files JSON form. Paths are relative to
// the working directory, as the project form names them.
//
// Paths come from content of unknown origin, so reading is bounded: only
// regular files are read (a device, a pipe or a socket could be read forever
// or block the open), and no file larger than kMaxReadFileBytes is taken in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Payloads of 2^31 bytes or more are out of range for the content format.
inline constexpr uint64_t kMaxReadFileBytes = (uint64_t{1} << 31) - 1;

// Files that report a size of zero but still have bytes (procfs, sysfs) are
// read up to this much; anything longer is refused rather than read on.
inline constexpr uint64_t kMaxSizelessFileBytes = uint64_t{1} << 20;

// The file's bytes, or nothing when it cannot be opened or read (a folder
// included). A regular file is read up to the size it had when opened.
// Throws ContentError when the path names a device, pipe or socket (after
// following links), or a file larger than the bounds above.
std::optional<std::vector<uint8_t>> try_read_file(const std::string& path);

// The file's bytes; throws ContentError("File not found: <path>") when it
// cannot be opened, and as try_read_file for what it refuses.
std::vector<uint8_t> read_file_or_throw(const std::string& path);

// While an observer is set, every path try_read_file is asked for, found or
// not, is passed to it first, on the reading thread. The preview uses it to
// learn which files a project reads so it can watch them. Set it from one
// thread while no file is being read; null stops observing.
using FileReadObserver = void (*)(const std::string& path, void* user);
void set_file_read_observer(FileReadObserver observer, void* user);

// Makes `dir` the working directory for its lifetime and restores the one
// before when it ends, also on errors: payload files of a project are named
// relative to the project's folder.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path saved_;
};

// Replaces the file, creating missing parent folders. Throws ContentError on failure.
void write_file(const std::string& path, const void* bytes, size_t size);
