// velgard-cli disk: works on the CP/M files inside .kdi disk images.
//
// Exit status: 0 success; 2 for bad arguments and for input that cannot be
// used at all (unreadable file, a folder, not a .kdi image, not a CP/M
// disk); 1 when the operation itself fails or is refused (no such file,
// duplicate, disk full, a file that would be replaced without --force, a
// file that cannot be written). An image is only ever replaced as a whole,
// after the operation has succeeded, through a temporary file renamed over
// it.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "disk/AtomicFile.h"
#include "disk/CPM_Disk.h"
#include "disk/FDC_WD279X.h"

namespace velgard::cli {
namespace {

constexpr const char* kUsage =
    "disk new [--force] IMAGE | info IMAGE | ls IMAGE | get [--force] IMAGE NAME [HOSTFILE] | "
    "put IMAGE HOSTFILE... [--as NAME] | rm [--wipe] IMAGE NAME | restore IMAGE NAME | wipe --force IMAGE";

constexpr const char* kHelp =
    "Works on the CP/M file system of .kdi disk images.\n"
    "\n"
    "  disk new [--force] IMAGE          create a blank 800 KB CP/M data disk (--force replaces a file)\n"
    "  disk info IMAGE                   describe the disk's parameter block\n"
    "  disk ls IMAGE                     list the files, erased ones included\n"
    "  disk get [--force] IMAGE NAME [HOSTFILE]\n"
    "                                    copy a file out (to NAME in the current folder by default;\n"
    "                                    --force replaces an existing host file)\n"
    "  disk put IMAGE HOSTFILE... [--as NAME]\n"
    "                                    copy host files in; each gets a valid CP/M 8.3 name (Cyrillic\n"
    "                                    transliterated, forbidden characters replaced by _, long names\n"
    "                                    cut), which is printed; --as chooses the name of a single file\n"
    "  disk rm [--wipe] IMAGE NAME       erase a file as CP/M's ERA does, so that 'disk restore' can\n"
    "                                    bring it back; --wipe overwrites its data and entries for good\n"
    "  disk restore IMAGE NAME           bring back an erased file as far as its blocks are still free\n"
    "  disk wipe --force IMAGE           erase every file and the whole directory\n"
    "\n"
    "Exit status: 0 done, 2 bad arguments or unusable input, 1 the operation failed or was refused.\n";

// The arguments of a subcommand: its flags, the value of --as, the rest.
struct Parsed {
    std::set<std::string> flags;
    std::string as;
    bool hasAs = false;
    std::vector<std::string> positional;
};

// Accepts the flags in `allowed` (and "--as NAME" when `allowAs`); "--"
// ends the options. False with the usage error printed.
bool ParseArgs(const std::string& sub, const std::vector<std::string>& args, const std::set<std::string>& allowed,
               bool allowAs, Parsed& p, int& status) {
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && allowAs && a == "--as") {
            if (i + 1 >= args.size()) {
                status = Fail("disk " + sub + ": --as needs a CP/M name, e.g. --as README.TXT");
                return false;
            }
            p.as = args[++i];
            p.hasAs = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            if (!allowed.count(a)) {
                status = Fail("disk " + sub + ": unknown option '" + a + "' (see 'velgard-cli disk --help')");
                return false;
            }
            p.flags.insert(a);
        } else {
            p.positional.push_back(a);
        }
    }
    return true;
}

// Reads an image and checks that it is a Korvet disk image.
bool LoadKdi(const std::string& path, std::vector<std::uint8_t>& image, int& status) {
    std::string error;
    std::error_code ec;
    // Looked at before reading, so that a huge file is not read in whole.
    if (CheckInputFile(path, error) && std::filesystem::file_size(path, ec) > kMaxImageFileSize && !ec) {
        status = Fail(path + ": not a Korvet disk image (.kdi): larger than any disk");
        return false;
    }
    if (!ReadFile(path, image, error)) {
        status = Fail(error);
        return false;
    }
    if (image.size() < kMinImageFileSize || image.size() > kMaxImageFileSize || !IsAcceptedDiskFormat(image)) {
        status = Fail(path + ": not a Korvet disk image (.kdi)");
        return false;
    }
    return true;
}

