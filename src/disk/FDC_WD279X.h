#pragma once
// The Korvet's floppy disk controller: a WD279X (WD1793 family) with the
// drive-select register in front of it, and the four drives A-D with the
// disk images they hold.
//
// The model has no timing: every command completes at once. A status read
// right after a positioning command still shows BUSY once. Sector transfers
// go byte by byte through the data register with DRQ set until the last
// byte. Only Force Interrupt (immediate, or a ready transition it armed)
// raises the interrupt request; the machine loop takes it with
// TakeInterruptRequest() at slice ends and raises interrupt line 7.
//
// Disk geometry is fixed: 2 sides, tracks 0-79, 5 sectors of 1024 bytes.
// Byte B of (track T, side S, sector R) is at image offset
// (T * 2 + S) * 5120 + (R - 1) * 1024 + B. Accesses past the end of a short
// image read 0 and store nothing.
//
// Drive numbers are 0-3 (A-D) everywhere; operations given another number
// fail (or answer "empty") without touching anything.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "machine/Host.h"

namespace velgard {

inline constexpr int kDriveCount = 4;
inline constexpr std::size_t kFdcSectorSize = 1024;
inline constexpr std::size_t kFdcSectorsPerTrack = 5;
inline constexpr std::size_t kFdcTrackSideSize = kFdcSectorSize * kFdcSectorsPerTrack;  // 5120
inline constexpr std::size_t kFdcTracks = 80;
inline constexpr std::size_t kDiskImageSize = kFdcTrackSideSize * 2 * kFdcTracks;     // 819200
// Image files outside these sizes are refused without a message.
inline constexpr std::size_t kMinImageFileSize = 24576;
inline constexpr std::size_t kMaxImageFileSize = 1048576;
// Length of the disk header at the start of track 0.
inline constexpr std::size_t kDiskHeaderSize = 32;

// I/O offsets of the controller's registers inside the machine's I/O page.
inline constexpr std::uint8_t kFdcPortCommand = 0x18;   // write: command, read: status
inline constexpr std::uint8_t kFdcPortTrack = 0x19;
inline constexpr std::uint8_t kFdcPortSector = 0x1A;
inline constexpr std::uint8_t kFdcPortData = 0x1B;
inline constexpr std::uint8_t kFdcPortDriveControl = 0x39;

// True when the bytes form a disk this machine can use: at least 32 bytes,
// a 133 mm double-sided disk of 1024-byte sectors, 5 per track, >= 80 tracks.
bool IsAcceptedDiskFormat(std::span<const std::uint8_t> image);

// The disk information text (lines joined by CR LF) for an image, or
// "Диск отсутствует или имеет неизвестный формат!" for one shorter than the
// header, or "Неизвестный формат!" when its figures cannot be computed.
std::string DiskInfoText(std::span<const std::uint8_t> image);

// The header checksum the accepted-format check expects in byte 31:
// (0x66 + sum of header bytes 0-30) mod 256. Needs at least 31 bytes.
std::uint8_t DiskHeaderChecksum(std::span<const std::uint8_t> image);

class tFCD_WD279X {
public:
    // Status register bits.
    static constexpr std::uint8_t kStatusBusy = 0x01;
    static constexpr std::uint8_t kStatusDrq = 0x02;   // also "index" after positioning
    static constexpr std::uint8_t kStatusLostData = 0x04;  // also "track 0"
    static constexpr std::uint8_t kStatusSeekError = 0x10;
    static constexpr std::uint8_t kStatusHeadLoaded = 0x20;
    static constexpr std::uint8_t kStatusNotReady = 0x80;

    // `host` shows the questions and warnings and must outlive the controller.
    explicit tFCD_WD279X(tHost& host);
    // Offers to save every drive with unsaved changes (a Yes/No question
    // each), then empties the drives.
    virtual ~tFCD_WD279X();

    tFCD_WD279X(const tFCD_WD279X&) = delete;
    tFCD_WD279X& operator=(const tFCD_WD279X&) = delete;

    // ---- Registers, as the processor sees them --------------------------
    // Returns the status; after a positioning command BUSY drops once read.
    virtual std::uint8_t ReadStatus();
    virtual void WriteCommand(std::uint8_t value);
    virtual std::uint8_t ReadTrack() const { return track_; }
    virtual void WriteTrack(std::uint8_t value);
    virtual std::uint8_t ReadSector() const { return sector_; }
    virtual void WriteSector(std::uint8_t value);
    virtual std::uint8_t ReadData();
    virtual void WriteData(std::uint8_t value);
    virtual std::uint8_t ReadDriveControl() const { return driveControl_; }
    virtual void WriteDriveControl(std::uint8_t value);

