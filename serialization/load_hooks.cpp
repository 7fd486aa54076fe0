#include "serialization/load_hooks.h"

std::future<void> LoadHooks::start_decode(std::function<void()> decode) {
    std::promise<void> done;
    try {
        decode();
        done.set_value();
    } catch (...) {
        done.set_exception(std::current_exception());
    }
    return done.get_future();
}
