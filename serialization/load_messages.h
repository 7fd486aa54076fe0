// Messages printed while a record is decoded. Decoding may run on a worker
// thread, yet standard output and standard error must read the same as when
// every record was decoded on the reading thread in stream order. So decode
// code prints through load_printf / load_eprintf: on a thread that captures
// (a decode worker, see CapturedMessages) the text is kept, and the reader
// prints it at the record's turn; elsewhere it is printed at once.
#pragma once

#include <string>

struct LoadMessages {
    std::string out;  // for standard output
    std::string err;  // for standard error
};

// printf to standard output / standard error, or into this thread's capture.
void load_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void load_eprintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints what a capture kept, standard output first.
void print_load_messages(const LoadMessages& messages);

// While alive, load_printf and load_eprintf on this thread append to
// `messages` instead of printing. Captures nest; the innermost wins.
class CapturedMessages {
public:
    explicit CapturedMessages(LoadMessages& messages);
    ~CapturedMessages();
    CapturedMessages(const CapturedMessages&) = delete;
    CapturedMessages& operator=(const CapturedMessages&) = delete;

private:
    LoadMessages* previous_;
};
