// velgard-cli: the headless front end of Velgard.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/Commands.h"

namespace velgard::cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}
}  // namespace

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, CommandFn run) {
    Registry().push_back(Command{name, usage, run});
}

const std::vector<Command>& AllCommands() { return Registry(); }

int Fail(std::string_view message) {
    std::cerr << "velgard-cli: " << message << '\n';
    return kUsageError;
}

bool ParseNumber(std::string_view text, unsigned long long min, unsigned long long max,
                 unsigned long long& value) {
    if (text.empty()) return false;
    unsigned long long v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (v < min || v > max) return false;
    value = v;
    return true;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>& data, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace velgard::cli

namespace {
void PrintUsage(std::ostream& out) {
    out << "Usage: velgard-cli COMMAND [OPTIONS...]\n\nCommands:\n";
    for (const auto& c : velgard::cli::AllCommands()) {
        out << "  " << c.usage << '\n';
    }
    out << "  help\n";
}
}  // namespace

int main(int argc, char** argv) {
    using namespace velgard::cli;
    if (argc < 2) {
        PrintUsage(std::cerr);
        return kUsageError;
    }
    const std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        PrintUsage(std::cout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : AllCommands()) {
        if (name == c.name) {
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                std::cerr << "velgard-cli: " << e.what() << '\n';
                return 1;
            }
        }
    }
    return Fail("unknown command '" + name + "' (try 'velgard-cli help')");
}
