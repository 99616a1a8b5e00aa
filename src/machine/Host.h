#pragma once
// The machine's only ways to the outside world. A front end (the desktop
// window, the headless tool, a test) implements this interface; the core
// holds no window system or audio library of its own.
#include <cstdint>
#include <string>

namespace velgard {

enum class MessageKind {
    Plain,    // a plain message box
    Warning,  // a failure, with the warning icon
    Error,    // an error that ended an operation
    Information,  // a report, with the information icon
};

class tHost {
public:
    virtual ~tHost() = default;

    // Lets the application handle its pending events (window messages,
    // key presses). Called by the loop once per frame, continuously while
    // paused.
    virtual void ProcessMessages() = 0;

    // A monotonic high-resolution counter and its frequency in counts per second.
    virtual std::uint64_t CounterFrequency() = 0;
    virtual std::uint64_t ReadCounter() = 0;
    // True when the counter follows the host's real clock, so that a wait
    // for a counter value may sleep through most of it. A host whose
    // counter is simulated (a test) keeps the default: the loop then only
    // polls the counter and never sleeps.
    virtual bool CounterIsRealTime() { return false; }

    // Shows a message with the exact text given.
    virtual void ShowMessage(const std::string& text, MessageKind kind) = 0;

    // Asks a Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    // The same with the caption of the message box. A front end without
    // captions keeps the defaults, which drop the caption.
    virtual void ShowMessage(const std::string& text, MessageKind kind, const std::string& caption) {
        (void)caption;
        ShowMessage(text, kind);
    }
    virtual bool AskYesNo(const std::string& text, const std::string& caption) {
        (void)caption;
        return AskYesNo(text);
    }
};

}  // namespace velgard
