// qvtool compress / decompress: raw compressed messages through stdin/stdout.
#include <cstdio>
#include <string>
#include <vector>

#include "serialization/compress_message.h"
#include "serialization/message_decompressor.h"
#include "tools/command.h"

namespace {

// Largest message qvtool decompress accepts, to keep a forged preamble from
// allocating the machine away.
constexpr uint64_t kMaxDecompressBytes = 1ull << 30;

std::string read_stdin() {
    std::string data;
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) data.append(chunk, got);
    return data;
}

bool write_stdout(const std::string& data) {
    return std::fwrite(data.data(), 1, data.size(), stdout) == data.size() && std::fflush(stdout) == 0;
}

}  // namespace

int run_compress(const std::vector<std::string>& args) {
    if (!args.empty()) return usage_error("compress", "unexpected argument '" + args[0] + "'");
    if (!write_stdout(compress_message(read_stdin()))) {
        std::fprintf(stderr, "qvtool compress: cannot write standard output\n");
        return 1;
    }
    return 0;
}

int run_decompress(const std::vector<std::string>& args) {
    if (!args.empty()) return usage_error("decompress", "unexpected argument '" + args[0] + "'");
    const std::string input = read_stdin();
    MessageDecompressor decoder(kMaxDecompressBytes);
    std::string rest;
    const auto* begin = reinterpret_cast<const uint8_t*>(input.data());
    if (!decoder.feed(begin, begin + input.size(), rest)) {
        std::fprintf(stderr, "qvtool decompress: the message ends early (%zu input bytes)\n", input.size());
        return 1;
    }
    if (!write_stdout(decoder.output())) {
        std::fprintf(stderr, "qvtool decompress: cannot write standard output\n");
        return 1;
    }
    return 0;
}
