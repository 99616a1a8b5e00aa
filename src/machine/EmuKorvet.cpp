// The Korvet's memory map: page maps, system page, I/O page, character
// memory and graphics window.
#include "machine/EmuKorvet.h"

#include <algorithm>
#include <cstring>

#include "devices/PIC_I8259A.h"
#include "devices/SoundChannel.h"
#include "devices/TIMER_I8253.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMBitmap.h"
#include "machine/KorvetKeyboard.h"

namespace velgard {

namespace {

// One row per configuration: ROM end (0xFFFF = no ROM), character memory
// base, graphics window base, I/O page base, system page base, keyboard
// base (0xFFFF = not mapped).
constexpr std::uint16_t N = 0xFFFF;
constexpr std::uint16_t kConfigurationTable[32][6] = {
    {0x37FF, 0x3C00, N, 0x3B00, 0x3A00, 0x3800},       // 0
    {0x1FFF, N, N, N, N, N},                           // 1
    {0x3FFF, N, N, N, N, N},                           // 2
    {N, N, N, N, N, N},                                // 3
    {0x1FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 4
    {0x1FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 5
    {0x3FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 6
    {N, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},            // 7
    {0x37FF, 0x3C00, 0xC000, 0x3B00, 0x3A00, 0x3800},  // 8
    {0x1FFF, N, 0xC000, N, N, N},                      // 9
    {0x3FFF, N, 0xC000, N, N, N},                      // 10
    {N, N, 0xC000, N, N, N},                           // 11
    {0x1FFF, N, 0x4000, 0xFE00, 0xFF00, N},            // 12
    {0x1FFF, N, 0x4000, 0xFE00, 0xFF00, N},            // 13
    {0x3FFF, N, 0x4000, 0xFE00, 0xFF00, N},            // 14
    {N, N, 0x4000, 0xFE00, 0xFF00, N},                 // 15
    {0x5FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 16
    {0x1FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 17
    {0x3FFF, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},       // 18
    {N, 0xFC00, N, 0xFB00, 0xFA00, 0xF800},            // 19
    {0x5FFF, N, N, 0xFE00, 0xFF00, N},                 // 20
    {0x1FFF, N, N, 0xFE00, 0xFF00, N},                 // 21
    {0x3FFF, N, N, 0xFE00, 0xFF00, N},                 // 22
    {N, N, N, 0xFE00, 0xFF00, N},                      // 23
    {0x5FFF, N, 0xC000, N, 0xBF00, N},                 // 24
    {0x1FFF, N, 0xC000, N, 0xBF00, N},                 // 25
    {0x3FFF, N, 0xC000, N, 0xBF00, N},                 // 26
    {N, N, 0xC000, N, 0xBF00, N},                      // 27
    {0x5FFF, N, 0xC000, N, N, N},                      // 28
    {0x1FFF, N, 0xC000, N, N, N},                      // 29
    {0x3FFF, N, 0xC000, N, N, N},                      // 30
    {N, N, 0xC000, N, N, N},                           // 31
};

// System page offsets.
constexpr std::uint8_t kSysConfiguration = 0x7F;
constexpr std::uint8_t kSysColour = 0xBF;
constexpr std::uint8_t kSysPalette = 0xFB;

// I/O page offsets.
constexpr std::uint8_t kIoTimerControl = 0x03;
constexpr std::uint8_t kIoPort20 = 0x20;
constexpr std::uint8_t kIoPort21 = 0x21;
constexpr std::uint8_t kIoPicEven = 0x28;
constexpr std::uint8_t kIoPicOdd = 0x29;
constexpr std::uint8_t kIoPort32 = 0x32;
constexpr std::uint8_t kIoPort32Control = 0x33;
constexpr std::uint8_t kIoStatus = 0x38;
constexpr std::uint8_t kIoSystem = 0x3A;
constexpr std::uint8_t kIoSystemControl = 0x3B;

}  // namespace

const std::array<std::array<std::uint8_t, 4>, 16> tMemory_Korvet64Kb::kColourTable = {{
    {0, 0, 0, 0},
    {0, 0, 173, 0},
    {0, 170, 0, 0},
    {0, 170, 173, 0},
    {173, 0, 0, 0},
    {173, 0, 173, 0},
    {173, 170, 0, 0},
    {173, 170, 173, 0},
    {82, 85, 82, 0},
    {82, 85, 255, 0},
    {82, 255, 82, 0},
    {82, 255, 255, 0},
    {255, 85, 82, 0},
    {255, 85, 255, 0},
    {255, 255, 82, 0},
    {255, 255, 255, 0},
}};

namespace {
std::uint32_t ColourValue(int index) {
    const auto& c = tMemory_Korvet64Kb::kColourTable[index & 15];
    return static_cast<std::uint32_t>(c[0]) | (static_cast<std::uint32_t>(c[1]) << 8) |
           (static_cast<std::uint32_t>(c[2]) << 16) | (static_cast<std::uint32_t>(c[3]) << 24);
}
}  // namespace

tMemory_Korvet64Kb::tMemory_Korvet64Kb(tComputer_I8080_Korvet& owner, tHost& host)
    : owner_(owner) {
    dirty_ = true;
    BuildConfigurations();
    font_.fill(0);
    fdc_ = std::make_unique<tFCD_WD279X>(host);
    pic_ = std::make_unique<tPIC_i8259A>();
    timer_ = std::make_unique<tTimer_i8254_WithSound>();
    // Timer channel 0 makes the sound; the core plays it on the null device
    // until the front end hands the channel its host's devices.
    timer_->InstallChannel(0, std::make_unique<tTimer_i8254_SoundChannel>());
    for (int p = 0; p < kGraphicsPages; ++p) {
        bitmaps_[p] = std::make_unique<tBMMGDI4Bitmap>();
        bitmaps_[p]->SetSize(kScreenWidth, kScreenHeight, 0, true);
        bitmaps_[p]->SetChangeNotify([this, p] { TakeRows(p); });
        TakeRows(p);
    }
    Reset(false);
}

tMemory_Korvet64Kb::~tMemory_Korvet64Kb() = default;

tTimer_i8254_SoundChannel* tMemory_Korvet64Kb::Sound() {
    return dynamic_cast<tTimer_i8254_SoundChannel*>(timer_->Channel(0));
}

void tMemory_Korvet64Kb::TakeRows(int page) {
    // Row y = 0 is the top of the picture (stored last in the bitmap).
    // A bitmap without storage (a failed snapshot load) is given it back,
    // so that the graphics window never writes through a stale row.
    tBMMGDI4Bitmap& bitmap = *bitmaps_[page];
    if (bitmap.Width() != kScreenWidth || bitmap.Height() != kScreenHeight) {
        bitmap.SetSize(kScreenWidth, kScreenHeight, 0, true);
        return;  // SetSize notified us again with the new rows
    }
    for (int y = 0; y < kScreenHeight; ++y) rows_[page][y] = bitmap.ScanLine(y);
}

void tMemory_Korvet64Kb::BuildConfigurations() {
    for (auto& map : pageMaps_) map.fill(kPageRam);
    for (auto& rec : records_) rec.fill(kNotMapped);
    for (int k = 0; k < kConfigurations; ++k) {
        const auto& row = kConfigurationTable[k];
        auto& map = pageMaps_[k];
        auto& rec = records_[k];
        const std::uint16_t romEnd = row[0];
        if (romEnd != kNotMapped) {
            for (int p = 0; p <= (romEnd >> 8); ++p) map[p] = kPageRom;
            rec[kRecRomSize] = static_cast<std::uint16_t>(romEnd + 1);
            rec[kRecRomBase] = 0;
        } else {
            rec[kRecRomSize] = 0;
            rec[kRecRomBase] = kNotMapped;
        }
        rec[kRecCharacters] = row[1];
        rec[kRecGraphics] = row[2];
        rec[kRecIo] = row[3];
        rec[kRecSystem] = row[4];
        rec[kRecKeyboard] = row[5];
        auto place = [&map](std::uint16_t base, int pages, std::uint8_t type) {
            if (base == kNotMapped) return;
            for (int i = 0; i < pages; ++i) map[((base >> 8) + i) & 255] = type;
        };
        place(rec[kRecSystem], 1, kPageSystem);
        place(rec[kRecIo], 1, kPageIo);
        place(rec[kRecKeyboard], 2, kPageKeyboard);
        place(rec[kRecCharacters], 4, kPageCharacters);
        place(rec[kRecGraphics], 64, kPageGraphics);
    }
    pageMap_ = pageMaps_[0].data();
    record_ = records_[0].data();
    BuildReadPages();
}

void tMemory_Korvet64Kb::BuildReadPages() {
    for (int k = 0; k < kConfigurations; ++k) {
        for (int p = 0; p < 256; ++p) {
            const std::uint8_t* direct = nullptr;
            const std::size_t start = static_cast<std::size_t>(p) << 8;
            if (pageMaps_[k][p] == kPageRam) {
                direct = &ram_[start];
            } else if (pageMaps_[k][p] == kPageRom) {
                // ROM pages start at 0 (the ROM base of every configuration
                // that has a ROM): the image where it reaches, RAM beyond.
                if (start + 256 <= rom_.size()) {
                    direct = &rom_[start];
                } else if (start >= rom_.size()) {
                    direct = &ram_[start];
                }
            }
            readPages_[k][p] = direct;
            const bool plainWrite = pageMaps_[k][p] == kPageRam || pageMaps_[k][p] == kPageRom;
            writePages_[k][p] = plainWrite ? &ram_[start] : nullptr;
        }
    }
    readPage_ = readPages_[configuration_].data();
    RefreshDirectPages();
}

void tMemory_Korvet64Kb::RefreshDirectPages() {
    directRead_ = readPages_[configuration_];
    directWrite_ = writePages_[configuration_];
}

std::uint16_t tMemory_Korvet64Kb::ReadWord(std::uint16_t address) {
    const std::uint8_t lo = Read(address);
    const std::uint8_t hi = Read(static_cast<std::uint16_t>(address + 1));
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

void tMemory_Korvet64Kb::WriteWord(std::uint16_t address, std::uint16_t value) {
    Write(address, static_cast<std::uint8_t>(value));
    Write(static_cast<std::uint16_t>(address + 1), static_cast<std::uint8_t>(value >> 8));
}

std::uint64_t tMemory_Korvet64Kb::Now() const {
    return owner_.Cpu().TotalCycles;
}

std::uint8_t tMemory_Korvet64Kb::ReadSpecial(std::uint16_t address) {
    switch (pageMap_[address >> 8]) {
    case kPageRom: {
        const std::size_t o = static_cast<std::uint16_t>(address - romBase_);
        return o < rom_.size() ? rom_[o] : ram_[o];
    }
    case kPageSystem:
        return ReadSystemPage(address);
    case kPageIo:
        return ReadIoPage(address);
    case kPageKeyboard:
        return ReadKeyboard(address);
    case kPageCharacters: {
        const int n = (address - charactersBase_) & 1023;
        if (attributeReadMode_) attributeLatch_ = chars_[n * 2] & 0x80;
        return chars_[n * 2 + 1];
    }
    case kPageGraphics:
        return ReadGraphics(address);
    default:
        return ram_[address];
    }
}

void tMemory_Korvet64Kb::WriteSpecial(std::uint16_t address, std::uint8_t value) {
    switch (pageMap_[address >> 8]) {
    case kPageSystem:
        WriteSystemPage(address, value);
        return;
    case kPageIo:
        WriteIoPage(address, value);
        return;
    case kPageKeyboard:
        return;  // the keyboard window cannot be written
    case kPageCharacters: {
        const int n = (address - charactersBase_) & 1023;
        chars_[n * 2] = static_cast<std::uint8_t>((chars_[n * 2] & 0x7F) | attributeLatch_);
        chars_[n * 2 + 1] = value;
        textRowFlags_[n >> 6] = 0x0F;
        dirty_ = true;
        return;
    }
    case kPageGraphics:
        WriteGraphics(address, value);
        return;
    default:
        // RAM, and ROM pages: the write lands in the RAM beneath the ROM.
        ram_[address] = value;
        return;
    }
}

// ---- System page -----------------------------------------------------------

std::uint8_t tMemory_Korvet64Kb::ReadSystemPage(std::uint16_t address) {
    switch (static_cast<std::uint8_t>(address - systemBase_)) {
    case kSysConfiguration:
        return static_cast<std::uint8_t>(configuration_);
    case kSysColour:
        return static_cast<std::uint8_t>(colourRegister_);
    default:
        return ram_[address];
    }
}

void tMemory_Korvet64Kb::WriteSystemPage(std::uint16_t address, std::uint8_t value) {
    switch (static_cast<std::uint8_t>(address - systemBase_)) {
    case kSysConfiguration:
        if (((value >> 2) & 0x1F) != configuration_) SetConfiguration(value);
        return;
    case kSysColour:
        WriteColourRegister(value);
        return;
    case kSysPalette:
        WritePalette(value);
        return;
    default:
        ram_[address] = value;
        return;
    }
}

void tMemory_Korvet64Kb::SetConfiguration(std::uint8_t value) {
    dirty_ = true;
    configuration_ = static_cast<std::uint16_t>((value & 0x7C) >> 2);
    pageMap_ = pageMaps_[configuration_].data();
    readPage_ = readPages_[configuration_].data();
    record_ = records_[configuration_].data();
    romBase_ = record_[kRecRomBase];
    systemBase_ = record_[kRecSystem];
    ioBase_ = record_[kRecIo];
    keyboardBase_ = record_[kRecKeyboard];
    charactersBase_ = record_[kRecCharacters];
    graphicsBase_ = record_[kRecGraphics];
    RefreshDirectPages();
}

void tMemory_Korvet64Kb::WriteColourRegister(std::uint8_t v) {
    dirty_ = true;
    colourRegister_ = v;
    directMode_ = (v & 0x80) != 0;
    compareLow_ = static_cast<std::uint8_t>((v & 0x70) >> 4);
    compareHigh_ = static_cast<std::uint8_t>(v & 0x70);
    const std::uint8_t k = static_cast<std::uint8_t>((v & 0x0F) >> 1);
    if (directMode_) {
        writeLow_ = k;
        writeHigh_ = static_cast<std::uint8_t>(k << 4);
    } else if ((v & 1) == 0) {
        writeLow_ = static_cast<std::uint8_t>(0xF8 | k);
        writeHigh_ = static_cast<std::uint8_t>(0x8F | (k << 4));
    } else {
        writeLow_ = static_cast<std::uint8_t>(~k & 7);
        writeHigh_ = static_cast<std::uint8_t>((~k & 7) << 4);
    }
}

void tMemory_Korvet64Kb::WritePalette(std::uint8_t value) {
    const int i = value & 0x0F;
    palette_[i] = static_cast<std::uint8_t>(value >> 4);
    colourValues_[i] = ColourValue(value >> 4);
    paletteRefresh_.fill(1);
    dirty_ = true;
}

// ---- I/O page --------------------------------------------------------------

std::uint8_t tMemory_Korvet64Kb::ReadIoPage(std::uint16_t address) {
    const std::uint8_t o = static_cast<std::uint8_t>(address - ioBase_);
    switch (o) {
    case 0x00:
    case 0x01:
    case 0x02:
        return timer_->ReadCount(o, Now());
    case kIoTimerControl:
        return 0;
    case kFdcPortCommand:
        return fdc_->ReadStatus();
    case kFdcPortTrack:
        return fdc_->ReadTrack();
    case kFdcPortSector:
        return fdc_->ReadSector();
    case kFdcPortData:
        return fdc_->ReadData();
    case kIoPort21:
        return 0x81;
    case kIoPicEven:
        return pic_->ReadPoll();
    case kIoPicOdd:
        return pic_->ReadStatus();
    case kIoPort32:
        return static_cast<std::uint8_t>(port32_);
    case kIoStatus:
        return static_cast<std::uint8_t>(0xF4 | (retrace_ & 0x02) | (attributeLatch_ == 0x80 ? 0x08 : 0));
    case kFdcPortDriveControl:
        return fdc_->ReadDriveControl();
    case kIoSystem:
        return static_cast<std::uint8_t>(systemRegister_);
    default:
        // 0x20, 0x33, 0x3B and every unused offset read the RAM beneath.
        return ram_[address];
    }
}

void tMemory_Korvet64Kb::WriteIoPage(std::uint16_t address, std::uint8_t value) {
    const std::uint8_t o = static_cast<std::uint8_t>(address - ioBase_);
    switch (o) {
    case 0x00:
    case 0x01:
    case 0x02:
        timer_->WriteCount(o, value, Now());
        return;
    case kIoTimerControl:
        timer_->WriteControl(value, Now());
        return;
    case kFdcPortCommand:
        fdc_->WriteCommand(value);
        return;
    case kFdcPortTrack:
        fdc_->WriteTrack(value);
        return;
    case kFdcPortSector:
        fdc_->WriteSector(value);
        return;
    case kFdcPortData:
        fdc_->WriteData(value);
        return;
    case kIoPort20:
    case kIoPort21:
        return;
    case kIoPicEven:
        pic_->WriteCommand(value);
        return;
    case kIoPicOdd:
        pic_->WriteData(value);
        return;
    case kIoPort32:
        // Bit 3 gates timer channel 0 onto the loudspeaker.
        if (auto* ch = timer_->Channel(0)) ch->SetOutputEnable((value >> 3) & 1);
        port32_ = value;
        return;
    case kIoPort32Control: {
        if (value & 0x80) return;
        const int bit = (value & 0x0E) >> 1;
        const std::uint16_t reg = static_cast<std::uint16_t>(ioBase_ + kIoPort32);
        std::uint8_t r = Read(reg);
        if (value & 1) {
            r = static_cast<std::uint8_t>(r | (1u << bit));
        } else {
            r = static_cast<std::uint8_t>(r & ~(1u << bit));
        }
        Write(reg, r);
        return;
    }
    case kFdcPortDriveControl:
        fdc_->WriteDriveControl(value);
        return;
    case kIoSystem:
        WriteSystemRegister(value);
        return;
    case kIoSystemControl: {
        dirty_ = true;
        int bit = -1;
        bool set = false;
        switch (value & 0x0F) {
        case 8: bit = 4; set = false; break;
        case 9: bit = 4; set = true; break;
        case 10: bit = 5; set = false; break;
        case 11: bit = 5; set = true; break;
        default: return;
        }
        const std::uint16_t reg = static_cast<std::uint16_t>(ioBase_ + kIoSystem);
        std::uint8_t r = Read(reg);
        if (set) {
            r = static_cast<std::uint8_t>(r | (1u << bit));
        } else {
            r = static_cast<std::uint8_t>(r & ~(1u << bit));
        }
        Write(reg, r);
        return;
    }
    default:
        // 0x38 and every unused offset write the RAM beneath.
        ram_[address] = value;
        return;
    }
}

void tMemory_Korvet64Kb::WriteSystemRegister(std::uint8_t v) {
    dirty_ = true;
    if ((v ^ systemRegister_) & 0x08) textRowFlags_.fill(0x0F);
    systemRegister_ = v;
    switch ((v >> 4) & 3) {
    case 1:
        attributeLatch_ = 0x80;
        attributeReadMode_ = false;
        break;
    case 2:
        attributeLatch_ = 0;
        attributeReadMode_ = false;
        break;
    case 3:
        attributeReadMode_ = true;
        break;
    default:
        break;
    }
    cpuPage_ = singlePage_ ? 0 : (v >> 6);
}

// ---- Keyboard window -------------------------------------------------------

std::uint8_t tMemory_Korvet64Kb::ReadKeyboard(std::uint16_t address) const {
    if (!keyboard_) return 0;
    return keyboard_->ReadMatrix(static_cast<std::uint16_t>((address - keyboardBase_) & 511));
}

// ---- Graphics window -------------------------------------------------------

std::uint8_t tMemory_Korvet64Kb::ReadGraphics(std::uint16_t address) const {
    const int o = (address - graphicsBase_) & 16383;
    const std::uint8_t* px = rows_[cpuPage_][o >> 6] + (o & 63) * 4;
    std::uint8_t result = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint8_t b = px[i];
        bool left, right;
        if (directMode_) {
            left = (b & 0x70) != compareHigh_;
            right = (b & 0x07) != compareLow_;
        } else {
            left = (b & 0x70 & compareHigh_) != 0;
            right = (b & 0x07 & compareLow_) != 0;
        }
        result = static_cast<std::uint8_t>(result | (left ? 0x80 >> (2 * i) : 0) |
                                           (right ? 0x40 >> (2 * i) : 0));
    }
    return result;
}

void tMemory_Korvet64Kb::WriteGraphics(std::uint16_t address, std::uint8_t value) {
    dirty_ = true;
    if (value == 0) return;
    const int o = (address - graphicsBase_) & 16383;
    std::uint8_t* px = rows_[cpuPage_][o >> 6] + (o & 63) * 4;
    const bool orMode = (colourRegister_ & 1) != 0;
    for (int i = 0; i < 4; ++i) {
        const bool left = (value & (0x80 >> (2 * i))) != 0;
        const bool right = (value & (0x40 >> (2 * i))) != 0;
        if (!left && !right) continue;
        std::uint8_t b = px[i];
        if (directMode_) {
            if (left) b = static_cast<std::uint8_t>((b & 0x8F) | writeHigh_);
            if (right) b = static_cast<std::uint8_t>((b & 0xF8) | writeLow_);
        } else if (!orMode) {
            if (left) b &= writeHigh_;
            if (right) b &= writeLow_;
        } else {
            if (left) b |= writeHigh_;
            if (right) b |= writeLow_;
        }
        px[i] = b;
    }
}

// ---- Reset and images ------------------------------------------------------

void tMemory_Korvet64Kb::Reset(bool singlePage) {
    dirty_ = true;
    singlePage_ = singlePage;
    configuration_ = 0;
    systemRegister_ = 0;
    colourRegister_ = 0;
    port32_ = 0;
    ram_.fill(0);
    chars_.fill(0);
    SetConfiguration(0);
    // Deliberately not the values a colour register of 0 decodes to: until
    // the register is first written, a graphics write clears the whole byte.
    writeLow_ = writeHigh_ = 0;
    compareLow_ = compareHigh_ = 0;
    for (int i = 0; i < 16; ++i) palette_[i] = static_cast<std::uint8_t>(i < 8 ? i : 15);
    for (int p = 0; p < kGraphicsPages; ++p) {
        for (int y = 0; y < kScreenHeight; ++y) std::memset(rows_[p][y], 0, kScreenWidth / 2);
    }
    cpuPage_ = 0;
    for (int i = 0; i < 16; ++i) colourValues_[i] = ColourValue(palette_[i]);
    paletteRefresh_.fill(1);
    textRowFlags_.fill(0);
    attributeLatch_ = 0;
    attributeReadMode_ = false;
    retrace_ = kRetraceOn;
    directMode_ = false;
    timer_->Reset();
    pic_->Reset();
}

void tMemory_Korvet64Kb::LoadROM(int index) {
    const auto image = owner_.Roms().Rom(index);
    rom_.assign(image.begin(), image.end());
    std::copy_n(rom_.begin(), std::min<std::size_t>(rom_.size(), ram_.size()), ram_.begin());
    BuildReadPages();
    SetConfiguration(static_cast<std::uint8_t>(configuration_ << 2));
    dirty_ = true;
}

void tMemory_Korvet64Kb::LoadFont() {
    const auto font = owner_.Roms().Font();
    const std::size_t n = std::min(font.size(), font_.size());
    std::copy_n(font.begin(), n, font_.begin());
    dirty_ = true;
}

}  // namespace velgard
