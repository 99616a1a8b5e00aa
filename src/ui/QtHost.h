#pragma once
// The machine's host in the desktop program: the window's events are pumped
// by the emulation loop, messages and questions become message boxes, and
// the time counter is the monotonic clock.
#include <functional>

#include "machine/Host.h"
#include "ui/Dialogs.h"

class QWidget;

namespace velgard::ui {

class TQtHost final : public tHost {
public:
    explicit TQtHost(tDialogs& dialogs) : dialogs_(dialogs) {}

    // The window that owns the message boxes.
    void SetParentWidget(QWidget* parent) { parent_ = parent; }
    // Tells the pump that the machine is paused: it then waits for the next
    // event instead of returning at once, so a paused machine costs nothing.
    void SetPausedQuery(std::function<bool()> paused) { paused_ = std::move(paused); }

    void ProcessMessages() override;
    std::uint64_t CounterFrequency() override;
    std::uint64_t ReadCounter() override;
    bool CounterIsRealTime() override { return true; }
    void ShowMessage(const std::string& text, MessageKind kind) override;
    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text, MessageKind kind, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;

    tDialogs& Dialogs() { return dialogs_; }

private:
    tDialogs& dialogs_;
    QWidget* parent_ = nullptr;
    std::function<bool()> paused_;
};

}  // namespace velgard::ui
