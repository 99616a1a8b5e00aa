#include "machine/HeadlessHost.h"

#include <chrono>
#include <ostream>

namespace velgard {

void HeadlessHost::SetCounter(CounterFn counter, std::uint64_t frequency) {
    counter_ = std::move(counter);
    frequency_ = frequency;
}

void HeadlessHost::ProcessMessages() {
    if (pump_) pump_();
}

std::uint64_t HeadlessHost::CounterFrequency() { return frequency_; }

std::uint64_t HeadlessHost::ReadCounter() {
    if (counter_) return counter_();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

void HeadlessHost::ShowMessage(const std::string& text, MessageKind kind) {
    messages_.push_back(Message{text, kind});
    if (echo_) *echo_ << text << '\n';
}

bool HeadlessHost::AskYesNo(const std::string& text) {
    questions_.push_back(text);
    if (echo_) *echo_ << text << (answer_ ? " -> Да" : " -> Нет") << '\n';
    return answer_;
}

}  // namespace velgard
