#pragma once
// Records the frames that the sound channel renders into a WAV file:
// PCM, 22,050 Hz, 8 bits unsigned, mono. A sample 0 (the speaker at rest)
// is stored as 128, the midpoint of unsigned 8-bit audio, so that silence
// is silent and starting or stopping a recording makes no click; a sample
// 1 is stored as 255, the same step of 127 that the wave output plays.
//
// The recording goes into a temporary file beside the target (".NAME.part-
// ..."), written as it goes: a 44-byte header, then the samples. The
// header's two sizes are brought up to date once a second of sound and on
// Close, so a recording cut short by a crash is still a valid file that
// lacks at most its last second. A successful Close flushes the file and
// renames it over the target; a failed one removes it, so an old file of
// the target's name stays exactly as it was. (A target that is not a
// regular file, such as a device, is written directly.) A write error
// stops the recording for good and is reported by Failed(); the data part
// never grows past what the 32-bit RIFF sizes can describe.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace velgard {

class tWavRecorder {
public:
    static constexpr std::uint32_t kHeaderSize = 44;
    static constexpr std::uint32_t kSampleRate = 22050;
    // Largest data part whose RIFF size (data + 36) still fits 32 bits.
    static constexpr std::uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;
    // The bytes stored for samples 0 and 1.
    static constexpr std::uint8_t kSilence = 128;
    static constexpr std::uint8_t kHigh = 255;

    tWavRecorder() = default;
    ~tWavRecorder();  // closes the file (header brought up to date)
    tWavRecorder(const tWavRecorder&) = delete;
    tWavRecorder& operator=(const tWavRecorder&) = delete;

    // Creates the temporary file and writes the header. False if the file
    // cannot be created; a recording already open is closed first.
    bool Open(const std::string& path);
    // Appends samples (each 0 or 1; any non-zero value counts as 1).
    // Ignored while closed or after a failure.
    void WriteSamples(std::span<const std::uint8_t> samples);
    // Brings the header up to date and closes the file. True when every
    // write succeeded. Closing a closed recorder returns the last result.
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    // The file being written while the recording is open.
    const std::string& WritingPath() const { return writing_; }
    bool Failed() const { return failed_; }
    // Sample bytes written so far (equal to the data chunk size).
    std::uint64_t DataBytes() const { return dataBytes_; }
    // True once the size limit was reached and samples were left out.
    bool Truncated() const { return truncated_; }

private:
    bool WriteHeader();
    void Discard();

    struct tFileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, tFileCloser> file_;
    std::string target_;   // the file the recording becomes
    std::string writing_;  // the file written now (a temporary one, or the target)
    std::uint64_t dataBytes_ = 0;
    std::uint64_t sinceHeader_ = 0;
    bool failed_ = false;
    bool truncated_ = false;
};

}  // namespace velgard
