#include "disk/CPM_Disk.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <string_view>

namespace velgard {

namespace {

constexpr std::uint8_t kErased = 0xE5;
constexpr std::size_t kEntrySize = 32;

std::uint64_t Word(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint64_t>(d[at]) | (static_cast<std::uint64_t>(d[at + 1]) << 8);
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// The directory entries that lie wholly inside the image.
std::uint64_t EntryCount(std::size_t imageSize, const CpmGeometry& g) {
    if (g.directoryStart >= imageSize) return 0;
    return std::min<std::uint64_t>(g.directoryEntries, (imageSize - g.directoryStart) / kEntrySize);
}

std::size_t EntryOffset(const CpmGeometry& g, std::uint64_t index) {
    return static_cast<std::size_t>(g.directoryStart + index * kEntrySize);
}

unsigned SlotCount(const CpmGeometry& g) { return g.smallDisk ? 16 : 8; }

std::uint64_t Slot(const std::uint8_t* entry, const CpmGeometry& g, unsigned slot) {
    if (g.smallDisk) return entry[16 + slot];
    return static_cast<std::uint64_t>(entry[16 + 2 * slot]) |
           (static_cast<std::uint64_t>(entry[17 + 2 * slot]) << 8);
}

void SetSlot(std::uint8_t* entry, const CpmGeometry& g, unsigned slot, std::uint64_t block) {
    if (g.smallDisk) {
        entry[16 + slot] = static_cast<std::uint8_t>(block);
    } else {
        entry[16 + 2 * slot] = static_cast<std::uint8_t>(block & 0xFF);
        entry[17 + 2 * slot] = static_cast<std::uint8_t>((block >> 8) & 0xFF);
    }
}

// Records an entry holds. RC counts the records of the entry's last 16 KB
// logical extent; with EXM > 0 (blocks large enough for an entry to hold
// several logical extents) the low EXM bits of EX tell how many full
// logical extents of 128 records come before it, as CP/M 2.2 reckons.
std::uint64_t EntryRecords(const std::uint8_t* e, unsigned exm) {
    const std::uint64_t rc = e[15];
    if (exm == 0) return rc;
    return static_cast<std::uint64_t>(e[12] & exm) * 128 + std::min<std::uint64_t>(rc, 128);
}

// Stores a record count back into EX (low EXM bits) and RC.
void SetEntryRecords(std::uint8_t* e, unsigned exm, std::uint64_t records) {
    if (exm == 0 || records == 0) {
        e[15] = static_cast<std::uint8_t>(std::min<std::uint64_t>(records, 255));
        if (exm != 0) e[12] = static_cast<std::uint8_t>(e[12] & ~exm);
        return;
    }
    const std::uint64_t full = std::min<std::uint64_t>((records - 1) / 128, exm);
    e[12] = static_cast<std::uint8_t>((e[12] & ~exm) | full);
    e[15] = static_cast<std::uint8_t>(records - full * 128);
}

// The walk over the entries of one file. `image` is written only when
// erase or restore is on.
tFileArray Walk(std::uint8_t* image, std::size_t size, const std::string& name, bool erased, bool erase,
                bool restore) {
    tFileArray contents;
    const std::span<const std::uint8_t> view(image, size);
    CpmGeometry g;
    if (!ReadGeometry(view, g)) return contents;
    const unsigned exm = image[0x14] & 0x1F;
    try {
        std::vector<bool> map;
        if (erased) map = BuildAllocationMap(view, g);
        const std::uint64_t entries = EntryCount(size, g);
        for (std::uint64_t i = 0; i < entries; ++i) {
            std::uint8_t* e = image + EntryOffset(g, i);
            if ((e[0] == kErased) != erased) continue;
            if (EntryName(std::span<const std::uint8_t>(e, kEntrySize)) != name) continue;
            std::uint64_t left = EntryRecords(e, exm);
            std::uint64_t taken = 0;
            unsigned slot = 0;
            bool restored = false;
            bool blockInUse = false;
            while (left > 0 && slot < SlotCount(g)) {
                const std::uint64_t b = Slot(e, g, slot);
                if (b == 0 || b >= g.blockCount) break;
                if (erased && map[b]) {
                    blockInUse = true;
                    break;
                }
                if (restore && !restored) {
                    e[0] = 0;
                    e[9] &= 0x7F;
                    e[10] &= 0x7F;
                    e[11] &= 0x7F;
                    restored = true;
                }
                const std::uint64_t start = g.directoryStart + b * g.blockSize;
                if (start >= size) break;
                const std::uint64_t n = std::min(g.recordsPerBlock, left);
                const std::uint64_t bytes = n * g.recordSize;
                if (start + bytes > size) break;
                left -= n;
                taken += n;
                ++slot;
                contents.insert(contents.end(), image + start, image + start + bytes);
                if (erase) std::memset(image + start, kErased, static_cast<std::size_t>(bytes));
            }
            if (restored && blockInUse) {
                // A live file now owns a block of this entry: the entry keeps
                // the blocks before it and gives up that block and the rest,
                // since claiming them again would cross-link two files. An
                // entry whose blocks are all still free keeps every slot and
                // its record count as they were.
                SetEntryRecords(e, exm, taken);
                for (unsigned s = slot; s < SlotCount(g); ++s) SetSlot(e, g, s, 0);
            }
            if (erase) std::memset(e, kErased, kEntrySize);
        }
    } catch (const std::exception&) {
        contents.clear();
    }
    return contents;
}

}  // namespace

bool ReadGeometry(std::span<const std::uint8_t> d, CpmGeometry& g) {
    g = CpmGeometry{};
    if (d.size() < 32) return false;
    const unsigned sizeCode = d[0x0A];
    // Sector sizes past 128 KB describe no disk and would overflow below.
    if (sizeCode > 10) return false;
    CpmGeometry r;
    r.sectorSize = 128ULL << sizeCode;
    r.sides = d[0x0B] + 1ULL;
    r.sectorsPerTrack = Word(d, 0x0C);
    r.tracksPerSide = Word(d, 0x0E);
    r.trackSize = r.sectorsPerTrack * r.sectorSize;
    r.diskSize = r.sides * r.tracksPerSide * r.trackSize;
    r.recordsPerTrack = Word(d, 0x10);
    if (r.recordsPerTrack == 0) return false;
    r.recordSize = r.trackSize / r.recordsPerTrack;
    if (r.recordSize == 0) return false;
    r.blockSize = (d[0x13] + 1ULL) * 128ULL;
    r.recordsPerBlock = r.blockSize / r.recordSize;
    // A block that holds no whole record cannot carry data.
    if (r.recordsPerBlock == 0) return false;
    r.blockCount = Word(d, 0x15) + 1;
    r.directoryEntries = Word(d, 0x17) + 1;
    r.directorySize = r.directoryEntries * kEntrySize;
    r.directoryBlocks = std::min((r.directorySize + r.blockSize - 1) / r.blockSize, r.blockCount);
    r.directoryStart = Word(d, 0x1D) * r.trackSize;
    r.smallDisk = r.blockCount < 256;
    g = r;
    return true;
}

bool IsCpmImage(std::span<const std::uint8_t> image) {
    CpmGeometry g;
    return ReadGeometry(image, g);
}

std::string EntryName(std::span<const std::uint8_t> e) {
    if (e.size() < 12) return {};
    std::string name, ext;
    for (int i = 1; i <= 8; ++i) name += static_cast<char>(e[i] & 0x7F);
    for (int i = 9; i <= 11; ++i) ext += static_cast<char>(e[i] & 0x7F);
    name = Trim(name);
    ext = Trim(ext);
    if (Upper(name) == "EEEEEEEE" || Upper(ext) == "EEE") return {};
    if (!ext.empty()) {
        name += '.';
        name += ext;
    }
    return name;
}

namespace {

struct ListedFile {
    std::string name;
    std::size_t entryOffset;
};

std::vector<ListedFile> ListWithEntries(std::span<const std::uint8_t> image) {
    std::vector<ListedFile> files;
    CpmGeometry g;
    if (!ReadGeometry(image, g)) return files;
    const std::uint64_t entries = EntryCount(image.size(), g);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::size_t at = EntryOffset(g, i);
        const std::uint8_t user = image[at];
        if (user >= 16 && user != kErased) continue;
        std::string name = EntryName(image.subspan(at, kEntrySize));
        if (name.empty()) continue;
        const bool known = std::any_of(files.begin(), files.end(),
                                       [&](const ListedFile& f) { return f.name == name; });
        if (!known) files.push_back(ListedFile{std::move(name), at});
    }
    return files;
}

}  // namespace

std::vector<std::string> ListFiles(std::span<const std::uint8_t> image) {
    std::vector<std::string> names;
    for (auto& f : ListWithEntries(image)) names.push_back(std::move(f.name));
    return names;
}

int CountFiles(std::span<const std::uint8_t> image) {
    return static_cast<int>(ListWithEntries(image).size());
}

bool GetFileInfo(std::span<const std::uint8_t> image, int index, CpmFileInfo& info) {
    const auto files = ListWithEntries(image);
    if (index < 0 || static_cast<std::size_t>(index) >= files.size()) return false;
    const auto& f = files[static_cast<std::size_t>(index)];
    const std::uint8_t* e = image.data() + f.entryOffset;
    CpmFileInfo r;
    r.name = f.name;
    r.readOnly = (e[9] & 0x80) != 0;
    r.system = (e[10] & 0x80) != 0;
    r.archive = (e[11] & 0x80) != 0;
    r.erased = e[0] == kErased;
    r.user = e[0] & 0x0F;
    r.attributes = (r.readOnly ? kCpmAttrReadOnly : 0) | (r.system ? kCpmAttrSystem : 0) |
                   (r.archive ? kCpmAttrArchive : 0) | (r.erased ? kCpmAttrErased : 0) |
                   (r.user << kCpmAttrUserShift);
    tFileArray data;
    ReadFile(image, r.name, r.erased, data);
    r.size = data.size();
    info = std::move(r);
    return true;
}

std::vector<bool> BuildAllocationMap(std::span<const std::uint8_t> image, const CpmGeometry& g) {
    std::vector<bool> map(static_cast<std::size_t>(g.blockCount), false);
    const std::uint64_t entries = EntryCount(image.size(), g);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = image.data() + EntryOffset(g, i);
        if (e[0] == kErased) continue;
        for (unsigned s = 0; s < SlotCount(g); ++s) {
            const std::uint64_t b = Slot(e, g, s);
            if (b == 0 || b >= g.blockCount) break;
            map[static_cast<std::size_t>(b)] = true;
        }
    }
    for (std::uint64_t b = 0; b < g.directoryBlocks; ++b) map[static_cast<std::size_t>(b)] = true;
    return map;
}