bool LoadCpm(const std::string& path, std::vector<std::uint8_t>& image, int& status) {
    if (!LoadKdi(path, image, status)) return false;
    if (!IsCpmImage(image)) {
        status = Fail(path + ": not a CP/M disk");
        return false;
    }
    return true;
}

int Store(const std::string& path, const std::vector<std::uint8_t>& image) {
    std::string error;
    if (WriteFileAtomically(path, image, &error) != AtomicWriteStatus::Ok) {
        return Error("cannot write " + path + " (left unchanged): " + error);
    }
    return 0;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// Finds a listed file by its name: the exact name first, else the only name
// equal to it without regard to case.
bool FindFile(const std::vector<std::uint8_t>& image, const std::string& wanted, CpmFileInfo& info) {
    const int count = CountFiles(image);
    int caseless = -1, caselessCount = 0;
    for (int i = 0; i < count; ++i) {
        CpmFileInfo f;
        if (!GetFileInfo(image, i, f)) continue;
        if (f.name == wanted) {
            info = f;
            return true;
        }
        if (Upper(f.name) == Upper(wanted)) {
            caseless = i;
            ++caselessCount;
        }
    }
    if (caselessCount == 1) return GetFileInfo(image, caseless, info);
    return false;
}

std::string Attributes(const CpmFileInfo& f) {
    std::string a;
    a += f.readOnly ? 'R' : '-';
    a += f.system ? 'S' : '-';
    a += f.archive ? 'A' : '-';
    return a;
}

int New(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("new", args, {"--force"}, false, p, status)) return status;
    if (p.positional.size() != 1) return Fail("disk new: usage: disk new [--force] IMAGE");
    const std::string& path = p.positional[0];
    std::string error;
    if (!CheckOutputFile(path, error)) return Fail("disk new: " + error);
    std::error_code ec;
    if (!p.flags.count("--force") && std::filesystem::exists(path, ec)) {
        return Error(path + " already exists (use --force to replace it)");
    }
    return Store(path, MakeBlankDiskImage());
}

std::string Hex(unsigned v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*X", digits, v);
    return b;
}

// The parameter block in English: the figures of the machine's own disk
// information window.
std::string InfoText(const std::vector<std::uint8_t>& d) {
    auto word = [&](std::size_t at) { return static_cast<unsigned>(d[at] | (d[at + 1] << 8)); };
    const unsigned sizeCode = d[10], sidesCode = d[11], blockShift = d[18], blockMask = d[19];
    const unsigned long long sectorsPerTrack = word(12), tracksPerSide = word(14), recordsPerTrack = word(16);
    const unsigned long long blocks = word(21) + 1ULL, entries = word(23) + 1ULL;
    std::string t;
    auto line = [&](const std::string& s) { t += s + '\n'; };
    line("OS load address:      " + Hex(word(0), 4) + "h");
    line("OS start address:     " + Hex(word(2), 4) + "h");
    line("OS tracks:            " + std::to_string(word(29)));
    line("OS sectors:           " + std::to_string(word(4)));
    line("Diameter code:        " + std::to_string(d[6]) + (d[6] == 0 ? " (133 mm)" : ""));
    line("Sides:                " + std::to_string(sidesCode + 1));
    line("Tracks per inch code: " + std::to_string(d[8]) + (d[8] == 0 ? " (96)" : d[8] == 1 ? " (48)" : ""));
    line("Tracks per side:      " + std::to_string(tracksPerSide));
    line("Sectors per track:    " + std::to_string(sectorsPerTrack));
    line("Interleave:           " + std::string(d[9] == 0 ? "no" : "yes"));
    if (sizeCode > 16 || blockShift > 32 || recordsPerTrack == 0) {
        line("The parameter block describes no disk that can be measured (unknown format).");
        return t;
    }
    const unsigned long long S = 128ULL << sizeCode, T = sectorsPerTrack * S, B = (blockMask + 1ULL) * 128ULL;
    line("Sector size:          " + std::to_string(S) + " bytes");
    line("Track size:           " + std::to_string(T) + " bytes");
    line("Disk size:            " + std::to_string(T * (sidesCode + 1ULL) * tracksPerSide) + " bytes");
    line("Records per track:    " + std::to_string(recordsPerTrack) + " (" + std::to_string(T / recordsPerTrack) +
         " bytes each)");
    line("Block size:           " + std::to_string(B) + " bytes (BSH " + std::to_string(blockShift) + ", BLM " +
         Hex(blockMask, 2) + "h, EXM " + Hex(d[20], 2) + "h)");
    line("Blocks:               " + std::to_string(blocks) + " (" + std::to_string(blocks * B) + " bytes)");
    line("Directory entries:    " + std::to_string(entries) + " (check size " + std::to_string(word(27)) +
         ", AL0/AL1 " + Hex(d[25], 2) + "h " + Hex(d[26], 2) + "h)");
    line("Header checksum:      " + Hex(d[31], 2) + "h (computed " + Hex(DiskHeaderChecksum(d), 2) + "h)");
    if (IsCpmImage(d)) {
        line("Files:                " + std::to_string(CountFiles(d)) + ", " + std::to_string(FreeSpace(d)) +
             " bytes free");
    }
    return t;
}

