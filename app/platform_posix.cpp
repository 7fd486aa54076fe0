#include "app/platform.h"

#include <fcntl.h>
#include <unistd.h>

void prepare_process() {}

std::string own_executable_path(const char* argv0) {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) return std::string(path, static_cast<size_t>(n));
    return argv0 ? argv0 : "";
}

int open_for_reading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

std::FILE* open_file(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }
