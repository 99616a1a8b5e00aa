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
    const char* usage;  // the command's synopsis
    const char* help;   // what it does and what its options mean (for --help)
    CommandFn run;
};

struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, const char* help, CommandFn run);
};

const std::vector<Command>& AllCommands();

// Exit status for bad arguments or unusable input files.
inline constexpr int kUsageError = 2;
// Exit status for an operation that was tried and failed.
inline constexpr int kFailure = 1;

// Prints "velgard-cli: <message>" on stderr and returns kUsageError.
int Fail(std::string_view message);
// Prints "velgard-cli: <message>" on stderr and returns kFailure.
int Error(std::string_view message);

// Parses a whole unsigned decimal number in [min, max]; false on anything else.
bool ParseNumber(std::string_view text, unsigned long long min, unsigned long long max,
                 unsigned long long& value);

// Checks that `path` names an existing regular file that can be read; else
// a one-line reason ("no such file: X", "X is a folder, not a file", ...).
bool CheckInputFile(const std::string& path, std::string& error);
// Checks that a file may be created at `path`: its folder exists and is a
// folder, and `path` itself is not a folder. Missing folders are never
// created: a typing error should not leave a folder chain behind.
bool CheckOutputFile(const std::string& path, std::string& error);

// Reads a whole file; false with a message when it cannot be read.
bool ReadFile(const std::string& path, std::vector<unsigned char>& data, std::string& error);

}  // namespace velgard::cli
