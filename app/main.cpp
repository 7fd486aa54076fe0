// qvplayer: plays the demo appended to its own executable, or content.dat.
#include <cstdio>
#include <exception>

#include "app/platform.h"
#include "app/player.h"

int main(int argc, char** argv) {
    prepare_process();
    try {
        return run_player(argc, argv);
    } catch (const std::exception& e) {
        // A corrupt or truncated content stream ends here: one line, status 1.
        std::fflush(stdout);
        std::fprintf(stderr, "qvplayer: %s\n", e.what());
        return 1;
    }
}
