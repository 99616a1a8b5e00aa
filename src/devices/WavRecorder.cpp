#include "devices/WavRecorder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>

namespace velgard {

namespace {

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

tWavRecorder::~tWavRecorder() { Close(); }

bool tWavRecorder::Open(const std::string& path) {
    Close();
    failed_ = false;
    truncated_ = false;
    dataBytes_ = 0;
    sinceHeader_ = 0;
    target_ = path;
    writing_ = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) {
        static std::atomic<unsigned> counter{0};
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        writing_ = folder + "." + name + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    }
    file_.reset(std::fopen(writing_.c_str(), writing_ == target_ ? "wb" : "wbx"));
    if (!file_) {
        failed_ = true;
        return false;
    }
    if (!WriteHeader()) {
        failed_ = true;
        Discard();
        return false;
    }
    return true;
}

void tWavRecorder::Discard() {
    file_.reset();
    if (writing_ != target_) std::remove(writing_.c_str());
}

bool tWavRecorder::WriteHeader() {
    std::array<std::uint8_t, kHeaderSize> h{};
    const auto data = static_cast<std::uint32_t>(dataBytes_);
    std::copy_n("RIFF", 4, h.begin());
    PutU32(&h[4], data + 36);
    std::copy_n("WAVE", 4, h.begin() + 8);
    std::copy_n("fmt ", 4, h.begin() + 12);
    PutU32(&h[16], 16);           // size of the format chunk
    PutU16(&h[20], 1);            // PCM
    PutU16(&h[22], 1);            // mono
    PutU32(&h[24], kSampleRate);  // samples per second
    PutU32(&h[28], kSampleRate);  // bytes per second
    PutU16(&h[32], 1);            // block alignment
    PutU16(&h[34], 8);            // bits per sample
    std::copy_n("data", 4, h.begin() + 36);
    PutU32(&h[40], data);

    std::FILE* f = file_.get();
    if (std::fseek(f, 0, SEEK_SET) != 0) return false;
    if (std::fwrite(h.data(), 1, h.size(), f) != h.size()) return false;
    if (std::fseek(f, 0, SEEK_END) != 0) return false;
    return std::fflush(f) == 0;
}

void tWavRecorder::WriteSamples(std::span<const std::uint8_t> samples) {
    if (!file_ || failed_ || samples.empty()) return;
    std::size_t count = samples.size();
    if (dataBytes_ + count > kMaxDataBytes) {
        count = static_cast<std::size_t>(kMaxDataBytes - dataBytes_);
        truncated_ = true;
    }
    std::array<std::uint8_t, 512> bytes;
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = std::min(bytes.size(), count - done);
        for (std::size_t i = 0; i < n; ++i) bytes[i] = samples[done + i] ? kHigh : kSilence;
        if (std::fwrite(bytes.data(), 1, n, file_.get()) != n) {
            failed_ = true;
            return;
        }
        done += n;
    }
    dataBytes_ += count;
    sinceHeader_ += count;
    if (sinceHeader_ >= kSampleRate) {
        sinceHeader_ = 0;
        if (!WriteHeader()) failed_ = true;
    }
}

bool tWavRecorder::Close() {
    if (!file_) return !failed_;
    if (!failed_ && !WriteHeader()) failed_ = true;
    if (!failed_ && writing_ != target_ && ::fsync(::fileno(file_.get())) != 0) failed_ = true;
    std::FILE* f = file_.release();
    if (std::fclose(f) != 0) failed_ = true;
    if (writing_ != target_) {
        if (failed_ || std::rename(writing_.c_str(), target_.c_str()) != 0) {
            failed_ = true;
            std::remove(writing_.c_str());
        }
    }
    return !failed_;
}

}  // namespace velgard
