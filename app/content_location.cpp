#include "app/content_location.h"

#include <cstdio>

#include "app/platform.h"
#include "serialization/content_trailer.h"
#include "serialization/file_io.h"

std::optional<LocatedContent> locate_content(const std::string& executable_path) {
    // Content is read whole: it is small next to what the GPU gets, and a
    // memory block of known size is what the reader checks every length against.
    if (auto exe = try_read_file(executable_path)) {
        if (auto span = find_trailer(exe->data(), exe->size())) {
            LocatedContent found;
            found.file = std::move(*exe);
            found.offset = span->offset;
            found.size = span->size;
            found.from_executable = true;
            return found;
        }
    }
    if (auto dat = try_read_file("content.dat")) {
        LocatedContent found;
        found.size = dat->size();
        found.file = std::move(*dat);
        return found;
    }
    return std::nullopt;
}

void write_missing_content_log() {
    if (FILE* f = open_file("error.log", "wb")) {
        std::fputs("Cannot find DEMO in executable. Please follow the instructions in Quorvantile.\n", f);
        std::fclose(f);
    }
}