std::uint64_t FreeSpace(std::span<const std::uint8_t> image) {
    CpmGeometry g;
    if (!ReadGeometry(image, g)) return 0;
    const auto map = BuildAllocationMap(image, g);
    return static_cast<std::uint64_t>(std::count(map.begin(), map.end(), false)) * g.blockSize;
}

tFileArray WalkFile(std::span<std::uint8_t> image, const std::string& name, bool erased, bool erase,
                    bool restore) {
    return Walk(image.data(), image.size(), name, erased, erase, restore);
}

bool ReadFile(std::span<const std::uint8_t> image, const std::string& name, bool erased, tFileArray& contents) {
    if (!IsCpmImage(image)) return false;
    // Neither erase nor restore is on: the walk does not write to the image.
    contents = Walk(const_cast<std::uint8_t*>(image.data()), image.size(), name, erased, false, false);
    return true;
}

bool EraseFile(std::span<std::uint8_t> image, const std::string& name, bool erased) {
    if (!IsCpmImage(image)) return false;
    Walk(image.data(), image.size(), name, erased, true, false);
    return true;
}

bool RestoreFile(std::span<std::uint8_t> image, const std::string& name, bool erased) {
    if (!IsCpmImage(image)) return false;
    if (erased) {
        // Bringing an erased file back next to a live one of the same name
        // would give the directory two files of one name.
        CpmGeometry g;
        ReadGeometry(image, g);
        const std::uint64_t entries = EntryCount(image.size(), g);
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = image.data() + EntryOffset(g, i);
            if (e[0] < 16 && Upper(EntryName(std::span<const std::uint8_t>(e, kEntrySize))) == Upper(name)) {
                return false;
            }
        }
    }
    Walk(image.data(), image.size(), name, erased, false, true);
    return true;
}

