// velgard-cli disk: works on the CP/M files inside .kdi disk images.
//
// Exit status: 0 success; 2 for bad arguments and for input that cannot be
// used at all (unreadable file, not a .kdi image, not a CP/M disk); 1 when
// the operation itself fails (no such file, duplicate, disk full, a file
// that cannot be written). An image is only ever replaced as a whole, after
// the operation has succeeded, through a temporary file renamed over it.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "disk/AtomicFile.h"
#include "disk/CPM_Disk.h"
#include "disk/FDC_WD279X.h"

namespace velgard::cli {
namespace {

constexpr const char* kUsage =
    "disk new [--force] IMAGE | info IMAGE | ls IMAGE | get IMAGE NAME [HOSTFILE] | "
    "put IMAGE HOSTFILE... | rm IMAGE NAME | restore IMAGE NAME | wipe IMAGE";

int Error(const std::string& message) {
    std::cerr << "velgard-cli: " << message << '\n';
    return 1;
}

// Reads an image and checks that it is a Korvet disk image.
bool LoadKdi(const std::string& path, std::vector<std::uint8_t>& image, int& status) {
    std::string error;
    if (!ReadFile(path, image, error)) {
        status = Fail(error);
        return false;
    }
    if (image.size() < kMinImageFileSize || image.size() > kMaxImageFileSize ||
        !IsAcceptedDiskFormat(image)) {
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

// Finds a listed file by its name: the exact name first, else the only name
// equal to it without regard to case.
bool FindFile(const std::vector<std::uint8_t>& image, const std::string& wanted, CpmFileInfo& info) {
    const int count = CountFiles(image);
    int caseless = -1, caselessCount = 0;
    auto upper = [](std::string s) {
        for (char& c : s) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        return s;
    };
    for (int i = 0; i < count; ++i) {
        CpmFileInfo f;
        if (!GetFileInfo(image, i, f)) continue;
        if (f.name == wanted) {
            info = f;
            return true;
        }
        if (upper(f.name) == upper(wanted)) {
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
    bool force = false;
    std::string path;
    for (const auto& a : args) {
        if (a == "--force") {
            force = true;
        } else if (!a.empty() && a[0] == '-') {
            return Fail("disk new: unknown option '" + a + "'");
        } else if (path.empty()) {
            path = a;
        } else {
            return Fail("disk new: only one image may be given");
        }
    }
    if (path.empty()) return Fail("disk new: no image given");
    std::error_code ec;
    if (!force && std::filesystem::exists(path, ec)) {
        return Error(path + " already exists (use --force to replace it)");
    }
    return Store(path, MakeBlankDiskImage());
}

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return Fail("disk info: usage: disk info IMAGE");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadKdi(args[0], image, status)) return status;
    std::cout << DiskInfoText(image) << "\r\n";
    return 0;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 1) return Fail("disk ls: usage: disk ls IMAGE");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
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
    if (args.size() != 2 && args.size() != 3) return Fail("disk get: usage: disk get IMAGE NAME [HOSTFILE]");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
    CpmFileInfo info;
    if (!FindFile(image, args[1], info)) return Error(args[0] + ": no such file: " + args[1]);
    tFileArray contents;
    if (!velgard::ReadFile(image, info.name, info.erased, contents)) return Error("cannot read " + info.name);
    const std::string host = args.size() == 3 ? args[2] : info.name;
    std::string error;
    if (WriteFileAtomically(host, contents, &error) != AtomicWriteStatus::Ok) {
        return Error("cannot write " + host + ": " + error);
    }
    return 0;
}

int Put(const std::vector<std::string>& args) {
    if (args.size() < 2) return Fail("disk put: usage: disk put IMAGE HOSTFILE...");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
    // All files go in, or none: the image file is written once at the end.
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::vector<unsigned char> contents;
        std::string error;
        if (!ReadFile(args[i], contents, error)) return Fail(error + " (image left unchanged)");
        const std::string name = CpmNameFor(args[i]);
        switch (ImportFileEx(image, args[i], contents)) {
            case ImportResult::Ok: break;
            case ImportResult::NotCpmDisk: return Fail(args[0] + ": not a CP/M disk");
            case ImportResult::EmptyFile:
                return Error(args[i] + ": empty files cannot be stored (image left unchanged)");
            case ImportResult::BadName:
                return Error(args[i] + ": the name gives no usable CP/M name (image left unchanged)");
            case ImportResult::Duplicate:
                return Error(args[i] + ": " + name + " already exists on the disk (image left unchanged)");
            case ImportResult::DiskFull:
                return Error(args[i] + ": disk full (image left unchanged)");
        }
    }
    return Store(args[0], image);
}

int Remove(const std::vector<std::string>& args) {
    if (args.size() != 2) return Fail("disk rm: usage: disk rm IMAGE NAME");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
    CpmFileInfo info;
    if (!FindFile(image, args[1], info) || info.erased) return Error(args[0] + ": no such file: " + args[1]);
    if (!EraseFile(image, info.name, false)) return Error("cannot erase " + info.name);
    return Store(args[0], image);
}

int Restore(const std::vector<std::string>& args) {
    if (args.size() != 2) return Fail("disk restore: usage: disk restore IMAGE NAME");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
    CpmFileInfo info;
    if (!FindFile(image, args[1], info)) return Error(args[0] + ": no such file: " + args[1]);
    const std::vector<std::uint8_t> before = image;
    if (!RestoreFile(image, info.name, info.erased)) {
        return Error(args[0] + ": " + info.name + " cannot be restored: a live file has its name");
    }
    if (image == before) {
        return Error(args[0] + ": nothing of " + info.name + " could be restored (its blocks are in use)");
    }
    return Store(args[0], image);
}

int Wipe(const std::vector<std::string>& args) {
    if (args.size() != 1) return Fail("disk wipe: usage: disk wipe IMAGE");
    std::vector<std::uint8_t> image;
    int status = 0;
    if (!LoadCpm(args[0], image, status)) return status;
    ClearDisk(image);
    return Store(args[0], image);
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
    return Fail("disk: unknown subcommand '" + sub + "'");
}

const CommandRegistrar kRegistrar("disk", kUsage, RunDisk);

}  // namespace
}  // namespace velgard::cli
