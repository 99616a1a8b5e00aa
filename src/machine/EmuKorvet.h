#pragma once
// The Korvet PK8020 as one object: the memory map with its system
// registers and memory-mapped devices (tMemory_Korvet64Kb), and the
// machine with its processor and emulation loop (tComputer_I8080_Korvet).
//
// Address space: 256 pages of 256 bytes. A configuration register selects
// one of 32 page maps that say for every page whether it is RAM, ROM, the
// system page, the I/O page, the keyboard window, the character memory or
// the graphics window. All devices are memory-mapped; the processor's port
// instructions reach nothing.
//
// Time: processor cycles at 2.5 MHz, cut into slices of 500 cycles, 100
// slices to a frame, 50 frames a second. Devices are advanced and
// interrupts raised only at slice ends: line 5 (timer channel 2) and line 7
// (floppy controller) at any slice end, line 4 (display) at every frame end.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cpu/Cpu.h"
#include "machine/RomImages.h"

namespace velgard {

class tHost;
class tPIC_i8259A;
class tTimer_i8254;
class tTimer_i8254_SoundChannel;
class tFCD_WD279X;
class tByteStream;
class tBMMGDI4Bitmap;
class TBMMCanvas2D;
class tKorvetKeyboard;
class tComputer_I8080_Korvet;

// A 64 KB memory as the processor sees it.
class tMemory {
public:
    virtual ~tMemory() = default;
    virtual std::uint8_t ReadByte(std::uint16_t address) = 0;
    virtual void WriteByte(std::uint16_t address, std::uint8_t value) = 0;
    virtual std::uint16_t ReadWord(std::uint16_t address) = 0;
    virtual void WriteWord(std::uint16_t address, std::uint16_t value) = 0;
};

class tMemory_Korvet64Kb final : public tMemory {
public:
    // Page types of the page maps.
    enum : std::uint8_t {
        kPageRam = 0,
        kPageRom = 1,
        kPageSystem = 2,
        kPageIo = 3,
        kPageKeyboard = 4,
        kPageCharacters = 5,
        kPageGraphics = 6,
    };
    static constexpr int kConfigurations = 32;
    static constexpr int kGraphicsPages = 4;
    static constexpr int kTextRows = 16;
    static constexpr int kTextColumns = 64;
    static constexpr int kScreenWidth = 512;
    static constexpr int kScreenHeight = 256;
    static constexpr std::uint16_t kNotMapped = 0xFFFF;
    // Retrace flag values: 2 while the beam is in the vertical retrace.
    static constexpr std::uint8_t kRetraceOn = 2;

    // The fixed colour table: red, green, blue, 0.
    static const std::array<std::array<std::uint8_t, 4>, 16> kColourTable;

    // `owner` supplies the processor's cycle total and the ROM images;
    // `host` is handed to the floppy controller for its questions.
    tMemory_Korvet64Kb(tComputer_I8080_Korvet& owner, tHost& host);
    ~tMemory_Korvet64Kb() override;
    tMemory_Korvet64Kb(const tMemory_Korvet64Kb&) = delete;
    tMemory_Korvet64Kb& operator=(const tMemory_Korvet64Kb&) = delete;

    // The fast paths the bus callbacks use: one page-map lookup, and RAM
    // needs nothing else.
    std::uint8_t Read(std::uint16_t address) {
        // Pages that read plain bytes (RAM, and ROM pages covered by the
        // image or by the RAM beneath it) have a direct pointer.
        if (const std::uint8_t* page = readPage_[address >> 8]) return page[address & 0xFF];
        return ReadSpecial(address);
    }
    void Write(std::uint16_t address, std::uint8_t value) {
        if (pageMap_[address >> 8] == kPageRam) {
            ram_[address] = value;
            return;
        }
        WriteSpecial(address, value);
    }

    std::uint8_t ReadByte(std::uint16_t address) override { return Read(address); }
    void WriteByte(std::uint16_t address, std::uint8_t value) override { Write(address, value); }
    std::uint16_t ReadWord(std::uint16_t address) override;
    void WriteWord(std::uint16_t address, std::uint16_t value) override;

