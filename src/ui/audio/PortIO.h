#pragma once
// Access to the PC speaker for a user program on Linux.
//
// The PC speaker is played through the kernel's pcspkr input device: an
// evdev node (/dev/input/eventN, device name "PC Speaker") that takes
// EV_SND / SND_TONE events carrying a frequency in Hz. Normally only root
// may write to it. The "driver" that opens the speaker to the user is a
// udev rule:
//
//   operation            what it does here
//   -------------------  ----------------------------------------------------
//   IsNtHost             true: access has to be granted before the speaker
//                        can be used
//   IsWin9xHost          false
//   IsDriverInstalled    the rule file exists in the rules folder
//   InstallDriver        fails with the file-missing flag when the machine
//                        has no pcspkr device; fails when the rules folder
//                        does not exist; fails with the access-denied flag
//                        without root rights or when the rule cannot be
//                        written; otherwise writes the rule (a rule already
//                        in place counts as success), asks udev to reload
//                        its rules and re-trigger the input devices, true
//   UninstallDriver      removes the rule file and re-triggers udev; true
//                        when the rule was there and could be removed
//                        (false without root rights)
//   OpenPortAccess       the speaker's event device can be opened for
//                        writing
//
// The rule tags the device "uaccess", so that the user of the local
// console (the seat's active session) gets write access to it.
//
// The folders (rules, sysfs input classes, device nodes), the rights check
// and the udev re-trigger are injectable, so that tests run against
// temporary folders and never touch this machine's udev configuration.
#include <functional>
#include <string>

namespace velgard {

struct tPortAccessConfig {
    std::string rulesFolder = "/etc/udev/rules.d";
    std::string sysInputFolder = "/sys/class/input";
    std::string deviceFolder = "/dev/input";
    // True when the process may change the system's udev rules.
    std::function<bool()> hasAdminRights;
    // Reloads the udev rules and re-triggers the input devices; its result
    // is informational (the rule also applies from the next boot on).
    std::function<bool()> retrigger;
};

class tPortAccess {
public:
    static constexpr const char* kRuleFileName = "70-velgard-pcspkr.rules";
    static constexpr const char* kSpeakerName = "PC Speaker";

    // Empty function members of the config take the real ones: the
    // effective user id 0, and `udevadm control --reload` followed by
    // `udevadm trigger --action=change --subsystem-match=input`.
    explicit tPortAccess(tPortAccessConfig config = {});

    static bool IsNtHost() { return true; }
    static bool IsWin9xHost() { return false; }

    bool IsDriverInstalled() const;
    // programFolder is kept for the interface; the rule needs no file of
    // its own. Both flags are cleared first.
    bool InstallDriver(const std::string& programFolder, bool& fileMissing, bool& accessDenied);
    bool UninstallDriver();
    bool OpenPortAccess() const;

    // The pcspkr event device node, or "" when the machine has none.
    std::string FindSpeakerDevice() const;
    std::string RulePath() const;
    // The text of the rule file.
    static std::string RuleText();

private:
    tPortAccessConfig config_;
};

}  // namespace velgard
