// The machine state snapshot: the memory map block, and the state file
// that the loop writes and reads between two processor steps.
//
// The file is a flat little-endian stream without a header of its own:
//   processor kind (1 byte: 0 = i8080, 1 = Z80)
//   processor block (tag, size, registers: 44 bytes for the i8080, 60 for the Z80)
//   memory map block (below, with the timer and interrupt controller blocks)
//   SliceCount (u64), then the loop's remaining cycles, slice index,
//   skipped frames, frames drawn, frames since re-anchoring and FPS (i32 each)
//   check trailer: the four bytes "VGCK" and the CRC-32 (u32) of every byte
//   before the trailer
//
// The check trailer is our addition to the stream: the structure alone
// cannot tell a flipped bit in RAM or in a register from a real value. A
// file without the trailer (written before it existed) is still loaded,
// with the structural checks only; a file with the trailer loads only when
// the sum matches.
//
// Saving writes a temporary file and renames it over the old one, so that
// a failed save never costs the previous state. Loading reads and checks
// the whole file against a scratch processor state and a scratch memory map
// first; only a file that is sound from the first byte to the last
// replaces the running machine.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "devices/PIC_I8259A.h"
#include "devices/SoundChannel.h"
#include "devices/TIMER_I8253.h"
#include "disk/AtomicFile.h"
#include "disk/FDC_WD279X.h"
#include "graphics/BMMBitmap.h"
#include "graphics/BMMCanvas2D.h"
#include "graphics/ByteStream.h"
#include "machine/EmuKorvet.h"
#include "machine/Host.h"

namespace velgard {

namespace fs = std::filesystem;

namespace {

// Page bitmap record: offsets of the width and height, and its length for
// a 512 x 256 page.
constexpr std::size_t kRecordWidthAt = 20;
constexpr std::size_t kRecordHeightAt = 24;
constexpr std::size_t kRecordHeaderSize = 32;

// Frames the loop skips in a row at most.
constexpr std::int32_t kMaxSkippedFrames = 5;

// The largest ROM image a state may carry: the whole address space.
constexpr std::int32_t kMaxRomLength = 65536;

std::int32_t PeekI32(const tByteStream& s, std::size_t at) {
    const auto& d = s.Data();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
                                     (static_cast<std::uint32_t>(d[at + 2]) << 16) |
                                     (static_cast<std::uint32_t>(d[at + 3]) << 24));
}

bool IsBool(std::uint8_t v) { return v <= 1; }

constexpr std::uint8_t kTrailerMagic[4] = {'V', 'G', 'C', 'K'};
constexpr std::size_t kTrailerSize = 8;

// CRC-32 (the polynomial of zip and PNG, reflected 0xEDB88320).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Checks and removes the check trailer. False when there is one and the
// sum does not match; a file without a trailer is left as it is.
bool StripTrailer(std::vector<std::uint8_t>& data) {
    if (data.size() < kTrailerSize) return true;
    const std::uint8_t* t = data.data() + data.size() - kTrailerSize;
    if (!std::equal(std::begin(kTrailerMagic), std::end(kTrailerMagic), t)) return true;
    if (GetU32(t + 4) != Crc32(data.data(), data.size() - kTrailerSize)) return false;
    data.resize(data.size() - kTrailerSize);
    return true;
}

}  // namespace

// ---- Memory map block ------------------------------------------------------

bool tMemory_Korvet64Kb::SaveState(tByteStream& s) const {
    s.Write(ram_.data(), ram_.size());
    for (const auto& map : pageMaps_) s.Write(map.data(), map.size());
    for (const auto& rec : records_)
        for (std::uint16_t v : rec) s.WriteU16(v);
    s.WriteI32(static_cast<std::int32_t>(rom_.size()));
    s.Write(rom_.data(), rom_.size());
    s.Write(palette_.data(), palette_.size());
    for (const auto& c : kColourTable) s.Write(c.data(), c.size());
    s.Write(chars_.data(), chars_.size());
    bool ok = true;
    for (const auto& bitmap : bitmaps_) ok = bitmap->SaveToStream(s) && ok;
    s.Write(paletteRefresh_.data(), paletteRefresh_.size());
    s.Write(textRowFlags_.data(), textRowFlags_.size());
    for (std::uint32_t v : colourValues_) s.WriteU32(v);
    s.Write(font_.data(), font_.size());
    s.WriteU16(configuration_);
    s.WriteU16(systemRegister_);
    s.WriteU16(colourRegister_);
    s.WriteU16(port32_);
    ok = timer_->SaveState(s) && ok;
    ok = pic_->SaveState(s) && ok;
    for (std::uint16_t base : {romBase_, systemBase_, ioBase_, keyboardBase_, charactersBase_, graphicsBase_})
        s.WriteU16(base);
    s.WriteU8(retrace_);
    s.WriteU8(attributeLatch_);
    s.WriteBool(attributeReadMode_);
    s.WriteU8(writeLow_);
    s.WriteU8(writeHigh_);
    s.WriteU8(compareLow_);
    s.WriteU8(compareHigh_);
    s.WriteBool(directMode_);
    s.WriteBool(singlePage_);
    return ok;
}

