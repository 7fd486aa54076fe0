#include "app/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <vector>

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string narrow(const wchar_t* wide, size_t length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

}  // namespace

void prepare_process() {
    // A demo machine runs unattended: a missing drive or a crash must end the
    // process (crash.txt says why), not leave a system dialog waiting for a click.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

std::string own_executable_path(const char* argv0) {
    // MAX_PATH is usual, but a longer name (long-path aware folders) is read
    // whole rather than cut, since a cut name would open some other file.
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) break;
        if (n < buffer.size()) return narrow(buffer.data(), n);
        if (buffer.size() >= 32768) break;
        buffer.resize(buffer.size() * 2);
    }
    return argv0 ? argv0 : "";
}

int open_for_reading(const std::string& path) {
    const std::wstring wide = widen(path);
    if (wide.empty()) return -1;
    return ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

std::FILE* open_file(const std::string& path, const char* mode) {
    const std::wstring wide = widen(path);
    const std::wstring wide_mode = widen(mode);
    if (wide.empty() || wide_mode.empty()) return nullptr;
    return ::_wfopen(wide.c_str(), wide_mode.c_str());
}