    // Power-on state of the map, the registers, the bitmaps, the timer and
    // the interrupt controller. The ROM image and the font stay.
    void Reset(bool singlePage);
    // Selects configuration (value >> 2) AND 0x1F.
    void SetConfiguration(std::uint8_t value);
    // Installs ROM image `index` (0-2) and copies it into RAM from 0.
    void LoadROM(int index);
    // Installs the character font (at most 8192 bytes).
    void LoadFont();

    // Video: draws text row `row` (0-15) into page `page`'s bitmap.
    void RenderTextRow(int page, int row);
    // Brings the shown page up to date and returns its bitmap.
    tBMMGDI4Bitmap& UpdateFrame();

    // The processor's direct pages for the present configuration (see
    // CpuState::ReadPages): RAM, and ROM pages wholly covered by the image
    // or by the RAM beneath it, for reads; RAM and ROM pages for writes
    // (a write to ROM lands in the RAM beneath). Every other page is
    // nullptr. The tables stay at the same place for the map's lifetime.
    const std::uint8_t* const* DirectReadPages() const { return directRead_.data(); }
    std::uint8_t* const* DirectWritePages() const { return directWrite_.data(); }
    // Brings the direct pages up to date with the configuration and the ROM
    // image (done by SetConfiguration and LoadROM; a snapshot load that
    // sets the configuration itself is followed by this).
    void RefreshDirectPages();

    bool IsDirty() const { return dirty_; }
    void SetDirty(bool dirty) { dirty_ = dirty; }
    std::uint8_t RetraceFlag() const { return retrace_; }
    void SetRetraceFlag(std::uint8_t value) { retrace_ = value; }

    // The keyboard whose matrix the keyboard window reads (none: reads 0).
    void SetKeyboard(const tKorvetKeyboard* keyboard) { keyboard_ = keyboard; }

    tPIC_i8259A& Pic() { return *pic_; }
    tTimer_i8254& Timer() { return *timer_; }
    // Timer channel 0 as the sound channel (nullptr if another channel has
    // been installed there).
    tTimer_i8254_SoundChannel* Sound();

    // The memory map block of a machine snapshot: RAM, tables, ROM image,
    // palette, character memory, the four page bitmaps, font, registers,
    // the timer and interrupt controller blocks and the derived values.
    bool SaveState(tByteStream& stream) const;
    // Resets the map and reads the block. Every part is checked (bitmap
    // records, chip blocks, the fixed tables, register ranges, the timer's
    // channel kinds); false at the first part that is not sound, and the
    // map is then in a usable but meaningless state. A machine therefore
    // loads a state into a scratch map first (see tComputer_I8080_Korvet).
    bool LoadState(tByteStream& stream);
    tFCD_WD279X& Fdc() { return *fdc_; }

    // Inspection (front end, tests, snapshot).
    int Configuration() const { return configuration_; }
    std::uint8_t PageType(int configuration, int page) const {
        return pageMaps_[configuration & 31][page & 255];
    }
    std::uint8_t SystemRegister() const { return static_cast<std::uint8_t>(systemRegister_); }
    std::uint8_t ColourRegister() const { return static_cast<std::uint8_t>(colourRegister_); }
    std::uint8_t Port32Register() const { return static_cast<std::uint8_t>(port32_); }
    std::uint8_t AttributeLatch() const { return attributeLatch_; }
    bool AttributeReadMode() const { return attributeReadMode_; }
    bool SinglePage() const { return singlePage_; }
    std::uint8_t PaletteRegister(int i) const { return palette_[i & 15]; }
    std::uint8_t TextRowFlags(int row) const { return textRowFlags_[row & 15]; }
    bool PaletteRefresh(int page) const { return paletteRefresh_[page & 3] != 0; }
    // Character memory cell n (0-1023): attribute byte and character code.
    std::uint8_t CellAttribute(int n) const { return chars_[(n & 1023) * 2]; }
    std::uint8_t CellCode(int n) const { return chars_[(n & 1023) * 2 + 1]; }
    std::span<std::uint8_t, 65536> Ram() { return ram_; }
    std::span<const std::uint8_t> Rom() const { return rom_; }
    std::span<const std::uint8_t, 8192> Font() const { return font_; }
    // Page `page`'s bitmap (0-3).
    tBMMGDI4Bitmap& PageBitmap(int page) { return *bitmaps_[page & 3]; }
    // The page shown on the screen.
    int ShownPage() const { return singlePage_ ? 0 : static_cast<int>(systemRegister_ & 3); }

private:
    // Configuration record fields.
    enum { kRecRomSize, kRecRomBase, kRecSystem, kRecIo, kRecKeyboard, kRecCharacters, kRecGraphics };