bool tMemory_Korvet64Kb::LoadState(tByteStream& s) {
    Reset(false);
    if (!s.Read(ram_.data(), ram_.size())) return false;

    // The page maps and configuration records are the program's own
    // tables; a state that disagrees with them has been damaged.
    for (const auto& map : pageMaps_) {
        std::array<std::uint8_t, 256> stored{};
        if (!s.Read(stored.data(), stored.size()) || stored != map) return false;
    }
    for (const auto& rec : records_) {
        for (std::uint16_t v : rec) {
            std::uint16_t stored = 0;
            if (!s.ReadU16(stored) || stored != v) return false;
        }
    }

    // A length of 0 or less keeps the ROM image that is installed.
    std::int32_t romLength = 0;
    if (!s.ReadI32(romLength) || romLength > kMaxRomLength) return false;
    if (romLength > 0) {
        std::vector<std::uint8_t> rom(static_cast<std::size_t>(romLength));
        if (!s.Read(rom.data(), rom.size())) return false;
        rom_ = std::move(rom);
        BuildReadPages();
    }

    if (!s.Read(palette_.data(), palette_.size())) return false;
    for (std::uint8_t p : palette_)
        if (p > 15) return false;
    for (const auto& c : kColourTable) {
        std::array<std::uint8_t, 4> stored{};
        if (!s.Read(stored.data(), stored.size()) || stored != c) return false;
    }
    if (!s.Read(chars_.data(), chars_.size())) return false;

    for (int p = 0; p < kGraphicsPages; ++p) {
        // The size is looked at before the record is read, so that a
        // damaged record cannot ask for a huge bitmap.
        const std::size_t at = s.Position();
        if (s.Remaining() < kRecordHeaderSize || PeekI32(s, at + kRecordWidthAt) != kScreenWidth ||
            PeekI32(s, at + kRecordHeightAt) != kScreenHeight)
            return false;
        tBMMGDI4Bitmap& bitmap = *bitmaps_[p];
        // A refused record leaves the bitmap empty; its change notification
        // gives the page its storage back, so no row is ever missing.
        if (!bitmap.LoadFromStream(s)) return false;
        if (bitmap.Width() != kScreenWidth || bitmap.Height() != kScreenHeight) {
            TakeRows(p);
            return false;
        }
    }

    if (!s.Read(paletteRefresh_.data(), paletteRefresh_.size())) return false;
    if (!s.Read(textRowFlags_.data(), textRowFlags_.size())) return false;
    for (std::uint32_t& v : colourValues_)
        if (!s.ReadU32(v)) return false;
    if (!s.Read(font_.data(), font_.size())) return false;

    std::uint16_t configuration = 0, systemRegister = 0, colourRegister = 0, port32 = 0;
    if (!s.ReadU16(configuration) || !s.ReadU16(systemRegister) || !s.ReadU16(colourRegister) ||
        !s.ReadU16(port32))
        return false;
    if (configuration >= kConfigurations || systemRegister > 0xFF || colourRegister > 0xFF || port32 > 0xFF)
        return false;
    configuration_ = configuration;
    systemRegister_ = systemRegister;
    colourRegister_ = colourRegister;
    port32_ = port32;
    // The page map and record follow the configuration; the base addresses
    // come from the stream below.
    pageMap_ = pageMaps_[configuration_].data();
    readPage_ = readPages_[configuration_].data();
    record_ = records_[configuration_].data();

    // The machine's timer has the sound channel as channel 0 and two plain
    // channels: a block with other kinds is not one of ours.
    if (!timer_->LoadState(s)) return false;
    for (int i = 0; i < tTimer_i8254::kChannels; ++i) {
        const tTimer_i8254_Channel* ch = timer_->Channel(i);
        const std::uint8_t want = i == 0 ? tTimer_i8254_Channel::kKindSound : tTimer_i8254_Channel::kKindPlain;
        if (!ch || ch->Kind() != want) return false;
    }
    if (!Sound()) return false;
    if (!pic_->LoadState(s)) return false;

    for (std::uint16_t* base : {&romBase_, &systemBase_, &ioBase_, &keyboardBase_, &charactersBase_, &graphicsBase_})
        if (!s.ReadU16(*base)) return false;
    std::uint8_t b[9] = {};
    if (!s.Read(b, sizeof b)) return false;
    // Flags are 0 or 1 and the attribute latch 0x00 or 0x80.
    if ((b[1] != 0 && b[1] != 0x80) || !IsBool(b[2]) || !IsBool(b[7]) || !IsBool(b[8])) return false;
    retrace_ = b[0];
    attributeLatch_ = b[1];
    attributeReadMode_ = b[2] != 0;
    writeLow_ = b[3];
    writeHigh_ = b[4];
    compareLow_ = b[5];
    compareHigh_ = b[6];
    directMode_ = b[7] != 0;
    singlePage_ = b[8] != 0;

    cpuPage_ = singlePage_ ? 0 : static_cast<int>(systemRegister_ >> 6);
    dirty_ = true;
    return true;
}

