// velgard-cli: the headless front end of Velgard.
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/Commands.h"

#ifndef VELGARD_VERSION
#define VELGARD_VERSION "unknown"
#endif

namespace velgard::cli {

namespace {
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}
}  // namespace

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, const char* help, CommandFn run) {
    Registry().push_back(Command{name, usage, help, run});
}

const std::vector<Command>& AllCommands() { return Registry(); }

int Fail(std::string_view message) {
    std::cerr << "velgard-cli: " << message << '\n';
    return kUsageError;
}

int Error(std::string_view message) {
    std::cerr << "velgard-cli: " << message << '\n';
    return kFailure;
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

bool CheckInputFile(const std::string& path, std::string& error) {
    struct stat st {};
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    if (::stat(path.c_str(), &st) != 0) {
        error = errno == ENOENT ? "no such file: " + path : "cannot reach " + path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + " is a folder, not a file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    return true;
}

bool CheckOutputFile(const std::string& path, std::string& error) {
    struct stat st {};
    if (path.empty()) {
        error = "no file name given";
        return false;
    }
    if (path.back() == '/' || (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        error = path + " is a folder; a file name is needed";
        return false;
    }
    const std::string folder = ParentOf(path);
    if (::stat(folder.c_str(), &st) != 0) {
        error = "the folder " + folder + " does not exist (it is not created)";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = folder + " is not a folder";
        return false;
    }
    return true;
}

bool ReadFile(const std::string& path, std::vector<unsigned char>& data, std::string& error) {
    if (!CheckInputFile(path, error)) return false;
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
    out << "  help [COMMAND]\n\n"
           "'velgard-cli COMMAND --help' describes a command; 'velgard-cli --version' prints the version.\n";
}

void PrintCommandHelp(std::ostream& out, const velgard::cli::Command& c) {
    out << "Usage: velgard-cli " << c.usage << "\n\n" << c.help;
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    using namespace velgard::cli;
    if (argc < 2) {
        PrintUsage(std::cerr);
        return kUsageError;
    }
    const std::string name = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (name == "--version" || name == "version") {
        std::cout << "velgard-cli " << VELGARD_VERSION << '\n';
        return 0;
    }
    if (name == "help" || name == "--help" || name == "-h") {
        if (!args.empty()) {
            for (const auto& c : AllCommands()) {
                if (args[0] == c.name) {
                    PrintCommandHelp(std::cout, c);
                    return 0;
                }
            }
            return Fail("help: unknown command '" + args[0] + "'");
        }
        PrintUsage(std::cout);
        return 0;
    }
    for (const auto& c : AllCommands()) {
        if (name == c.name) {
            if (WantsHelp(args)) {
                PrintCommandHelp(std::cout, c);
                return 0;
            }
            try {
                return c.run(args);
            } catch (const std::exception& e) {
                std::cerr << "velgard-cli: " << name << ": " << e.what() << '\n';
                return kFailure;
            }
        }
    }
    return Fail("unknown command '" + name + "' (try 'velgard-cli help')");
}
