#pragma once
// The CP/M file system inside a Korvet disk image held in memory.
//
// No state is kept between calls: every call takes the whole image and
// derives the disk parameters afresh from the parameter block at its start
// (bytes 0x10-0x1E are a CP/M 2.2 DPB; 0x0A-0x0F give sector size, sides,
// sectors per track and tracks per side). Every access to the image is
// bounds-checked, so a damaged or hostile image is read as far as it makes
// sense and never outside its bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velgard {

using tFileArray = std::vector<std::uint8_t>;

struct CpmGeometry {
    std::uint64_t sectorSize = 0;
    std::uint64_t sides = 0;
    std::uint64_t sectorsPerTrack = 0;
    std::uint64_t tracksPerSide = 0;
    std::uint64_t trackSize = 0;         // bytes
    std::uint64_t diskSize = 0;          // bytes
    std::uint64_t recordsPerTrack = 0;   // SPT
    std::uint64_t recordSize = 0;        // 128 on every sensible disk
    std::uint64_t blockSize = 0;
    std::uint64_t recordsPerBlock = 0;
    std::uint64_t blockCount = 0;        // DSM + 1
    std::uint64_t directoryEntries = 0;  // DRM + 1
    std::uint64_t directorySize = 0;     // bytes
    std::uint64_t directoryBlocks = 0;
    std::uint64_t directoryStart = 0;    // image offset of block 0
    bool smallDisk = false;              // one-byte block numbers
};

// Attribute code bits given by GetFileInfo.
inline constexpr unsigned kCpmAttrReadOnly = 0x01;
inline constexpr unsigned kCpmAttrSystem = 0x02;
inline constexpr unsigned kCpmAttrArchive = 0x04;
inline constexpr unsigned kCpmAttrErased = 0x08;
inline constexpr unsigned kCpmAttrUserShift = 4;  // bits 4-7: user number 0-15

struct CpmFileInfo {
    std::string name;
    std::uint64_t size = 0;
    bool readOnly = false;
    bool system = false;
    bool archive = false;
    bool erased = false;
    unsigned user = 0;
    unsigned attributes = 0;  // the kCpmAttr* bits and the user number
};

// Measures the disk. False when the image is shorter than 32 bytes or its
// parameter block cannot describe a disk (zero records per track, a zero
// record size, blocks smaller than a record, absurd size codes).
bool ReadGeometry(std::span<const std::uint8_t> image, CpmGeometry& geometry);
bool IsCpmImage(std::span<const std::uint8_t> image);

// The name of a 32-byte directory entry ("" when the entry has none).
std::string EntryName(std::span<const std::uint8_t> entry);

// Names of live (user 0-15) and erased files, each once, in directory order.
std::vector<std::string> ListFiles(std::span<const std::uint8_t> image);
int CountFiles(std::span<const std::uint8_t> image);
bool GetFileInfo(std::span<const std::uint8_t> image, int index, CpmFileInfo& info);

// One flag per block: in use by a live entry or by the directory.
std::vector<bool> BuildAllocationMap(std::span<const std::uint8_t> image, const CpmGeometry& geometry);
// Bytes in unused blocks (0 when the image is not a CP/M disk).
std::uint64_t FreeSpace(std::span<const std::uint8_t> image);

// Walks the entries of `name` whose erased state equals `erased`, returning
// the file's contents; optionally erases (fills data and entries with 0xE5)
// or restores (user 0, no attributes) what it walks. An entry holds RC
// records, plus 128 for each logical extent its EX counts below EXM on
// disks whose entries span several 16 KB extents (EXM > 0). A restored
// erased entry keeps all its blocks unless a live file has taken one; it
// then ends before that block.
tFileArray WalkFile(std::span<std::uint8_t> image, const std::string& name, bool erased, bool erase,
                    bool restore);

bool ReadFile(std::span<const std::uint8_t> image, const std::string& name, bool erased, tFileArray& contents);
bool EraseFile(std::span<std::uint8_t> image, const std::string& name, bool erased);
bool RestoreFile(std::span<std::uint8_t> image, const std::string& name, bool erased);
bool ClearDisk(std::span<std::uint8_t> image);

// Erases a live file the way CP/M's ERA does: only the user byte of each
// of its entries becomes 0xE5, so RestoreFile can bring it back while its
// blocks stay free. Returns the number of entries marked.
int MarkFileErased(std::span<std::uint8_t> image, const std::string& name);

// The CP/M name a host file gets on import, always a valid one: the host
// file name (UTF-8) with Cyrillic letters transliterated (Ж -> ZH, Я -> YA),
// letters upper-cased, blanks and leading dots dropped, every character
// CP/M does not allow in names (< > . , ; : = ? * [ ] % | ( ) / \ " and
// anything outside printable ASCII) replaced by '_', the part before the
// last dot cut to 8 and the part after it to 3 characters. `namePart` and
// `extPart` are the space-padded 8 and 3 bytes; the result is the listing
// name ("" when nothing is left of the name part).
std::string CpmNameFor(const std::string& hostPath, std::string* namePart = nullptr,
                       std::string* extPart = nullptr);

// True for a listing name that CP/M can hold: 1-8 characters, optionally a
// dot and 1-3 more, none of them lower-case, blank or forbidden.
bool IsValidCpmName(std::string_view listing);

// Why an import was refused.
enum class ImportResult {
    Ok,
    NotCpmDisk,
    EmptyFile,
    BadName,    // the host name gives no CP/M name
    Duplicate,  // a live file already has the name (in any case)
    DiskFull,   // no room: blocks or directory entries
};

// Writes `contents` as a new file named after `hostPath`. On any failure
// the image is left exactly as it was.
ImportResult ImportFileEx(std::span<std::uint8_t> image, const std::string& hostPath,
                          std::span<const std::uint8_t> contents);
// The same with the CP/M listing name given (e.g. "README.TXT").
ImportResult ImportFileNamed(std::span<std::uint8_t> image, const std::string& listing,
                             std::span<const std::uint8_t> contents);
bool ImportFile(std::span<std::uint8_t> image, const std::string& hostPath,
                std::span<const std::uint8_t> contents);

}  // namespace velgard

namespace velgard {

// A blank 819,200-byte Korvet data disk: 80 tracks x 2 sides x 5 sectors of
// 1024 bytes; CP/M with SPT 40 (one track side), two system tracks (the two
// sides of cylinder 0), 2 KB blocks (BSH 4, BLM 15, EXM 0), 395 blocks
// (DSM 394), 128 directory entries (DRM 127, AL0 C0h, AL1 00h, CKS 32) and a
// correct header checksum. The system tracks are zero, everything from the
// directory on is 0xE5.
std::vector<std::uint8_t> MakeBlankDiskImage();

}  // namespace velgard
