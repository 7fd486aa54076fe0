// Finding the demo content: the trailer at the end of the player's own
// executable, else "content.dat" in the working directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LocatedContent {
    std::vector<uint8_t> file;  // the whole file the content was found in
    size_t offset = 0;          // where the content stream starts in it
    size_t size = 0;
    bool from_executable = false;
};

// The content, or nothing when neither place holds any. Throws ContentError
// when the executable's trailer is corrupt (a length reaching before the file).
std::optional<LocatedContent> locate_content(const std::string& executable_path);

// Writes "error.log" with the one line that says no content was found.
void write_missing_content_log();
