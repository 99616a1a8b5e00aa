#include "ui/audio/PortIO.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

extern char** environ;

namespace velgard {

namespace fs = std::filesystem;

namespace {

// Runs a program found on PATH with its arguments and waits for it; true
// when it exited with status 0.
bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool RetriggerUdev() {
    bool ok = RunProgram({"udevadm", "control", "--reload"});
    ok = RunProgram({"udevadm", "trigger", "--action=change", "--subsystem-match=input"}) && ok;
    ok = RunProgram({"udevadm", "settle", "--timeout=5"}) && ok;
    return ok;
}

bool IsPermissionError(int e) { return e == EACCES || e == EPERM || e == EROFS; }

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

tPortAccess::tPortAccess(tPortAccessConfig config) : config_(std::move(config)) {
    if (!config_.hasAdminRights) config_.hasAdminRights = [] { return geteuid() == 0; };
    if (!config_.retrigger) config_.retrigger = RetriggerUdev;
}

std::string tPortAccess::RulePath() const {
    return (fs::path(config_.rulesFolder) / kRuleFileName).string();
}

std::string tPortAccess::RuleText() {
    return "# Velgard: lets the user at the console play tones on the PC speaker.\n"
           "ACTION==\"add|change\", SUBSYSTEM==\"input\", KERNEL==\"event*\", "
           "ATTRS{name}==\"PC Speaker\", TAG+=\"uaccess\"\n";
}

bool tPortAccess::IsDriverInstalled() const {
    std::error_code ec;
    return fs::is_regular_file(RulePath(), ec);
}

std::string tPortAccess::FindSpeakerDevice() const {
    std::error_code ec;
    std::vector<std::string> events;
    for (fs::directory_iterator it(config_.sysInputFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("event", 0) == 0) events.push_back(name);
    }
    std::sort(events.begin(), events.end());
    for (const auto& event : events) {
        std::ifstream in(fs::path(config_.sysInputFolder) / event / "device" / "name");
        std::string deviceName;
        if (in && std::getline(in, deviceName) && Trimmed(deviceName) == kSpeakerName)
            return (fs::path(config_.deviceFolder) / event).string();
    }
    return {};
}

bool tPortAccess::InstallDriver(const std::string&, bool& fileMissing, bool& accessDenied) {
    fileMissing = false;
    accessDenied = false;
    if (FindSpeakerDevice().empty()) {
        fileMissing = true;
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(config_.rulesFolder, ec)) return false;
    if (!config_.hasAdminRights()) {
        accessDenied = true;
        return false;
    }
    if (!IsDriverInstalled()) {
        // Written beside its final name and renamed, so udev never reads
        // half a rule.
        const fs::path final = RulePath();
        const fs::path temp = fs::path(config_.rulesFolder) / ".velgard-pcspkr.rules.tmp";
        const std::string text = RuleText();
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            accessDenied = IsPermissionError(errno);
            return false;
        }
        const bool written = ::write(fd, text.data(), text.size()) ==
                             static_cast<ssize_t>(text.size());
        const int writeError = errno;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed || std::rename(temp.c_str(), final.c_str()) != 0) {
            const int e = written ? errno : writeError;
            ::unlink(temp.c_str());
            accessDenied = IsPermissionError(e);
            return false;
        }
    }
    config_.retrigger();
    return true;
}

bool tPortAccess::UninstallDriver() {
    if (!config_.hasAdminRights()) return false;
    const bool removed = ::unlink(RulePath().c_str()) == 0;
    if (removed) config_.retrigger();
    return removed;
}

bool tPortAccess::OpenPortAccess() const {
    const std::string device = FindSpeakerDevice();
    if (device.empty()) return false;
    const int fd = ::open(device.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace velgard