int Info(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("info", args, {}, false, p, status)) return status;
    if (p.positional.size() != 1) return Fail("disk info: usage: disk info IMAGE");
    std::vector<std::uint8_t> image;
    if (!LoadKdi(p.positional[0], image, status)) return status;
    std::cout << InfoText(image);
    return 0;
}

int List(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("ls", args, {}, false, p, status)) return status;
    if (p.positional.size() != 1) return Fail("disk ls: usage: disk ls IMAGE");
    std::vector<std::uint8_t> image;
    if (!LoadCpm(p.positional[0], image, status)) return status;
    const int count = CountFiles(image);
    std::printf("%-12s %8s %-4s %4s %s\n", "NAME", "SIZE", "ATTR", "USER", "ERASED");
    for (int i = 0; i < count; ++i) {
        CpmFileInfo f;
        if (!GetFileInfo(image, i, f)) continue;
        std::printf("%-12s %8llu %-4s %4u %s\n", f.name.c_str(), static_cast<unsigned long long>(f.size),
                    Attributes(f).c_str(), f.user, f.erased ? "yes" : "no");
    }
    std::printf("%d file(s), %llu bytes free\n", count, static_cast<unsigned long long>(FreeSpace(image)));
    return 0;
}

int Get(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("get", args, {"--force"}, false, p, status)) return status;
    if (p.positional.size() != 2 && p.positional.size() != 3)
        return Fail("disk get: usage: disk get [--force] IMAGE NAME [HOSTFILE]");
    const std::string& path = p.positional[0];
    std::vector<std::uint8_t> image;
    if (!LoadCpm(path, image, status)) return status;
    CpmFileInfo info;
    if (!FindFile(image, p.positional[1], info)) return Error(path + ": no such file: " + p.positional[1]);
    const std::string host = p.positional.size() == 3 ? p.positional[2] : info.name;
    std::string error;
    if (!CheckOutputFile(host, error)) return Fail("disk get: " + error);
    std::error_code ec;
    if (!p.flags.count("--force") && std::filesystem::exists(host, ec))
        return Error(host + " already exists (use --force to replace it)");
    tFileArray contents;
    if (!velgard::ReadFile(image, info.name, info.erased, contents)) return Error("cannot read " + info.name);
    if (WriteFileAtomically(host, contents, &error) != AtomicWriteStatus::Ok)
        return Error("cannot write " + host + " (left unchanged): " + error);
    return 0;
}

