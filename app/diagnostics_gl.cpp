#include "app/diagnostics.h"

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>

#include "app/platform.h"

void fatal_error(const std::string& message) {
    if (FILE* f = open_file("crash.txt", "wb")) {
        std::fprintf(f, "Fatal error: %s\n", message.c_str());
        std::fprintf(f, "Exiting.");
        std::fclose(f);
    } else {
        std::printf("Error opening file!\n");
    }
    std::fflush(stdout);
    std::exit(1);
}

void clear_gl_errors() {
    // Bounded for the same reason as below.
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

void report_gl_errors(const char* label) {
    // A lost context can report errors forever; a bounded drain keeps this
    // from spinning.
    for (int i = 0; i < 64; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR) return;
        std::printf("ERROR! %s: %x\n", label, error);
    }
}
