// Errors raised while reading content. Every reader throws ContentError with a
// message that says what was being read and where, so that callers can print
// one line and stop.
#pragma once

#include <stdexcept>
#include <string>

class ContentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
