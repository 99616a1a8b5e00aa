#pragma once
// Safe replacement of a file's contents: the new contents are written to a
// temporary file in the same folder, flushed to the disk, and renamed over
// the old file. Whatever fails on the way, the old file stays exactly as it
// was and no temporary file is left behind.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace velgard {

enum class AtomicWriteStatus {
    Ok,
    TargetReadOnly,  // the existing file is write-protected (no write bit set)
    Failed,          // the folder cannot take the new file, or writing it failed
};

// Writes `data` as the whole new contents of `path`. A new file gets the
// usual permissions (0666 less the umask); a replaced file keeps its mode
// (and, where allowed, its owner). A symbolic link is followed: the file it
// points to is replaced, the link stays. `error` receives a one-line reason.
AtomicWriteStatus WriteFileAtomically(const std::filesystem::path& path,
                                      std::span<const std::uint8_t> data,
                                      std::string* error = nullptr);

}  // namespace velgard