    void BuildConfigurations();
    // Rebuilds the direct read pointers of every configuration (after the
    // ROM image changed).
    void BuildReadPages();
    void TakeRows(int page);
    std::uint8_t ReadSpecial(std::uint16_t address);
    void WriteSpecial(std::uint16_t address, std::uint8_t value);
    std::uint8_t ReadSystemPage(std::uint16_t address);
    void WriteSystemPage(std::uint16_t address, std::uint8_t value);
    std::uint8_t ReadIoPage(std::uint16_t address);
    void WriteIoPage(std::uint16_t address, std::uint8_t value);
    std::uint8_t ReadKeyboard(std::uint16_t address) const;
    std::uint8_t ReadGraphics(std::uint16_t address) const;
    void WriteGraphics(std::uint16_t address, std::uint8_t value);
    void WriteColourRegister(std::uint8_t value);
    void WriteSystemRegister(std::uint8_t value);
    void WritePalette(std::uint8_t value);
    std::uint64_t Now() const;

    std::array<std::uint8_t, 65536> ram_{};
    const std::uint8_t* pageMap_ = nullptr;
    std::array<std::array<std::uint8_t, 256>, kConfigurations> pageMaps_{};
    const std::uint8_t* const* readPage_ = nullptr;
    std::array<std::array<const std::uint8_t*, 256>, kConfigurations> readPages_{};
    std::array<std::array<std::uint8_t*, 256>, kConfigurations> writePages_{};
    std::array<const std::uint8_t*, 256> directRead_{};
    std::array<std::uint8_t*, 256> directWrite_{};
    const std::uint16_t* record_ = nullptr;
    std::array<std::array<std::uint16_t, 7>, kConfigurations> records_{};
    std::vector<std::uint8_t> rom_;
    std::array<std::uint8_t, 16> palette_{};
    std::array<std::uint8_t, 2048> chars_{};  // per cell: attribute, code
    std::array<std::array<std::uint8_t*, 256>, kGraphicsPages> rows_{};
    std::array<std::unique_ptr<tBMMGDI4Bitmap>, kGraphicsPages> bitmaps_;
    std::array<std::uint8_t, kGraphicsPages> paletteRefresh_{};
    std::array<std::uint8_t, kTextRows> textRowFlags_{};
    std::array<std::uint32_t, 16> colourValues_{};  // red | green << 8 | blue << 16
    std::array<std::uint8_t, 8192> font_{};
    std::uint16_t configuration_ = 0;
    std::uint16_t systemRegister_ = 0;
    std::uint16_t colourRegister_ = 0;
    std::uint16_t port32_ = 0;
    std::unique_ptr<tFCD_WD279X> fdc_;
    std::unique_ptr<tTimer_i8254> timer_;  // with the sound channel as channel 0
    std::unique_ptr<tPIC_i8259A> pic_;
    std::uint16_t romBase_ = kNotMapped;
    std::uint16_t systemBase_ = kNotMapped;
    std::uint16_t ioBase_ = kNotMapped;
    std::uint16_t keyboardBase_ = kNotMapped;
    std::uint16_t charactersBase_ = kNotMapped;
    std::uint16_t graphicsBase_ = kNotMapped;
    std::uint8_t retrace_ = kRetraceOn;
    std::uint8_t attributeLatch_ = 0;
    bool attributeReadMode_ = false;
    tComputer_I8080_Korvet& owner_;
    int cpuPage_ = 0;  // graphics page the processor reaches through the window
    std::uint8_t writeLow_ = 0, writeHigh_ = 0;
    std::uint8_t compareLow_ = 0, compareHigh_ = 0;
    bool directMode_ = false;
    bool singlePage_ = false;
    bool dirty_ = true;
    const tKorvetKeyboard* keyboard_ = nullptr;
};

class tComputer_I8080_Korvet {
public:
    using StateChangeFn = std::function<void(tComputer_I8080_Korvet&)>;