int Put(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("put", args, {}, true, p, status)) return status;
    if (p.positional.size() < 2) return Fail("disk put: usage: disk put IMAGE HOSTFILE... [--as NAME]");
    std::string chosen;
    if (p.hasAs) {
        if (p.positional.size() != 2) return Fail("disk put: --as names one file; give a single HOSTFILE");
        chosen = Upper(p.as);
        if (!IsValidCpmName(chosen)) {
            return Fail("disk put: --as " + p.as +
                        ": not a CP/M name (1-8 characters, optionally a dot and 1-3 more; no blanks and "
                        "none of < > . , ; : = ? * [ ] % | ( ) / \\ \")");
        }
    }
    const std::string& path = p.positional[0];
    std::vector<std::uint8_t> image;
    if (!LoadCpm(path, image, status)) return status;
    // All files go in, or none: the image file is written once at the end.
    std::vector<std::string> report;
    for (std::size_t i = 1; i < p.positional.size(); ++i) {
        const std::string& host = p.positional[i];
        std::vector<unsigned char> contents;
        std::string error;
        if (!ReadFile(host, contents, error)) return Fail("disk put: " + error + " (image left unchanged)");
        const std::string name = p.hasAs ? chosen : CpmNameFor(host);
        switch (ImportFileNamed(image, name, contents)) {
            case ImportResult::Ok: break;
            case ImportResult::NotCpmDisk: return Fail(path + ": not a CP/M disk");
            case ImportResult::EmptyFile:
                return Error(host + ": empty files cannot be stored (image left unchanged)");
            case ImportResult::BadName:
                return Error(host + ": the name leaves nothing CP/M can use; choose one with --as NAME "
                                    "(image left unchanged)");
            case ImportResult::Duplicate:
                return Error(host + ": " + name + " already exists on the disk; choose another name with --as NAME " +
                             "(image left unchanged)");
            case ImportResult::DiskFull: return Error(host + ": disk full (image left unchanged)");
        }
        report.push_back(host + " -> " + name);
    }
    if (int s = Store(path, image)) return s;
    for (const auto& line : report) std::cout << line << '\n';
    return 0;
}

int Remove(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("rm", args, {"--wipe"}, false, p, status)) return status;
    if (p.positional.size() != 2) return Fail("disk rm: usage: disk rm [--wipe] IMAGE NAME");
    const std::string& path = p.positional[0];
    std::vector<std::uint8_t> image;
    if (!LoadCpm(path, image, status)) return status;
    // Only live files are looked at: an erased file of the same name stays.
    std::string name;
    int matches = 0;
    for (const std::string& n : ListFiles(image)) {
        if (n == p.positional[1]) {
            name = n;
            matches = 1;
            break;
        }
        if (Upper(n) == Upper(p.positional[1])) {
            name = n;
            ++matches;
        }
    }
    if (matches != 1) return Error(path + ": no such file: " + p.positional[1]);
    if (p.flags.count("--wipe")) {
        if (!EraseFile(image, name, false)) return Error("cannot erase " + name);
    } else if (MarkFileErased(image, name) == 0) {
        return Error(path + ": no such file: " + p.positional[1]);
    }
    return Store(path, image);
}

int Restore(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("restore", args, {}, false, p, status)) return status;
    if (p.positional.size() != 2) return Fail("disk restore: usage: disk restore IMAGE NAME");
    const std::string& path = p.positional[0];
    std::vector<std::uint8_t> image;
    if (!LoadCpm(path, image, status)) return status;
    CpmFileInfo info;
    if (!FindFile(image, p.positional[1], info)) return Error(path + ": no such file: " + p.positional[1]);
    const std::vector<std::uint8_t> before = image;
    if (!RestoreFile(image, info.name, info.erased)) {
        return Error(path + ": " + info.name + " cannot be restored: a live file has its name");
    }
    if (image == before) {
        return Error(path + ": nothing of " + info.name + " could be restored (its blocks are in use)");
    }
    return Store(path, image);
}

int Wipe(const std::vector<std::string>& args) {
    Parsed p;
    int status = 0;
    if (!ParseArgs("wipe", args, {"--force"}, false, p, status)) return status;
    if (p.positional.size() != 1) return Fail("disk wipe: usage: disk wipe --force IMAGE");
    const std::string& path = p.positional[0];
    std::vector<std::uint8_t> image;
    if (!LoadCpm(path, image, status)) return status;
    if (!p.flags.count("--force"))
        return Error("disk wipe destroys every file on " + path + " for good: give --force to do it");
    ClearDisk(image);
    return Store(path, image);
}

int RunDisk(const std::vector<std::string>& args) {
    if (args.empty()) return Fail(std::string("disk: no subcommand given (") + kUsage + ")");
    const std::string& sub = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (sub == "new") return New(rest);
    if (sub == "info") return Info(rest);
    if (sub == "ls") return List(rest);
    if (sub == "get") return Get(rest);
    if (sub == "put") return Put(rest);
    if (sub == "rm") return Remove(rest);
    if (sub == "restore") return Restore(rest);
    if (sub == "wipe") return Wipe(rest);
    return Fail("disk: unknown subcommand '" + sub + "' (see 'velgard-cli disk --help')");
}

const CommandRegistrar kRegistrar("disk", kUsage, kHelp, RunDisk);

}  // namespace
}  // namespace velgard::cli
