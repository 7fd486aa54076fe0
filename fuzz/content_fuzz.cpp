// The whole content reader, graph included, on arbitrary bytes. It must end
// with a ContentError (or a decoded Demo), never a crash, hang or huge allocation.
#include <cstdint>
#include <exception>

#include "serialization/demo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ContentReader in(data, size);
    Demo demo;
    try {
        demo.read(in);
        // What was read must write back without trouble.
        ContentWriter out;
        demo.write(out);
    } catch (const ContentError&) {
    }
    return 0;
}
