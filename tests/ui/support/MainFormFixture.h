#pragma once
// A main window for tests: its settings file in a temporary folder, dialogs
// answered by a script, no sound devices, the speaker's access rule in a
// temporary folder, and the application always counted as active.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "machine/EmuKorvet.h"
#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"
#include "ui/MainForm.h"

namespace velgard::ui::test {

inline std::unique_ptr<TMainForm> MakeMainForm(tScriptedDialogs& dialogs, const std::filesystem::path& folder) {
    tMainFormOptions options;
    options.SettingsFile = folder / "velgard.ini";
    options.Dialogs = &dialogs;
    options.SoundDevices = std::make_unique<tNoSoundDeviceFactory>();
    std::filesystem::create_directories(folder / "rules");
    tPortAccessConfig access;
    access.rulesFolder = (folder / "rules").string();
    access.sysInputFolder = (folder / "sys").string();
    access.deviceFolder = (folder / "dev").string();
    access.hasAdminRights = [] { return false; };
    access.retrigger = [] { return true; };
    options.PortAccess = std::make_unique<tPortAccess>(access);
    options.IsActive = [] { return true; };
    auto form = std::make_unique<TMainForm>(std::move(options));
    form->Machine().SetStateFilePath(folder / "velgard.sav");
    return form;
}

// Steps that run inside the machine's loop: each waits for its condition,
// then acts. Run() starts the machine and returns when the machine has
// stopped after the last step (or the time ran out: a failure).
class tRunScript {
public:
    struct Step {
        std::function<bool()> until;
        std::function<void()> then;
    };
    explicit tRunScript(TMainForm& form) : form_(form) {}
    tRunScript& When(std::function<bool()> until, std::function<void()> then) {
        steps_.push_back({std::move(until), std::move(then)});
        return *this;
    }
    // Waits `frames` emulated frames (at real time), then acts.
    tRunScript& AfterFrames(std::uint64_t frames, std::function<void()> then) {
        auto start = std::make_shared<std::uint64_t>(~0ull);
        return When(
            [this, start, frames] {
                const std::uint64_t now = form_.Machine().FramesCompleted();
                if (*start == ~0ull || now < *start) *start = now;
                return now - *start >= frames;
            },
            std::move(then));
    }
    bool Run(int timeoutMs = 30000) {
        QTimer tick;
        tick.setInterval(5);
        QElapsedTimer clock;
        clock.start();
        bool timedOut = false;
        QObject::connect(&tick, &QTimer::timeout, [&, this] {
            // The loop runs inside this wait: a script that stalls stops
            // the machine itself rather than hang the test.
            if (clock.elapsed() > timeoutMs) {
                timedOut = true;
                steps_.clear();
                form_.btnStopClick();
                return;
            }
            if (steps_.empty()) return;
            if (steps_.front().until()) {
                Step s = std::move(steps_.front());
                steps_.pop_front();
                s.then();
            }
        });
        tick.start();
        form_.btnStartClick();
        const bool done = QTest::qWaitFor([this] { return steps_.empty() && !form_.Machine().Running() &&
                                                          !form_.ResetPending(); },
                                          timeoutMs);
        tick.stop();
        if (form_.Machine().Running()) form_.btnStopClick();
        const bool stopped = QTest::qWaitFor([this] { return !form_.Machine().Running(); }, 2000);
        return stopped && done && !timedOut;
    }

private:
    TMainForm& form_;
    std::deque<Step> steps_;
};

}  // namespace velgard::ui::test