    static constexpr std::int32_t kFramesPerSecond = 50;
    static constexpr std::int32_t kSlicesPerFrame = 100;
    static constexpr double kRetraceShare = 0.1628;

    // `host` must outlive the machine: the loop and the floppy controller
    // reach the outside world only through it.
    explicit tComputer_I8080_Korvet(tHost& host);
    ~tComputer_I8080_Korvet();
    tComputer_I8080_Korvet(const tComputer_I8080_Korvet&) = delete;
    tComputer_I8080_Korvet& operator=(const tComputer_I8080_Korvet&) = delete;

    // The emulation loop. Resets the processor and the memory map, installs
    // ROM image `romIndex` and the font, and runs until Stop(). Frames are
    // drawn on `canvas`; without one they are still brought up to date.
    void Run(TBMMCanvas2D* canvas, std::uint8_t romIndex, bool singlePage);
    void Stop() { stopRequested_ = true; }
    void Pause();
    void Resume();
    void SetCpuKind(std::uint8_t kind);
    std::uint8_t CpuKind() const { return cpuKind_; }
    void RequestSaveState() { saveRequested_ = true; }
    void RequestLoadState() { loadRequested_ = true; }
    // Makes the next Run load the state file before its first instruction
    // (the headless tool's way to resume a saved machine).
    void RequestLoadStateAtStart() { loadAtStart_ = true; }

    // The state file: by default the program file's name with ".sav" in the
    // program's folder, or in the user's configuration folder when the
    // program's folder cannot be written.
    const std::filesystem::path& StateFilePath() const { return stateFile_; }
    void SetStateFilePath(std::filesystem::path path) { stateFile_ = std::move(path); }
    static std::filesystem::path DefaultStateFilePath();

    // Outcome of the last save and the last load that the loop served.
    enum class StateResult { None, Ok, Failed };
    StateResult LastSaveResult() const { return lastSave_; }
    StateResult LastLoadResult() const { return lastLoad_; }

    // The messages of the snapshot.
    static constexpr const char* kMsgCannotDeleteOld = "Не удалось удалить старый файл!";
    static constexpr const char* kMsgSaveFailed = "Сохранение почему-то не получилось!";
    static constexpr const char* kMsgNoStateFile = "Файл с сохранением отсутствует!";
    static constexpr const char* kMsgLoadFailed = "Загрузка почему-то не получилась!";

    // Drive operations (drive 0-3 = A-D), passed to the floppy controller.
    bool LoadImage(int drive, const std::string& fileName);
    bool SaveImage(int drive, const std::string& fileName);
    std::string FileName(int drive) const;
    std::string DiskInfo(int drive) const;
    bool EjectImage(int drive);
    bool IsLatchClosed(int drive) const;
    void SetLatch(int drive, bool closed);
    bool HasImage(int drive) const;

    tBMMGDI4Bitmap& GetFrame();
    tTimer_i8254& GetTimer();
    tMemory_Korvet64Kb& GetMemory() { return *memory_; }
    bool IsFrameDirty() const { return memory_->IsDirty(); }
    void SetFrameDirty(bool dirty) { memory_->SetDirty(dirty); }

    void SetOnStateChange(StateChangeFn fn) { onStateChange_ = std::move(fn); }
    bool Sync() const { return sync_; }
    void SetSync(bool sync) { sync_ = sync; }
    bool Running() const { return running_; }
    bool Paused() const { return paused_; }
    std::int32_t FPS() const { return fps_; }
    std::int32_t Clock() const { return clock_; }
    std::uint64_t SliceCount() const { return sliceCount_; }

