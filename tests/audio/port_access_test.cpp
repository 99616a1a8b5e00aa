// Granting the user the PC speaker: the udev rule, against temporary
// folders only (nothing is installed on this machine).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TestSupport.h"
#include "ui/audio/HostSoundDevices.h"
#include "ui/audio/PortIO.h"

namespace velgard {
namespace {

namespace fs = std::filesystem;

struct tFakeSystem {
    test::TempDir dir;
    bool admin = true;
    int retriggers = 0;

    tFakeSystem(bool withSpeaker = true, bool withRules = true) {
        fs::create_directories(dir / "sys" / "event0" / "device");
        fs::create_directories(dir / "dev");
        Write(dir / "sys" / "event0" / "device" / "name", "AT Translated Set 2 keyboard\n");
        Write(dir / "dev" / "event0", "");
        if (withSpeaker) {
            fs::create_directories(dir / "sys" / "event7" / "device");
            Write(dir / "sys" / "event7" / "device" / "name", "PC Speaker\n");
            Write(dir / "dev" / "event7", "");
        }
        if (withRules) fs::create_directories(dir / "rules");
    }
    static void Write(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }
    tPortAccessConfig Config() {
        tPortAccessConfig c;
        c.rulesFolder = (dir / "rules").string();
        c.sysInputFolder = (dir / "sys").string();
        c.deviceFolder = (dir / "dev").string();
        c.hasAdminRights = [this] { return admin; };
        c.retrigger = [this] { ++retriggers; return true; };
        return c;
    }
};

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PortAccess, InstallAndUninstallTheRule) {
    tFakeSystem sys;
    tPortAccess access(sys.Config());
    EXPECT_TRUE(tPortAccess::IsNtHost());
    EXPECT_FALSE(tPortAccess::IsWin9xHost());
    EXPECT_EQ(access.FindSpeakerDevice(), (sys.dir / "dev" / "event7").string());
    EXPECT_FALSE(access.IsDriverInstalled());
    EXPECT_TRUE(access.OpenPortAccess());

    bool missing = true, denied = true;
    ASSERT_TRUE(access.InstallDriver("/opt/velgard/", missing, denied));
    EXPECT_FALSE(missing);
    EXPECT_FALSE(denied);
    EXPECT_TRUE(access.IsDriverInstalled());
    EXPECT_EQ(sys.retriggers, 1);
    const std::string rule = ReadText(sys.dir / "rules" / tPortAccess::kRuleFileName);
    EXPECT_EQ(rule, tPortAccess::RuleText());
    EXPECT_NE(rule.find("ATTRS{name}==\"PC Speaker\""), std::string::npos);
    EXPECT_NE(rule.find("TAG+=\"uaccess\""), std::string::npos);
    // Only the rule is left in the folder (no temporary file).
    EXPECT_EQ(std::distance(fs::directory_iterator(sys.dir / "rules"), fs::directory_iterator()), 1);

    // Installing again succeeds (already there).
    EXPECT_TRUE(access.InstallDriver("", missing, denied));
    EXPECT_TRUE(access.IsDriverInstalled());

    // Uninstall needs root; then removes the rule; a second time fails.
    sys.admin = false;
    EXPECT_FALSE(access.UninstallDriver());
    EXPECT_TRUE(access.IsDriverInstalled());
    sys.admin = true;
    const int before = sys.retriggers;
    EXPECT_TRUE(access.UninstallDriver());
    EXPECT_FALSE(access.IsDriverInstalled());
    EXPECT_EQ(sys.retriggers, before + 1);
    EXPECT_FALSE(access.UninstallDriver());
}

TEST(PortAccess, FailuresSetTheRightFlags) {
    {  // not root: access denied, nothing written
        tFakeSystem sys;
        sys.admin = false;
        tPortAccess access(sys.Config());
        bool missing = true, denied = false;
        EXPECT_FALSE(access.InstallDriver("", missing, denied));
        EXPECT_TRUE(denied);
        EXPECT_FALSE(missing);
        EXPECT_FALSE(access.IsDriverInstalled());
        EXPECT_EQ(sys.retriggers, 0);
    }
    {  // no pcspkr device: the file-missing flag; the speaker cannot be opened
        tFakeSystem sys(/*withSpeaker=*/false);
        tPortAccess access(sys.Config());
        bool missing = false, denied = true;
        EXPECT_FALSE(access.InstallDriver("", missing, denied));
        EXPECT_TRUE(missing);
        EXPECT_FALSE(denied);
        EXPECT_FALSE(access.OpenPortAccess());
        EXPECT_EQ(access.FindSpeakerDevice(), "");
        EXPECT_FALSE(access.IsDriverInstalled());
    }
    {  // no rules folder: plain failure, neither flag
        tFakeSystem sys(true, /*withRules=*/false);
        tPortAccess access(sys.Config());
        bool missing = true, denied = true;
        EXPECT_FALSE(access.InstallDriver("", missing, denied));
        EXPECT_FALSE(missing);
        EXPECT_FALSE(denied);
    }
    {  // a speaker listed in sysfs whose node is missing cannot be opened
        tFakeSystem sys;
        fs::remove(sys.dir / "dev" / "event7");
        tPortAccess access(sys.Config());
        EXPECT_FALSE(access.OpenPortAccess());
    }
}

TEST(PortAccess, HostFactoryMakesTheSpeakerFromTheFoundDevice) {
    tFakeSystem sys;
    tHostSoundDevices devices(sys.Config());
    auto spk = devices.CreateDevice(kSoundOutputSpeaker);
    ASSERT_NE(spk, nullptr);
    EXPECT_TRUE(spk->Available());
    EXPECT_FALSE(spk->IsBuffered());
    auto none = devices.CreateDevice(kSoundOutputNone);
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->Available());
    EXPECT_EQ(devices.CreateDevice(9), nullptr);

    tFakeSystem bare(/*withSpeaker=*/false);
    tHostSoundDevices noSpeaker(bare.Config());
    auto missing = noSpeaker.CreateDevice(kSoundOutputSpeaker);
    ASSERT_NE(missing, nullptr);
    EXPECT_FALSE(missing->Available());
}

}  // namespace
}  // namespace velgard
