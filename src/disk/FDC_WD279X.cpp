#include "disk/FDC_WD279X.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "disk/AtomicFile.h"

namespace velgard {

namespace {

std::uint16_t Word(std::span<const std::uint8_t> d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

std::string Hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

// Trims blanks and upper-cases Latin and Cyrillic letters (file names are
// UTF-8), so that "диск.kdi" and "ДИСК.KDI" name the same file here.
std::string TrimUpper(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    std::string r = s.substr(b, e - b);
    for (std::size_t i = 0; i < r.size(); ++i) {
        const auto c = static_cast<unsigned char>(r[i]);
        if (c < 0x80) {
            r[i] = static_cast<char>(std::toupper(c));
            continue;
        }
        if (i + 1 >= r.size()) break;
        const auto n = static_cast<unsigned char>(r[i + 1]);
        if (c == 0xD0 && n >= 0xB0 && n <= 0xBF) {         // а-п -> А-П
            r[i + 1] = static_cast<char>(n - 0x20);
        } else if (c == 0xD1 && n >= 0x80 && n <= 0x8F) {  // р-я -> Р-Я
            r[i] = static_cast<char>(0xD0);
            r[i + 1] = static_cast<char>(n + 0x20);
        } else if (c == 0xD1 && n >= 0x90 && n <= 0x9F) {  // ѐ-џ (ё) -> Ѐ-Џ (Ё)
            r[i] = static_cast<char>(0xD0);
            r[i + 1] = static_cast<char>(n - 0x10);
        }
        if (c >= 0xC0 && (n & 0xC0) == 0x80) ++i;  // skip the lead byte's first continuation byte
    }
    return r;
}

const char* const kEmptyDiskText = "Диск отсутствует или имеет неизвестный формат!";
const char* const kUnknownFormatText = "Неизвестный формат!";
const char* const kRefusedFormatText = "Формат данного образа диска пока неподдерживается!";

}  // namespace

bool IsAcceptedDiskFormat(std::span<const std::uint8_t> d) {
    if (d.size() < kDiskHeaderSize) return false;
    return d[6] == 0 && d[10] == 3 && d[11] == 1 && Word(d, 12) == 5 && Word(d, 14) >= 80;
}

std::uint8_t DiskHeaderChecksum(std::span<const std::uint8_t> d) {
    unsigned sum = 0x66;
    for (std::size_t i = 0; i < 31 && i < d.size(); ++i) sum += d[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string DiskInfoText(std::span<const std::uint8_t> d) {
    if (d.size() < kDiskHeaderSize) return kEmptyDiskText;
    const unsigned loadAddress = Word(d, 0), startAddress = Word(d, 2), osSectors = Word(d, 4);
    const unsigned diameter = d[6], unknown = d[7], density = d[8], interleave = d[9];
    const unsigned sizeCode = d[10], sidesCode = d[11];
    const unsigned long long sectorsPerTrack = Word(d, 12), tracksPerSide = Word(d, 14);
    const unsigned long long recordsPerTrack = Word(d, 16);
    const unsigned blockShift = d[18], blockMask = d[19], extentMask = d[20];
    const unsigned long long blocks = Word(d, 21) + 1ULL, entries = Word(d, 23) + 1ULL;
    const unsigned directoryBlocks = Word(d, 25), checkSize = Word(d, 27), osTracks = Word(d, 29);
    const unsigned checksum = d[31];

    // Shift codes beyond these cannot describe a real disk and would
    // overflow the arithmetic: the figures cannot be computed.
    if (sizeCode > 16 || blockShift > 32 || recordsPerTrack == 0) return kUnknownFormatText;
    const unsigned long long S = 128ULL << sizeCode;
    const unsigned long long T = sectorsPerTrack * S;
    const unsigned long long B = (blockMask + 1ULL) * 128ULL;
    const unsigned long long D = T * (sidesCode + 1ULL) * tracksPerSide;
    const long long U = static_cast<long long>(sectorsPerTrack * tracksPerSide) - osSectors;

    const std::string sep(33, '-');
    std::vector<std::string> l;
    l.push_back("Адрес загрузки ОС: " + Hex(loadAddress, 4) + "h");
    l.push_back("Адрес запуска ОС: " + Hex(startAddress, 4) + "h");
    l.push_back("Занятых ОС дорожек: " + std::to_string(osTracks));
    l.push_back("Занятых ОС секторов: " + std::to_string(osSectors));
    l.push_back(sep);
    l.push_back("Диаметр диска: #" + std::to_string(diameter) + (diameter == 0 ? " (133мм)" : ""));
    l.push_back("Сторон у диска: #" + std::to_string(sidesCode) +
                (sidesCode == 0 ? " (1)" : sidesCode == 1 ? " (2)" : ""));
    l.push_back("Размер диска = " + std::to_string(D) + " байт");
    l.push_back(sep);
    l.push_back("Дорожек на дюйм: #" + std::to_string(density) +
                (density == 0 ? " (96)" : density == 1 ? " (48)" : ""));
    l.push_back("Дорожек на стороне: " + std::to_string(tracksPerSide));
    l.push_back("Размер дорожки = " + std::to_string(T) + " байт");
    l.push_back(sep);
    l.push_back("Секторов на дорожке: " + std::to_string(sectorsPerTrack));
    l.push_back("Размер сектора: #" + std::to_string(sizeCode) + " (" + std::to_string(S) + " байт)");
    l.push_back("Полезных секторов = " + std::to_string(U));
    l.push_back("Полезные размеры = " + std::to_string(U * static_cast<long long>(S)) + " байт");
    l.push_back("Перестановка секторов: #" + std::to_string(interleave) +
                (interleave == 0 ? " (нет)" : interleave == 1 ? " (есть)" : ""));
    l.push_back(sep);
    l.push_back("Блоков на диске: " + std::to_string(blocks));
    l.push_back("Блоков на дорожке: " + std::to_string(T / B));
    l.push_back("Размер блока = " + std::to_string(B) + " байт");
    l.push_back("Размер всех блоков = " + std::to_string(blocks * B) + " байт");
    l.push_back("Смещение блоков: #" + std::to_string(blockShift) + " (" +
                std::to_string(128ULL << blockShift) + " байт)");
    l.push_back("Маска положения блока: " + Hex(blockMask, 2) + "h");
    l.push_back("Маска размера блока: " + Hex(extentMask, 2) + "h");
    l.push_back(sep);
    l.push_back("Записей на дорожке: " + std::to_string(recordsPerTrack));
    l.push_back("Размер записи = " + std::to_string(T / recordsPerTrack) + " байт");
    l.push_back(sep);
    l.push_back("Элементов оглавления: " + std::to_string(entries));
    l.push_back("Контрольное значение: " + std::to_string(checkSize) + " (=" +
                std::to_string(entries / 4) + ")");
    l.push_back("Размер оглавления = " + std::to_string(entries * 32) + " байт");
    l.push_back("Блоков на оглавление: " + std::to_string(directoryBlocks));
    l.push_back("Контрольная сумма: " + Hex(checksum, 2) + "h" + " (=" +
                Hex(DiskHeaderChecksum(d), 2) + "h)");
    l.push_back("Неизвестно: " + std::to_string(unknown));

    std::string text;
    for (std::size_t i = 0; i < l.size(); ++i) {
        if (i) text += "\r\n";
        text += l[i];
    }
    return text;
}

// ---------------------------------------------------------------------------
// Controller

tFCD_WD279X::tFCD_WD279X(tHost& host) : host_(host) {}

tFCD_WD279X::~tFCD_WD279X() {
    for (int d = 0; d < kDriveCount; ++d) {
        SaveIfChanged(d, true);
        drives_[static_cast<std::size_t>(d)] = tDrive{};
    }
}

bool tFCD_WD279X::IsReady(int drive) const {
    if (!ValidDrive(drive)) return false;
    const tDrive& d = drives_[static_cast<std::size_t>(drive)];
    return !d.image.empty() && d.latchClosed;
}

std::uint8_t tFCD_WD279X::ReadStatus() {
    const std::uint8_t value = status_;
    if (commandType_ == 1) status_ &= static_cast<std::uint8_t>(~kStatusBusy);
    return value;
}

bool tFCD_WD279X::TakeInterruptRequest() {
    const bool request = interruptRequest_ != 0;
    interruptRequest_ = 0;
    return request;
}

void tFCD_WD279X::WriteDriveControl(std::uint8_t value) {
    driveControl_ = value;
    if (value & 0x01) {
        drive_ = 0;
    } else if (value & 0x02) {
        drive_ = 1;
    } else if (value & 0x04) {
        drive_ = 2;
    } else if (value & 0x08) {
        drive_ = 3;
    }
    commandType_ = 0;
    transfer_ = 0;
    if (!IsReady(drive_)) {
        status_ = kStatusNotReady;
        return;
    }
    side_ = (value >> 4) & 1;
    if (value & 0x40) {
        status_ = kStatusNotReady;
    } else {
        status_ = 0x26;
        EvaluateReadyConditions(drive_);
    }
}

void tFCD_WD279X::WriteTrack(std::uint8_t value) {
    if (status_ & (kStatusBusy | kStatusNotReady)) return;
    if (value < kFdcTracks) {
        direction_ = value < track_ ? -1 : 1;
        track_ = value;
        status_ = 0x26;
    } else {
        status_ = kStatusSeekError;
    }
}

void tFCD_WD279X::WriteSector(std::uint8_t value) {
    if (status_ & (kStatusBusy | kStatusNotReady)) return;
    if (value >= 1 && value <= kFdcSectorsPerTrack) {
        sector_ = value;
        status_ = track_ == 0 ? 0x26 : 0x22;
    } else {
        status_ = kStatusSeekError;
    }
}

void tFCD_WD279X::SetPositionStatus() { status_ = track_ == 0 ? 0x27 : 0x23; }

void tFCD_WD279X::WriteCommand(std::uint8_t c) {
    if (status_ & (kStatusBusy | kStatusNotReady)) return;
    command_ = c;
    commandType_ = 0;
    if (c < 0x10) {  // Restore
        commandType_ = 1;
        direction_ = -1;
        track_ = 0;
        status_ = 0x27;
    } else if (c < 0x20) {  // Seek to the track in the data register
        commandType_ = 1;
        if (data_ > kFdcTracks - 1) {
            status_ = kStatusSeekError;
        } else {
            direction_ = data_ < track_ ? -1 : 1;
            track_ = data_;
            SetPositionStatus();
        }
    } else if (c < 0x40) {  // Step in the last direction
        commandType_ = 1;
        if ((track_ == 0 && direction_ < 0) || (track_ >= kFdcTracks - 1 && direction_ > 0)) {
            status_ = kStatusSeekError;
        } else {
            track_ = static_cast<std::uint8_t>(track_ + direction_);
            SetPositionStatus();
        }
    } else if (c < 0x60) {  // Step In
        commandType_ = 1;
        if (track_ >= kFdcTracks - 1) {
            status_ = kStatusSeekError;
        } else {
            ++track_;
            direction_ = 1;
            SetPositionStatus();
        }
    } else if (c < 0x80) {  // Step Out
        commandType_ = 1;
        if (track_ == 0) {
            status_ = kStatusSeekError;
        } else {
            --track_;
            direction_ = -1;
            SetPositionStatus();
        }
    } else if (c < 0xC0) {  // Read Sector / Write Sector
        sectorsLeft_ = (c & 0x10) ? static_cast<std::uint8_t>(6 - sector_) : 1;
        bytesLeft_ = kFdcSectorSize;
        status_ = kStatusDrq | kStatusBusy;
        commandType_ = 2;
        if (c < 0xA0) {
            transfer_ = 1;
        } else {
            transfer_ = 2;
            drives_[static_cast<std::size_t>(drive_)].changed = true;
        }
    } else if (c < 0xD0) {  // Read Address: not carried out
        status_ = kStatusLostData;
    } else if (c < 0xE0) {  // Force Interrupt
        commandType_ = 4;
        interruptConditions_ = c & 0x0F;
        if (interruptConditions_ & 0x08) {
            interruptRequest_ = 1;
            interruptConditions_ &= 0x07;
        }
    } else {  // Read Track / Write Track: not carried out
        status_ = kStatusLostData;
    }
}

void tFCD_WD279X::AdvanceTransfer() {
    if (sectorsLeft_ == 1 && bytesLeft_ == 1) status_ = 0x00;
    if (bytesLeft_ == 0) {
        if (sectorsLeft_ > 0) --sectorsLeft_;
        bytesLeft_ = kFdcSectorSize;
        if (sector_ < kFdcSectorsPerTrack) ++sector_;
    }
}

long tFCD_WD279X::TransferOffset() const {
    const std::vector<std::uint8_t>& image = drives_[static_cast<std::size_t>(drive_)].image;
    const long long offset = (static_cast<long long>(track_) * 2 + side_) * static_cast<long long>(kFdcTrackSideSize) +
                             static_cast<long long>(sector_) * static_cast<long long>(kFdcSectorSize) -
                             static_cast<long long>(bytesLeft_);
    if (offset < 0 || offset >= static_cast<long long>(image.size())) return -1;
    return static_cast<long>(offset);
}

std::uint8_t tFCD_WD279X::ReadData() {
    if ((status_ & kStatusNotReady) || transfer_ == 0) return 0;
    if (transfer_ == 2) return data_;
    AdvanceTransfer();
    if (sectorsLeft_ == 0) return 0;
    const long offset = TransferOffset();
    --bytesLeft_;
    if (offset < 0) return 0;
    return drives_[static_cast<std::size_t>(drive_)].image[static_cast<std::size_t>(offset)];
}

void tFCD_WD279X::WriteData(std::uint8_t value) {
    if (status_ & kStatusNotReady) return;
    if (transfer_ != 2) {
        data_ = value;
        return;
    }
    AdvanceTransfer();
    if (sectorsLeft_ == 0) return;
    const long offset = TransferOffset();
    --bytesLeft_;
    if (offset < 0) return;
    drives_[static_cast<std::size_t>(drive_)].image[static_cast<std::size_t>(offset)] = value;
}

bool tFCD_WD279X::ReadPort(std::uint8_t offset, std::uint8_t& value) {
    switch (offset) {
        case kFdcPortCommand: value = ReadStatus(); return true;
        case kFdcPortTrack: value = ReadTrack(); return true;
        case kFdcPortSector: value = ReadSector(); return true;
        case kFdcPortData: value = ReadData(); return true;
        case kFdcPortDriveControl: value = ReadDriveControl(); return true;
        default: value = 0; return false;
    }
}

bool tFCD_WD279X::WritePort(std::uint8_t offset, std::uint8_t value) {
    switch (offset) {
        case kFdcPortCommand: WriteCommand(value); return true;
        case kFdcPortTrack: WriteTrack(value); return true;
        case kFdcPortSector: WriteSector(value); return true;
        case kFdcPortData: WriteData(value); return true;
        case kFdcPortDriveControl: WriteDriveControl(value); return true;
        default: return false;
    }
}

void tFCD_WD279X::EvaluateReadyConditions(int drive) {
    const bool ready = IsReady(drive);
    if ((interruptConditions_ & 0x01) && ready) {
        interruptRequest_ = 1;
        interruptConditions_ &= static_cast<std::uint8_t>(~0x01);
    }
    if ((interruptConditions_ & 0x02) && !ready) {
        interruptRequest_ = 1;
        interruptConditions_ &= static_cast<std::uint8_t>(~0x02);
    }
}

// ---------------------------------------------------------------------------
// Drives

std::string tFCD_WD279X::DriveLetter(int drive) {
    if (!ValidDrive(drive)) return "?";
    return std::string(1, static_cast<char>('A' + drive));
}

void tFCD_WD279X::EmptyDrive(int drive) {
    tDrive& d = drives_[static_cast<std::size_t>(drive)];
    d.image.clear();
    d.image.shrink_to_fit();
    d.latchClosed = false;
    d.fileName.clear();
    d.changed = false;
}

bool tFCD_WD279X::SaveIfChanged(int drive, bool ask) {
    if (!ValidDrive(drive)) return true;
    tDrive& d = drives_[static_cast<std::size_t>(drive)];
    if (d.image.empty() || !d.changed || d.fileName.empty()) return true;
    const std::string letter = DriveLetter(drive);
    if (ask && !host_.AskYesNo("Сохранить произведенные на диске " + letter + " изменения в файл \"" +
                               d.fileName + "\"?",
                               "Сохранение изменений")) {
        return true;
    }
    // The new contents go to a temporary file that replaces the old one only
    // once it is complete: a failure leaves the old file as it was.
    if (WriteFileAtomically(d.fileName, d.image) != AtomicWriteStatus::Ok) {
        host_.ShowMessage("Не получается сохранить изменения на диске " + letter +
                              " в файл! Возможно, файл образа диска занят другим приложением!",
                          MessageKind::Warning);
        return false;
    }
    d.changed = false;
    return true;
}

bool tFCD_WD279X::LoadImage(int drive, const std::string& path) {
    if (!ValidDrive(drive)) return false;
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    bool ok = false;
    if (size >= static_cast<std::streamoff>(kMinImageFileSize) &&
        size <= static_cast<std::streamoff>(kMaxImageFileSize) && SaveIfChanged(drive, true)) {
        tDrive& d = drives_[static_cast<std::size_t>(drive)];
        d.image.assign(static_cast<std::size_t>(size), 0);
        in.read(reinterpret_cast<char*>(d.image.data()), size);
        if (in.gcount() != size) {
            EmptyDrive(drive);
        } else if (IsAcceptedDiskFormat(d.image)) {
            d.latchClosed = true;
            d.fileName = path;
            d.changed = false;
            ok = true;
        } else {
            EmptyDrive(drive);
            host_.ShowMessage(kRefusedFormatText, MessageKind::Warning);
        }
    }
    EvaluateReadyConditions(drive);
    return ok;
}

bool tFCD_WD279X::SaveImage(int drive, const std::string& path, bool overwrite) {
    if (!ValidDrive(drive) || path.empty()) return false;
    tDrive& d = drives_[static_cast<std::size_t>(drive)];
    if (d.image.empty()) return false;
    std::error_code ec;
    const bool existed = std::filesystem::exists(path, ec);
    if (!overwrite) {
        const std::string wanted = TrimUpper(path);
        for (int other = 0; other < kDriveCount; ++other) {
            if (other == drive) continue;
            const std::string& name = drives_[static_cast<std::size_t>(other)].fileName;
            if (!name.empty() && TrimUpper(name) == wanted) {
                host_.ShowMessage("Данный файл используется в дисководе " + DriveLetter(other) + "!",
                                  MessageKind::Warning);
                return false;
            }
        }
        if (existed &&
            !host_.AskYesNo("Файл \"" + path + "\" уже существует. Переписать?", "Сохранение диска в файл")) {
            return false;
        }
    }
    const AtomicWriteStatus result = WriteFileAtomically(path, d.image);
    if (result != AtomicWriteStatus::Ok) {
        if (existed && !overwrite) {
            host_.ShowMessage("Не удалось удалить прежний файл \"" + path + "\"!", MessageKind::Warning,
                              "Сохранение диска в файл");
        }
        return false;
    }
    d.fileName = path;
    d.changed = false;
    return true;
}

bool tFCD_WD279X::InsertImage(int drive, const std::uint8_t* data, std::size_t size,
                              const std::string& name, bool changed) {
    if (!ValidDrive(drive)) return false;
    bool ok = false;
    if (data != nullptr && size > 0 && size <= kMaxImageFileSize && SaveIfChanged(drive, true)) {
        tDrive& d = drives_[static_cast<std::size_t>(drive)];
        d.fileName = name;
        d.image.assign(data, data + size);
        if (IsAcceptedDiskFormat(d.image)) {
            d.latchClosed = true;
            d.changed = changed;
            ok = true;
        } else {
            EmptyDrive(drive);
            host_.ShowMessage(kRefusedFormatText, MessageKind::Warning);
        }
    }
    // Whatever the outcome, the armed ready conditions see the drive as it is now.
    EvaluateReadyConditions(drive);
    return ok;
}

bool tFCD_WD279X::EjectImage(int drive) {
    if (!ValidDrive(drive)) return false;
    if (!SaveIfChanged(drive, true)) return false;
    EmptyDrive(drive);
    EvaluateReadyConditions(drive);
    return true;
}

void tFCD_WD279X::SetLatch(int drive, bool closed) {
    if (!ValidDrive(drive)) return;
    drives_[static_cast<std::size_t>(drive)].latchClosed = closed;
    EvaluateReadyConditions(drive);
}

bool tFCD_WD279X::IsLatchClosed(int drive) const {
    return ValidDrive(drive) && drives_[static_cast<std::size_t>(drive)].latchClosed;
}

bool tFCD_WD279X::HasImage(int drive) const {
    return ValidDrive(drive) && !drives_[static_cast<std::size_t>(drive)].image.empty();
}

std::size_t tFCD_WD279X::ImageSize(int drive) const {
    return ValidDrive(drive) ? drives_[static_cast<std::size_t>(drive)].image.size() : 0;
}

const std::uint8_t* tFCD_WD279X::ImageData(int drive) const {
    if (!HasImage(drive)) return nullptr;
    return drives_[static_cast<std::size_t>(drive)].image.data();
}

std::span<const std::uint8_t> tFCD_WD279X::Image(int drive) const {
    if (!HasImage(drive)) return {};
    return drives_[static_cast<std::size_t>(drive)].image;
}

bool tFCD_WD279X::IsChanged(int drive) const {
    return ValidDrive(drive) && drives_[static_cast<std::size_t>(drive)].changed;
}

std::string tFCD_WD279X::FileName(int drive) const {
    return ValidDrive(drive) ? drives_[static_cast<std::size_t>(drive)].fileName : std::string();
}

std::string tFCD_WD279X::DiskInfo(int drive) const {
    if (!HasImage(drive)) return kEmptyDiskText;
    return DiskInfoText(drives_[static_cast<std::size_t>(drive)].image);
}

}  // namespace velgard
