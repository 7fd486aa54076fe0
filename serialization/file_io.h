// Whole-file helpers for the external-files JSON form. Paths are relative to
// the working directory, as the project form names them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The file's bytes, or nothing when it cannot be opened.
std::optional<std::vector<uint8_t>> try_read_file(const std::string& path);

// The file's bytes; throws ContentError("File not found: <path>") when it
// cannot be opened.
std::vector<uint8_t> read_file_or_throw(const std::string& path);

// Replaces the file, creating missing parent folders. Throws ContentError on failure.
void write_file(const std::string& path, const void* bytes, size_t size);
