#pragma once
// velgard-cli subcommands. Each command lives in its own file and registers
// itself with a static CommandRegistrar; main() dispatches by name.
#include <string>
#include <string_view>
#include <vector>

namespace velgard::cli {

// Receives the arguments after the command name. Returns the exit status.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    const char* name;
    const char* usage;    // one line: the command's synopsis
    CommandFn run;
};

struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, CommandFn run);
};

const std::vector<Command>& AllCommands();

// Exit status for bad arguments or unusable input files.
inline constexpr int kUsageError = 2;

// Prints "velgard-cli: <message>" on stderr and returns kUsageError.
int Fail(std::string_view message);

// Parses a whole unsigned decimal number in [min, max]; false on anything else.
bool ParseNumber(std::string_view text, unsigned long long min, unsigned long long max,
                 unsigned long long& value);

// Reads a whole file; false with a message when it cannot be read.
bool ReadFile(const std::string& path, std::vector<unsigned char>& data, std::string& error);

}  // namespace velgard::cli