bool ClearDisk(std::span<std::uint8_t> image) {
    CpmGeometry g;
    if (!ReadGeometry(image, g)) return false;
    if (g.directoryStart >= image.size()) return true;
    const std::uint64_t length = std::min<std::uint64_t>(g.blockCount * g.blockSize, image.size() - g.directoryStart);
    std::memset(image.data() + g.directoryStart, kErased, static_cast<std::size_t>(length));
    return true;
}

namespace {

// Characters CP/M 2.2's command processor takes as separators or wild
// cards, which therefore never appear in a file name.
constexpr std::string_view kForbiddenInNames = "<>.,;:=?*[]%|()/\\\"";

bool AllowedInName(char c) {
    return c > ' ' && c < 0x7F && kForbiddenInNames.find(c) == std::string_view::npos && !(c >= 'a' && c <= 'z');
}

// Latin letters for the Cyrillic ones (А-Я, а-я, Ё, ё), in the usual
// transliteration; Ъ and Ь are left out.
const char* const kTranslit[32] = {"A", "B",  "V",  "G",  "D", "E", "ZH", "Z", "I",  "J", "K",
                                   "L", "M",  "N",  "O",  "P", "R", "S",  "T", "U",  "F", "H",
                                   "C", "CH", "SH", "SCH", "", "Y", "",   "E", "YU", "YA"};

// Decodes one UTF-8 sequence at `i`; a malformed byte comes back as
// 0xFFFD and is skipped alone.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    const int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// The host name in CP/M's characters: Cyrillic transliterated, letters
// upper-cased, blanks dropped, every other character CP/M cannot keep
// replaced by '_'. Dots stay (they split name and extension).
std::string CpmCharacters(std::string_view file) {
    std::string out;
    for (std::size_t i = 0; i < file.size();) {
        const char32_t c = NextCodePoint(file, i);
        if (c == U' ' || c == U'\t') continue;
        if (c == U'.') {
            out += '.';
        } else if (c >= U'a' && c <= U'z') {
            out += static_cast<char>(c - U'a' + U'A');
        } else if (c < 0x80 && AllowedInName(static_cast<char>(c))) {
            out += static_cast<char>(c);
        } else if (c >= 0x410 && c <= 0x42F) {
            out += kTranslit[c - 0x410];
        } else if (c >= 0x430 && c <= 0x44F) {
            out += kTranslit[c - 0x430];
        } else if (c == 0x401 || c == 0x451) {
            out += 'E';
        } else {
            out += '_';
        }
    }
    return out;
}

// Splits a listing name into the space-padded 8 + 3 bytes.
void SplitName(const std::string& listing, std::string& namePart, std::string& extPart) {
    const std::size_t dot = listing.find('.');
    namePart = dot == std::string::npos ? listing : listing.substr(0, dot);
    extPart = dot == std::string::npos ? std::string() : listing.substr(dot + 1);
    namePart.resize(8, ' ');
    extPart.resize(3, ' ');
}

}  // namespace