    CpuState& Cpu() { return *cpuState_; }
    const CpuEntries& Entries() const { return entries_; }
    tRomImages& Roms() { return roms_; }
    tHost& Host() { return host_; }

    // The loop's pacing figures, for the front end and tests.
    double Factor() const { return loop_.factor; }
    std::uint64_t SlicePeriod() const { return loop_.slicePeriod; }
    std::int32_t SkippedInARow() const { return loop_.skipped; }
    // Frames drawn on the canvas and frames skipped since the last Run.
    std::uint64_t FramesDrawn() const { return framesDrawn_; }
    std::uint64_t FramesSkipped() const { return framesSkipped_; }
    std::uint64_t FramesCompleted() const { return framesCompleted_; }

private:
    // The loop's values that survive from step to step.
    struct LoopState {
        std::int32_t remaining = 0;
        std::int32_t sliceIndex = 0;
        std::int32_t skipped = 0;
        std::int32_t drawn = 0;
        std::int32_t frame50 = 0;
        std::uint64_t frequency = 0;
        double factor = 0.9;
        std::uint64_t slicePeriod = 0;
        std::uint64_t sliceDeadline = 0, sliceNow = 0;
        std::uint64_t framePeriod = 0;
        std::uint64_t frameDeadline = 0, frameNow = 0;
        std::uint64_t fpsWindowEnd = 0, fpsNow = 0;
        bool syncCopy = true;
        // How late (in counter units) the host's sleeps have been ending;
        // only a real-time counter is slept on (see WaitUntil).
        std::uint64_t sleepLateness = 0;
    };

    static std::uint8_t BusRead(CpuState* s, std::uint16_t address);
    static void BusWrite(CpuState* s, std::uint16_t address, std::uint8_t value);
    static std::uint8_t BusPortRead(CpuState* s, std::uint8_t port);
    static void BusPortWrite(CpuState* s, std::uint8_t port, std::uint8_t value);
    static bool BusInterruptAck(CpuState* s, std::uint16_t* address);

    void StartTiming();
    // Hands the core the memory map's direct pages and the interrupt
    // controller's pending flag.
    void AttachFastPaths();
    void SliceEnd(TBMMCanvas2D* canvas);
    // The wait after a slice that is not the last of its frame.
    void SliceWait();
    void FrameEnd(TBMMCanvas2D* canvas);
    void RecomputeSlicePeriod();
    // Waits until the counter reaches `deadline`, its last reading in `now`.
    // On a real-time counter it sleeps; a wait that is not `exact` may end
    // a little early rather than poll for the last stretch.
    void WaitUntil(std::uint64_t deadline, std::uint64_t& now, bool exact);
    // The sound channel on timer channel 0 is switched on and off here.
    void SetSoundOn(bool on);
    // Snapshot (Snapshot.cpp): served by the loop between two steps.
    bool BuildState(tByteStream& stream);
    void SaveStateFile();
    void LoadStateFile(TBMMCanvas2D* canvas);
    void NotifyStateChange();
    void EndOfRun();

    tHost& host_;
    tRomImages roms_;
    std::int32_t clock_ = 2500000;
    std::uint64_t sliceCount_ = 0;
    std::int32_t fps_ = 0;
    bool running_ = false;
    bool stopRequested_ = false;
    bool paused_ = false;
    bool resynchronise_ = false;
    StateChangeFn onStateChange_;
    bool sync_ = true;
    std::unique_ptr<CpuState> cpuState_;
    std::unique_ptr<tMemory_Korvet64Kb> memory_;
    CpuEntries entries_{};
    std::uint8_t cpuKind_ = kCpuI8080;
    bool saveRequested_ = false;
    bool loadRequested_ = false;
    bool loadAtStart_ = false;
    std::filesystem::path stateFile_;
    StateResult lastSave_ = StateResult::None;
    StateResult lastLoad_ = StateResult::None;
    LoopState loop_;
    std::int32_t cyclesPerSlice_ = 500;
    std::int32_t retraceSlices_ = 15;
    std::uint64_t framesDrawn_ = 0;
    std::uint64_t framesSkipped_ = 0;
    std::uint64_t framesCompleted_ = 0;
};

}  // namespace velgard
