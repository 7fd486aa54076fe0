// Subcommands of qvtool. Each command parses its own arguments and returns
// the process exit status: 0 success, 1 failure of the work, 2 bad usage.
#pragma once

#include <string>
#include <vector>

struct Command {
    const char* name;
    const char* summary;  // one line for `qvtool --help`
    const char* usage;    // full text for `qvtool NAME --help`
    int (*run)(const std::vector<std::string>& args);
};

// Prints "qvtool NAME: MESSAGE" on standard error and returns 2.
int usage_error(const char* command, const std::string& message);

// A whole, finite number (nothing after it).
bool parse_number(const std::string& text, double& out);

// WIDTHxHEIGHT, each 16 to 8192, nothing after it.
bool parse_size(const std::string& text, int& width, int& height);

// True when args hold "--help" or "-h".
bool wants_help(const std::vector<std::string>& args);

// All commands, in the order `qvtool --help` lists them.
const std::vector<Command>& all_commands();

int run_compress(const std::vector<std::string>& args);
int run_decompress(const std::vector<std::string>& args);
int run_pack(const std::vector<std::string>& args);
int run_release(const std::vector<std::string>& args);
int run_unpack(const std::vector<std::string>& args);
int run_info(const std::vector<std::string>& args);
int run_render(const std::vector<std::string>& args);
int run_graph(const std::vector<std::string>& args);
int run_timeline(const std::vector<std::string>& args);
int run_import_shader(const std::vector<std::string>& args);
int run_import_rocket(const std::vector<std::string>& args);
int run_new(const std::vector<std::string>& args);
int run_preview(const std::vector<std::string>& args);
int run_check(const std::vector<std::string>& args);
int run_profile(const std::vector<std::string>& args);