std::string CpmNameFor(const std::string& hostPath, std::string* namePart, std::string* extPart) {
    const std::size_t slash = hostPath.find_last_of('/');
    std::string file = CpmCharacters(slash == std::string::npos ? hostPath : hostPath.substr(slash + 1));
    // A leading dot hides a host file; it is not a separator.
    while (!file.empty() && file.front() == '.') file.erase(file.begin());
    const std::size_t dot = file.find_last_of('.');
    std::string name = dot == std::string::npos ? file : file.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : file.substr(dot + 1);
    for (char& c : name) {
        if (c == '.') c = '_';
    }
    if (name.size() > 8) name.resize(8);
    if (ext.size() > 3) ext.resize(3);
    std::string listing = name;
    if (!ext.empty()) listing += '.' + ext;
    std::string n, e;
    SplitName(listing, n, e);
    if (namePart) *namePart = n;
    if (extPart) *extPart = e;
    return listing;
}

bool IsValidCpmName(std::string_view listing) {
    const std::size_t dot = listing.find('.');
    const std::string_view name = listing.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? std::string_view() : listing.substr(dot + 1);
    if (name.empty() || name.size() > 8 || ext.size() > 3) return false;
    if (dot != std::string_view::npos && ext.empty()) return false;
    for (std::string_view part : {name, ext}) {
        for (char c : part) {
            if (!AllowedInName(c)) return false;
        }
    }
    // Names that the directory reads as unused entries.
    std::string padded(listing);
    std::uint8_t probe[kEntrySize] = {};
    std::string n, e;
    SplitName(padded, n, e);
    std::memcpy(probe + 1, n.data(), 8);
    std::memcpy(probe + 9, e.data(), 3);
    return EntryName(probe) == listing;
}