    // Dispatch by I/O offset (kFdcPort*). Returns false (and reads 0) for an
    // offset that is not one of the controller's.
    bool ReadPort(std::uint8_t offset, std::uint8_t& value);
    bool WritePort(std::uint8_t offset, std::uint8_t value);

    // ---- Interrupt request (INTRQ) ---------------------------------------
    bool InterruptRequest() const { return interruptRequest_ != 0; }
    // Reads and clears the request: the loop calls it at every slice end.
    bool TakeInterruptRequest();
    // Cleared by the machine at the start of every run.
    void ClearInterruptRequest() { interruptRequest_ = 0; }
    // The armed I0-I3 bits of the last Force Interrupt.
    std::uint8_t InterruptConditions() const { return interruptConditions_; }

    // Evaluates the armed ready-transition conditions of Force Interrupt
    // against `drive` (called on drive control writes and whenever a drive's
    // image or latch changes; the machine also calls the selected-drive form
    // after it has loaded a snapshot).
    void EvaluateReadyConditions(int drive);
    void EvaluateReadyConditions() { EvaluateReadyConditions(drive_); }

    // Inspection of the controller's inner state (debugger, tests).
    int SelectedDrive() const { return drive_; }
    int Side() const { return side_; }
    std::uint8_t Command() const { return command_; }
    std::uint8_t DataRegister() const { return data_; }

    // ---- Drives ----------------------------------------------------------
    // Ready: holds an image and the latch is closed.
    bool IsReady(int drive) const;

    // Loads an image file. A file below 24,576 or above 1,048,576 bytes is
    // refused silently (the drive keeps its disk). A refused format shows
    // "Формат данного образа диска пока неподдерживается!" and leaves the
    // drive empty.
    bool LoadImage(int drive, const std::string& path);
    // Writes the drive's image to `path` (replacing the file atomically).
    // Without `overwrite` it refuses another drive's file and asks before
    // replacing an existing one.
    bool SaveImage(int drive, const std::string& path, bool overwrite);
    // Puts a copy of `data` into the drive under the file name `name` with
    // the given changed flag (the disk manager hands its edited copy back so).
    bool InsertImage(int drive, const std::uint8_t* data, std::size_t size, const std::string& name,
                     bool changed);
    bool InsertImage(int drive, std::span<const std::uint8_t> data, const std::string& name,
                     bool changed) {
        return InsertImage(drive, data.data(), data.size(), name, changed);
    }
    // Offers to save changes, then empties the drive and opens its latch.
    bool EjectImage(int drive);
    // Writes unsaved changes to the drive's file, asking first when `ask`.
    // False only when writing the changes failed.
    bool SaveIfChanged(int drive, bool ask);

    void SetLatch(int drive, bool closed);
    bool IsLatchClosed(int drive) const;

    bool HasImage(int drive) const;
    std::size_t ImageSize(int drive) const;
    // nullptr for an empty drive.
    const std::uint8_t* ImageData(int drive) const;
    std::span<const std::uint8_t> Image(int drive) const;
    bool IsChanged(int drive) const;
    std::string FileName(int drive) const;
    std::string DiskInfo(int drive) const;

    // "A".."D" for drives 0-3.
    static std::string DriveLetter(int drive);

private:
    struct tDrive {
        std::vector<std::uint8_t> image;
        bool latchClosed = false;
        std::string fileName;
        bool changed = false;
    };

    static bool ValidDrive(int drive) { return drive >= 0 && drive < kDriveCount; }
    void EmptyDrive(int drive);
    // Image offset of the byte the transfer is at, or -1 past the image.
    long TransferOffset() const;
    // Steps 1-2 of a data access during a transfer.
    void AdvanceTransfer();
    void SetPositionStatus();

    tHost& host_;
    std::array<tDrive, kDriveCount> drives_{};

    std::uint8_t driveControl_ = 0;
    std::uint8_t command_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t track_ = 0;
    std::uint8_t sector_ = 1;
    std::uint8_t data_ = 0;
    int drive_ = 0;
    int side_ = 0;
    int direction_ = 1;
    std::uint8_t sectorsLeft_ = 0;
    std::uint32_t bytesLeft_ = 0;
    int transfer_ = 0;      // 0 none, 1 reading, 2 writing
    int commandType_ = 0;   // 1 positioning, 2 sector transfer, 4 force interrupt
    std::uint8_t interruptRequest_ = 0;
    std::uint8_t interruptConditions_ = 0;
};

}  // namespace velgard