// ---- State file ------------------------------------------------------------

fs::path tComputer_I8080_Korvet::DefaultStateFilePath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) exe = fs::path("velgard");
    fs::path name = exe.filename();
    name.replace_extension(".sav");
    const fs::path folder = exe.parent_path();
    if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0) return folder / name;
    // The program's folder is read-only (an installed program): the user's
    // configuration folder takes the file. A relative XDG_CONFIG_HOME is
    // not valid and is passed over.
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        config = fs::path(home) / ".config";
    } else {
        config = fs::temp_directory_path(ec);
    }
    return config / "velgard" / name;
}

bool tComputer_I8080_Korvet::BuildState(tByteStream& s) {
    s.WriteU8(cpuKind_);
    CpuState* cpu = cpuState_.get();
    std::uint32_t length = 0;
    entries_.SaveState(cpu, nullptr, &length);  // asks for the size only
    if (length == 0) return false;
    std::vector<std::uint8_t> block(length);
    if (!entries_.SaveState(cpu, block.data(), &length)) return false;
    s.Write(block.data(), length);
    if (!memory_->SaveState(s)) return false;
    s.WriteU64(sliceCount_);
    s.WriteI32(loop_.remaining);
    s.WriteI32(loop_.sliceIndex);
    s.WriteI32(loop_.skipped);
    s.WriteI32(loop_.drawn);
    s.WriteI32(loop_.frame50);
    s.WriteI32(fps_);
    const std::uint32_t crc = Crc32(s.Data().data(), s.Data().size());
    s.Write(kTrailerMagic, sizeof kTrailerMagic);
    s.WriteU32(crc);
    return true;
}

void tComputer_I8080_Korvet::SaveStateFile() {
    tByteStream s;
    if (!BuildState(s)) {
        lastSave_ = StateResult::Failed;
        host_.ShowMessage(kMsgSaveFailed, MessageKind::Warning);
        return;
    }
    std::error_code ec;
    if (stateFile_.has_parent_path()) fs::create_directories(stateFile_.parent_path(), ec);
    switch (WriteFileAtomically(stateFile_, s.Data())) {
    case AtomicWriteStatus::Ok:
        lastSave_ = StateResult::Ok;
        return;
    case AtomicWriteStatus::TargetReadOnly:
        // The old file stays as it was; nothing is written.
        lastSave_ = StateResult::Failed;
        host_.ShowMessage(kMsgCannotDeleteOld, MessageKind::Warning);
        return;
    case AtomicWriteStatus::Failed: {
        // An old file whose folder takes no new file (write-protected,
        // immutable, a read-only file system) cannot be replaced: that is
        // the old file that cannot be deleted. It stays as it was.
        const fs::path folder = stateFile_.has_parent_path() ? stateFile_.parent_path() : fs::path(".");
        if (fs::exists(stateFile_, ec) && ::access(folder.c_str(), W_OK) != 0) {
            lastSave_ = StateResult::Failed;
            host_.ShowMessage(kMsgCannotDeleteOld, MessageKind::Warning);
            return;
        }
        break;
    }
    }
    lastSave_ = StateResult::Failed;
    host_.ShowMessage(kMsgSaveFailed, MessageKind::Warning);
}

