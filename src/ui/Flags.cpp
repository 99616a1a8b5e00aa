#include "ui/Flags.h"

#include <ini.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "machine/RomImages.h"

namespace velgard::ui {

namespace fs = std::filesystem;

namespace {

// The program file, from /proc/self/exe; empty when it cannot be read.
const fs::path& ProgramFile() {
    static const fs::path file = [] {
        std::error_code ec;
        fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        return ec ? fs::path() : exe;
    }();
    return file;
}

// ---------------------------------------------------------------------------
// Reading

// A settings file larger than this is not ours: it is treated as damaged.
constexpr std::size_t kMaxFileSize = 1u << 20;

// The longest line handed to the INI parser. The parser reads lines into a
// fixed buffer (200 bytes as Debian builds it) and splits longer ones, and
// it cuts values at a " ;" (its inline comments). Our values are file paths
// that may be long or contain ';', so the reader below hands the parser
// each value as a short token ("\x01" + index) and keeps the text aside;
// the parser still decides what is a section, a key, a comment or an error.
constexpr std::size_t kMaxKeyLength = 100;
constexpr char kValueToken = '\x01';

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A name safe to hand to the parser: short, and free of the characters it
// gives a meaning in a key (separators, comment marks, our token).
std::string SafeName(std::string_view name) {
    std::string out(name.substr(0, kMaxKeyLength));
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '=' || c == ':' || c == ';' || c == '#') c = '_';
    }
    return out;
}

class tIniReader {
public:
    explicit tIniReader(std::string_view text) : text_(text) {
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);  // UTF-8 byte order mark
    }

    // The parser's line source (fgets-like).
    static char* Next(char* str, int num, void* stream) {
        return static_cast<tIniReader*>(stream)->NextLine(str, num);
    }

    // The original text of a value token, or nullopt for anything else.
    std::optional<std::string> Resolve(const char* value) const {
        if (value[0] != kValueToken) return std::nullopt;
        std::size_t index = 0;
        const char* end = value + std::strlen(value);
        const auto [ptr, ec] = std::from_chars(value + 1, end, index);
        if (ec != std::errc() || ptr != end || ptr == value + 1 || index >= values_.size()) return std::nullopt;
        return values_[index];
    }

