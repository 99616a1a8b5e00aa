#include "ui/QtHost.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>

namespace velgard::ui {

namespace {
// The caption of a message box for which the machine names none.
const char* const kDefaultCaption = "Velgard";
const char* const kQuestionCaption = "Вопрос";

tIcon IconFor(MessageKind kind) {
    switch (kind) {
        case MessageKind::Warning: return tIcon::Warning;
        case MessageKind::Error: return tIcon::Critical;
        case MessageKind::Information: return tIcon::Information;
        case MessageKind::Plain: break;
    }
    return tIcon::None;
}
}  // namespace

void TQtHost::ProcessMessages() {
    if (paused_ && paused_()) {
        // Sleeps until something happens (a key, a click, a timer): the
        // loop calls this again and again while paused.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

std::uint64_t TQtHost::CounterFrequency() { return 1000000000ull; }

std::uint64_t TQtHost::ReadCounter() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void TQtHost::ShowMessage(const std::string& text, MessageKind kind) { ShowMessage(text, kind, kDefaultCaption); }

bool TQtHost::AskYesNo(const std::string& text) { return AskYesNo(text, kQuestionCaption); }

void TQtHost::ShowMessage(const std::string& text, MessageKind kind, const std::string& caption) {
    dialogs_.Message(parent_, QString::fromStdString(caption), QString::fromStdString(text), IconFor(kind));
}

bool TQtHost::AskYesNo(const std::string& text, const std::string& caption) {
    return dialogs_.AskYesNo(parent_, QString::fromStdString(caption), QString::fromStdString(text), tIcon::Question);
}

}  // namespace velgard::ui