int MarkFileErased(std::span<std::uint8_t> image, const std::string& name) {
    CpmGeometry g;
    if (!ReadGeometry(image, g)) return 0;
    int marked = 0;
    const std::uint64_t entries = EntryCount(image.size(), g);
    for (std::uint64_t i = 0; i < entries; ++i) {
        std::uint8_t* e = image.data() + EntryOffset(g, i);
        if (e[0] >= 16) continue;
        if (EntryName(std::span<const std::uint8_t>(e, kEntrySize)) != name) continue;
        e[0] = kErased;
        ++marked;
    }
    return marked;
}

ImportResult ImportFileEx(std::span<std::uint8_t> image, const std::string& hostPath,
                          std::span<const std::uint8_t> contents) {
    return ImportFileNamed(image, CpmNameFor(hostPath), contents);
}

ImportResult ImportFileNamed(std::span<std::uint8_t> image, const std::string& listing,
                             std::span<const std::uint8_t> contents) {
    CpmGeometry g;
    if (!ReadGeometry(image, g)) return ImportResult::NotCpmDisk;
    if (contents.empty()) return ImportResult::EmptyFile;
    const std::uint64_t n = contents.size();
    if (n > g.diskSize || n > FreeSpace(image)) return ImportResult::DiskFull;

    // A name that the directory would read as "no name" (an empty name part,
    // or one that looks like unused 0xE5 bytes) would hide the file and leak
    // its blocks; other characters CP/M forbids would make it unusable.
    if (!IsValidCpmName(listing)) return ImportResult::BadName;
    std::string namePart, extPart;
    SplitName(listing, namePart, extPart);

    const std::uint64_t entries = EntryCount(image.size(), g);
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint8_t* e = image.data() + EntryOffset(g, i);
        if (e[0] < 16 && Upper(EntryName(std::span<const std::uint8_t>(e, kEntrySize))) == Upper(listing)) {
            return ImportResult::Duplicate;
        }
    }

    // The file is written into a copy; only a complete file reaches the image.
    std::vector<std::uint8_t> work(image.begin(), image.end());
    const std::vector<bool> map = BuildAllocationMap(image, g);
    const std::uint64_t capacityPerEntry = std::min<std::uint64_t>(128, g.recordsPerBlock * SlotCount(g));
    std::int64_t cursor = -1;
    std::uint64_t extent = 0;
    std::uint64_t pos = 0;
    for (std::uint64_t i = 0; i < entries; ++i) {
        std::uint8_t* e = work.data() + EntryOffset(g, i);
        if (e[0] != kErased) continue;
        std::uint64_t capacity = capacityPerEntry;
        std::memset(e, 0, kEntrySize);
        std::memcpy(e + 1, namePart.data(), 8);
        std::memcpy(e + 9, extPart.data(), 3);
        // Extent number: low five bits in EX, the rest in S2 (CP/M 2.2).
        e[12] = static_cast<std::uint8_t>(extent & 0x1F);
        e[14] = static_cast<std::uint8_t>((extent >> 5) & 0x3F);
        unsigned slot = 0;
        while (capacity > 0 && pos < n && slot < SlotCount(g)) {
            std::uint64_t b = static_cast<std::uint64_t>(cursor + 1);
            while (b < g.blockCount && map[static_cast<std::size_t>(b)]) ++b;
            if (b >= g.blockCount) return ImportResult::DiskFull;
            const std::uint64_t start = g.directoryStart + b * g.blockSize;
            if (start + g.blockSize > work.size()) return ImportResult::DiskFull;
            cursor = static_cast<std::int64_t>(b);
            SetSlot(e, g, slot++, b);
            const std::uint64_t chunk = std::min({g.blockSize, n - pos, capacity * g.recordSize});
            std::memcpy(work.data() + start, contents.data() + pos, static_cast<std::size_t>(chunk));
            const std::uint64_t records = (chunk + g.recordSize - 1) / g.recordSize;
            e[15] = static_cast<std::uint8_t>(e[15] + records);
            capacity -= records;
            pos += chunk;
        }
        if (pos == n) {
            std::copy(work.begin(), work.end(), image.begin());
            return ImportResult::Ok;
        }
        ++extent;
    }
    return ImportResult::DiskFull;
}