void tComputer_I8080_Korvet::LoadStateFile(TBMMCanvas2D* canvas) {
    std::error_code ec;
    if (!fs::exists(stateFile_, ec)) {
        lastLoad_ = StateResult::Failed;
        host_.ShowMessage(kMsgNoStateFile, MessageKind::Warning);
        return;
    }
    auto refuse = [this] {
        // The running machine is left exactly as it was and runs on.
        lastLoad_ = StateResult::Failed;
        host_.ShowMessage(kMsgLoadFailed, MessageKind::Warning);
    };

    std::vector<std::uint8_t> data;
    {
        std::ifstream in(stateFile_, std::ios::binary);
        if (!in) return refuse();
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) return refuse();
    }
    if (!StripTrailer(data)) return refuse();
    tByteStream s(std::move(data));

    // 1. The processor, into a scratch state of the stored kind.
    std::uint8_t kind = 0;
    if (!s.ReadU8(kind)) return refuse();
    kind = kind == kCpuZ80 ? kCpuZ80 : kCpuI8080;
    CpuEntries entries{};
    InstallCore(entries, kind);
    CpuState registers{};
    std::uint32_t need = 0;
    entries.LoadState(&registers, nullptr, &need);  // asks for the size only
    if (need == 0 || s.Remaining() < need) return refuse();
    const std::size_t blockStart = s.Position();
    std::vector<std::uint8_t> block(need);
    s.Read(block.data(), block.size());
    std::uint32_t used = need;
    if (!entries.LoadState(&registers, block.data(), &used)) return refuse();
    // A stored block longer than the core reads is skipped whole.
    if (!s.Seek(blockStart + used)) return refuse();

    // 2. The memory map, into a scratch map.
    const std::size_t memoryStart = s.Position();
    {
        auto scratch = std::make_unique<tMemory_Korvet64Kb>(*this, host_);
        if (!scratch->LoadState(s)) return refuse();
    }

    // 3. The loop's values: only values the loop itself can hold.
    std::uint64_t sliceCount = 0;
    LoopState loop = loop_;
    std::int32_t fps = 0;
    if (!s.ReadU64(sliceCount) || !s.ReadI32(loop.remaining) || !s.ReadI32(loop.sliceIndex) ||
        !s.ReadI32(loop.skipped) || !s.ReadI32(loop.drawn) || !s.ReadI32(loop.frame50) || !s.ReadI32(fps))
        return refuse();
    if (loop.remaining < 1 || loop.remaining > cyclesPerSlice_ || loop.sliceIndex < 1 ||
        loop.sliceIndex > kSlicesPerFrame || loop.skipped < 0 || loop.skipped > kMaxSkippedFrames || loop.drawn < 0 ||
        loop.frame50 < 0 || loop.frame50 >= kFramesPerSecond || fps < 0)
        return refuse();
    // Nothing may follow.
    if (s.Remaining() != 0) return refuse();

    // The whole file is sound: it replaces the running machine. The map
    // reads the very bytes the scratch map accepted.
    tByteStream again(s.Data());
    again.Seek(memoryStart);
    SetCpuKind(kind);
    registers.Entries = &entries_;
    registers.Owner = this;
    *cpuState_ = registers;
    if (!memory_->LoadState(again)) {
        // Cannot happen (the same bytes were accepted above); if it did,
        // the machine would be half loaded, so the run ends.
        lastLoad_ = StateResult::Failed;
        host_.ShowMessage(kMsgLoadFailed, MessageKind::Warning);
        stopRequested_ = true;
        return;
    }
    // The timer's channels count the periods of modes 2 and 3 from the
    // restored cycle total on.
    memory_->Timer().SyncPeriods(cpuState_->TotalCycles);
    sliceCount_ = sliceCount;
    loop_.remaining = loop.remaining;
    loop_.sliceIndex = loop.sliceIndex;
    loop_.skipped = loop.skipped;
    loop_.drawn = loop.drawn;
    loop_.frame50 = loop.frame50;
    fps_ = fps;

    // Real time starts afresh from now.
    const std::uint64_t now = host_.ReadCounter();
    loop_.fpsWindowEnd = now + loop_.frequency;
    loop_.frameNow = now;
    loop_.frameDeadline = now + loop_.framePeriod;
    loop_.factor = 0.9;
    RecomputeSlicePeriod();
    loop_.sliceNow = now;
    loop_.sliceDeadline = now + loop_.slicePeriod;

    // The sound follows the run state, not the state it was saved in.
    SetSoundOn(!paused_);

    // The restored picture is shown at once.
    tMemory_Korvet64Kb& mem = *memory_;
    if (canvas) {
        canvas->BeginFrame();
        canvas->DrawBitmap(mem.UpdateFrame());
        canvas->EndFrame();
    } else {
        mem.UpdateFrame();
    }

    // The disks in the drives now meet a controller state they were not
    // part of: its ready conditions are looked at again.
    mem.Fdc().EvaluateReadyConditions();
    lastLoad_ = StateResult::Ok;
}

}  // namespace velgard
