#pragma once
// A host without a window: for the command-line tool and the tests.
// Questions are answered by a policy the caller sets; messages are kept
// (and optionally echoed to a stream); the counter is the steady clock in
// nanoseconds unless the caller injects its own.
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "machine/Host.h"

namespace velgard {

class HeadlessHost : public tHost {
public:
    struct Message {
        std::string text;
        MessageKind kind;
    };
    using CounterFn = std::function<std::uint64_t()>;
    using PumpFn = std::function<void()>;

    HeadlessHost() = default;

    // Answer every question with `yes`.
    void SetAnswer(bool yes) { answer_ = yes; }
    // Echo messages and questions to `stream` (nullptr: stay silent).
    void SetEcho(std::ostream* stream) { echo_ = stream; }
    // Replace the counter (and its frequency) for deterministic tests.
    void SetCounter(CounterFn counter, std::uint64_t frequency);
    // Called from ProcessMessages: the caller's hook into the loop.
    void SetPump(PumpFn pump) { pump_ = std::move(pump); }

    const std::vector<Message>& Messages() const { return messages_; }
    const std::vector<std::string>& Questions() const { return questions_; }
    void ClearMessages() {
        messages_.clear();
        questions_.clear();
    }

    void ProcessMessages() override;
    std::uint64_t CounterFrequency() override;
    std::uint64_t ReadCounter() override;
    // The steady clock is real time; an injected counter is not.
    bool CounterIsRealTime() override { return !counter_; }
    void ShowMessage(const std::string& text, MessageKind kind) override;
    bool AskYesNo(const std::string& text) override;

private:
    bool answer_ = false;
    std::ostream* echo_ = nullptr;
    CounterFn counter_;
    std::uint64_t frequency_ = 1'000'000'000;
    PumpFn pump_;
    std::vector<Message> messages_;
    std::vector<std::string> questions_;
};

}  // namespace velgard
