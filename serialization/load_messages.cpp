#include "serialization/load_messages.h"

#include <cstdarg>
#include <cstdio>

namespace {

thread_local LoadMessages* t_capture = nullptr;

void append(std::string& sink, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    if (length > 0) {
        const size_t at = sink.size();
        sink.resize(at + static_cast<size_t>(length) + 1);
        std::vsnprintf(sink.data() + at, static_cast<size_t>(length) + 1, format, again);
        sink.resize(at + static_cast<size_t>(length));
    }
    va_end(again);
}

}  // namespace

void load_printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (t_capture)
        append(t_capture->out, format, args);
    else
        std::vprintf(format, args);
    va_end(args);
}

void load_eprintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (t_capture)
        append(t_capture->err, format, args);
    else
        std::vfprintf(stderr, format, args);
    va_end(args);
}

void print_load_messages(const LoadMessages& messages) {
    if (!messages.out.empty()) std::fwrite(messages.out.data(), 1, messages.out.size(), stdout);
    if (!messages.err.empty()) std::fwrite(messages.err.data(), 1, messages.err.size(), stderr);
}

CapturedMessages::CapturedMessages(LoadMessages& messages) : previous_(t_capture) { t_capture = &messages; }
CapturedMessages::~CapturedMessages() { t_capture = previous_; }