private:
    char* NextLine(char* str, int num) {
        if (pos_ >= text_.size()) return nullptr;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Indentation does not matter in a profile file (the parser would
        // take an indented line for the continuation of the previous value).
        line = Trim(line);

        std::string out;
        if (line.empty()) {
            out = "";
        } else if (line.front() == ';' || line.front() == '#') {
            out = ";";
        } else if (line.front() == '[') {
            const std::size_t close = line.find(']');
            out = close == std::string_view::npos ? "[" : "[" + SafeName(Trim(line.substr(1, close - 1))) + "]";
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            values_.emplace_back(Trim(line.substr(eq + 1)));
            std::string name = SafeName(Trim(line.substr(0, eq)));
            if (name.empty()) name = "_";
            out = name + "=" + kValueToken + std::to_string(values_.size() - 1);
        } else {
            out = "!";  // neither a section, a key nor a comment: an error for the parser
        }
        out += '\n';
        const std::size_t room = num > 0 ? static_cast<std::size_t>(num) - 1 : 0;
        const std::size_t n = std::min(out.size(), room);
        std::memcpy(str, out.data(), n);
        str[n] = '\0';
        return str;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::vector<std::string> values_;
};

// The keys of a file, by lower-case section and key; the first occurrence
// of a key counts, as with the profile functions.
struct tIniData {
    tIniReader* Reader = nullptr;
    std::map<std::pair<std::string, std::string>, std::string> Values;
};

int OnIniValue(void* user, const char* section, const char* name, const char* value) {
    auto* data = static_cast<tIniData*>(user);
    auto text = data->Reader->Resolve(value);
    data->Values.emplace(std::make_pair(Lower(section), Lower(name)), text ? std::move(*text) : std::string());
    return 1;
}

// Strips one pair of enclosing quotes, as the profile functions do; Save
// adds them around values that would otherwise lose characters.
std::string Unquote(std::string s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

// A whole decimal number (with optional sign) or 0x-prefixed hexadecimal
// number in the 32-bit range; nullopt for anything else, which then reads
// as a missing key (its default).
std::optional<std::int64_t> ParseInteger(std::string_view s) {
    s = Trim(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    if (magnitude > 0xFFFFFFFFull || (negative && magnitude > 0x80000000ull)) return std::nullopt;
    return negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

class tIniValues {
public:
    explicit tIniValues(const tIniData& data) : data_(data) {}

    const std::string* Find(const char* section, const std::string& key) const {
        const auto it = data_.Values.find({Lower(section), Lower(key)});
        return it == data_.Values.end() ? nullptr : &it->second;
    }
    std::string String(const char* section, const std::string& key, const std::string& fallback) const {
        const std::string* v = Find(section, key);
        return v ? Unquote(*v) : fallback;
    }
    std::optional<std::int64_t> Integer(const char* section, const std::string& key) const {
        const std::string* v = Find(section, key);
        return v ? ParseInteger(*v) : std::nullopt;
    }
    // An integer key kept in a byte: its low 8 bits.
    std::uint8_t Byte(const char* section, const std::string& key, std::uint8_t fallback) const {
        const auto v = Integer(section, key);
        return v ? static_cast<std::uint8_t>(*v & 0xFF) : fallback;
    }
    bool Bool(const char* section, const std::string& key, bool fallback) const {
        return Byte(section, key, fallback ? 1 : 0) != 0;
    }

private:
    const tIniData& data_;
};

std::string DriveKey(const char* name, int drive) { return std::string(name) + "[" + std::to_string(drive) + "]"; }

bool ImageExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return fs::exists(path, ec) && !fs::is_directory(path, ec);
}

// Reads the whole file; false with the reason when it cannot.
bool ReadSettingsFile(const fs::path& file, std::string& text, std::string& reason) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        reason = "not a regular file";
        return false;
    }
    const auto size = fs::file_size(file, ec);
    if (ec) {
        reason = ec.message();
        return false;
    }
    if (size > kMaxFileSize) {
        reason = "too large (" + std::to_string(size) + " bytes)";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        reason = "read error";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Writing

// A value as it goes into the file: quoted when the reader would otherwise
// lose its outer blanks or quotes. nullopt when no line can hold it.
std::optional<std::string> FileValue(const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos || value.find('\0') != std::string::npos)
        return std::nullopt;
    const bool needsQuotes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                                ((value.front() == '"' || value.front() == '\'') &&
                                                 value.size() >= 2 && value.back() == value.front()));
    return needsQuotes ? "\"" + value + "\"" : value;
}

class tIniWriter {
public:
    void Key(const char* section, const std::string& key, const std::string& value) {
        if (section_ != section) {
            if (!text_.empty()) text_ += '\n';
            text_ += std::string("[") + section + "]\n";
            section_ = section;
        }
        text_ += key + "=" + value + "\n";
    }
    void Key(const char* section, const std::string& key, long value) { Key(section, key, std::to_string(value)); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
    std::string section_;
};

std::string Reason(const std::string& what, const fs::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

// Writes `text` over `file` through a temporary file in the same folder
// that is flushed to the disk and then renamed over it: the file is either
// the old one or the new one, never half written. (The classic profile
// writer deletes the old file first and then creates the new one; that
// loses every setting when the write fails half way, so we do not.)
bool WriteAtomically(const fs::path& requested, const std::string& text, std::string& reason) {
    fs::path file = requested;
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {  // replace the file the link names, keep the link
        const fs::path target = fs::canonical(file, ec);
        if (!ec) file = target;
    }
    fs::path folder = file.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            reason = "cannot create the folder " + folder.string() + ": " + ec.message();
            return false;
        }
    }

    mode_t mode = 0644;
    struct stat old {};
    if (::stat(file.c_str(), &old) == 0) mode = old.st_mode & 07777;

    std::string name = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        reason = Reason("cannot create a temporary file in", folder, errno);
        return false;
    }
    const fs::path temp = name;
    auto fail = [&](const std::string& what, int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        reason = Reason(what, temp, error);
        return false;
    };
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write", errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0) return fail("cannot set the permissions of", errno);
    if (::fsync(fd) != 0) return fail("cannot flush", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        reason = Reason("cannot close", temp, error);
        return false;
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        reason = Reason("cannot replace", file, error);
        return false;
    }
    // Make the rename itself durable; the file is already in place, so a
    // failure here is not reported.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

const std::string& ProgramFolder() {
    static const std::string folder = [] {
        fs::path dir = ProgramFile().parent_path();
        if (dir.empty()) {
            std::error_code ec;
            dir = fs::current_path(ec);
        }
        std::string s = dir.string();
        if (s.empty() || s.back() != '/') s += '/';
        return s;
    }();
    return folder;
}

fs::path DefaultSettingsPath() {
    fs::path name = ProgramFile().filename();
    if (name.empty()) name = "velgard";
    name.replace_extension(".ini");
    // The ROM dumps' roms/ folder sits beside the settings file.
    const fs::path roms = tRomImages::UserRomFolderFor(ProgramFolder(), std::getenv("XDG_CONFIG_HOME"),
                                                       std::getenv("HOME"));
    const fs::path folder = roms.empty() ? fs::path(ProgramFolder()) : roms.parent_path();
    return folder / name;
}

void tFlags::Load(const fs::path& file, const std::string& programFolder) {
    warnings_.clear();
    tIniData data;
    std::error_code ec;
    if (fs::exists(file, ec)) {
        std::string text, reason;
        bool damaged = false;
        if (!ReadSettingsFile(file, text, reason)) {
            damaged = true;
        } else if (text.find('\0') != std::string::npos) {
            reason = "binary data";
            damaged = true;
        } else {
            tIniReader reader(text);
            data.Reader = &reader;
            const int line = ini_parse_stream(&tIniReader::Next, &reader, &OnIniValue, &data);
            if (line != 0) {
                reason = line > 0 ? "damaged at line " + std::to_string(line) : "cannot be parsed";
                damaged = true;
            }
            data.Reader = nullptr;
        }
        if (damaged) {
            data.Values.clear();
            warnings_.push_back(file.string() + ": " + reason + "; the default settings are used");
        }
    }

    const tIniValues ini(data);
    OpenDiskFolder = ini.String("Settings", "OpenDiskFolder", programFolder);
    OpenFilesFolder = ini.String("Settings", "OpenFilesFolder", programFolder);
    for (int n = 0; n < kDrives; ++n) {
        const auto i = static_cast<std::size_t>(n);
        DiskImage[i] = ini.String("Floppy", DriveKey("DiskImage", n), "");
        if (!ImageExists(DiskImage[i])) DiskImage[i].clear();
        // The latch is only remembered for a disk that is still there.
        DriveClosed[i] = !DiskImage[i].empty() && ini.Bool("Floppy", DriveKey("DriveClosed", n), false);
    }
    KeyDownEx = ini.Bool("Keyboard", "KeyDownEx", false);
    ShowFullscreenKeyboard = ini.Bool("Keyboard", "ShowFullscreenKeyboard", false);
    Device = ini.Byte("Sound", "Device", 2);
    ROMIndex = ini.Byte("Computer", "ROMIndex", 1);
    if (ROMIndex > 2) ROMIndex = 1;
    GZUPagesCount = ini.Byte("Computer", "GZUPagesCount", 4);
    if (GZUPagesCount != 1 && GZUPagesCount != 4) GZUPagesCount = 4;
    CPUKind = ini.Byte("Computer", "CPUKind", 0);
    if (CPUKind > 1) CPUKind = 0;

    // The window's placement counts only when it is whole and sensible.
    Window = tWindowPlacement{};
    const auto x = ini.Integer("Window", "X");
    const auto y = ini.Integer("Window", "Y");
    const auto w = ini.Integer("Window", "Width");
    const auto h = ini.Integer("Window", "Height");
    constexpr std::int64_t kLimit = 32767;
    if (x && y && w && h && *x >= -kLimit && *x <= kLimit && *y >= -kLimit && *y <= kLimit && *w > 0 &&
        *w <= kLimit && *h > 0 && *h <= kLimit) {
        Window.Valid = true;
        Window.X = static_cast<int>(*x);
        Window.Y = static_cast<int>(*y);
        Window.Width = static_cast<int>(*w);
        Window.Height = static_cast<int>(*h);
        const auto full = ini.Integer("Window", "FullScreen");
        Window.FullScreen = full && *full != 0;
    }
}

bool tFlags::Save(const fs::path& file, std::string* error) const {
    tIniWriter ini;
    // A string that no line can hold (a line break in it) is left out: the
    // key then reads back as missing.
    auto putString = [&](const char* section, const std::string& key, const std::string& value) {
        const auto v = FileValue(value);
        if (v) ini.Key(section, key, *v);
        return v.has_value();
    };
    putString("Settings", "OpenDiskFolder", OpenDiskFolder);
    putString("Settings", "OpenFilesFolder", OpenFilesFolder);
    for (int n = 0; n < kDrives; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (DiskImage[i].empty()) continue;
        if (putString("Floppy", DriveKey("DiskImage", n), DiskImage[i]) && DriveClosed[i])
            ini.Key("Floppy", DriveKey("DriveClosed", n), 1);
    }
    ini.Key("Keyboard", "KeyDownEx", KeyDownEx ? 1 : 0);
    ini.Key("Keyboard", "ShowFullscreenKeyboard", ShowFullscreenKeyboard ? 1 : 0);
    if (Device <= 127) ini.Key("Sound", "Device", Device);
    ini.Key("Computer", "ROMIndex", ROMIndex);
    ini.Key("Computer", "GZUPagesCount", GZUPagesCount);
    ini.Key("Computer", "CPUKind", CPUKind);
    if (Window.Valid) {
        ini.Key("Window", "X", Window.X);
        ini.Key("Window", "Y", Window.Y);
        ini.Key("Window", "Width", Window.Width);
        ini.Key("Window", "Height", Window.Height);
        ini.Key("Window", "FullScreen", Window.FullScreen ? 1 : 0);
    }

    std::string reason;
    if (WriteAtomically(file, ini.Text(), reason)) return true;
    if (error) *error = reason;
    return false;
}

}  // namespace velgard::ui