bool ImportFile(std::span<std::uint8_t> image, const std::string& hostPath,
                std::span<const std::uint8_t> contents) {
    return ImportFileEx(image, hostPath, contents) == ImportResult::Ok;
}

}  // namespace velgard

namespace velgard {

std::vector<std::uint8_t> MakeBlankDiskImage() {
    constexpr std::size_t kSize = 819200;
    constexpr std::size_t kSystemArea = 2 * 5120;
    std::vector<std::uint8_t> image(kSize, 0xE5);
    std::fill(image.begin(), image.begin() + kSystemArea, 0);
    auto word = [&](std::size_t at, unsigned v) {
        image[at] = static_cast<std::uint8_t>(v & 0xFF);
        image[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    word(0x00, 0x0000);  // OS load address: no system on a data disk
    word(0x02, 0x0000);  // OS start address
    word(0x04, 0);       // sectors occupied by the OS
    image[0x06] = 0;     // 133 mm
    image[0x07] = 0;
    image[0x08] = 0;     // 96 tracks per inch
    image[0x09] = 0;     // no sector interleave
    image[0x0A] = 3;     // 1024-byte sectors
    image[0x0B] = 1;     // two sides
    word(0x0C, 5);       // sectors per track
    word(0x0E, 80);      // tracks per side
    word(0x10, 40);      // SPT: 128-byte records per track side
    image[0x12] = 4;     // BSH: 2 KB blocks
    image[0x13] = 15;    // BLM
    image[0x14] = 0;     // EXM: one 16 KB extent per entry
    word(0x15, 394);     // DSM: (819200 - 10240) / 2048 - 1
    word(0x17, 127);     // DRM: 128 directory entries
    image[0x19] = 0xC0;  // AL0: blocks 0 and 1 hold the directory
    image[0x1A] = 0x00;  // AL1
    word(0x1B, 32);      // CKS: (DRM + 1) / 4
    word(0x1D, 2);       // OFF: two system tracks
    unsigned sum = 0x66;
    for (std::size_t i = 0; i < 31; ++i) sum += image[i];
    image[0x1F] = static_cast<std::uint8_t>(sum & 0xFF);
    return image;
}

}  // namespace velgard
