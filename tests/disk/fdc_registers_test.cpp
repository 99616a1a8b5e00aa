// The controller as the Korvet's programs see it: through its registers.
#include <gtest/gtest.h>

#include "disk/DiskTestSupport.h"
#include "disk/FDC_WD279X.h"
#include "machine/HeadlessHost.h"

namespace velgard {
namespace {

using test::PatternImage;

class FdcTest : public ::testing::Test {
protected:
    FdcTest() : fdc(host) {}
    void InsertPattern(int drive, std::size_t size = kDiskImageSize) {
        image = PatternImage(size);
        ASSERT_TRUE(fdc.InsertImage(drive, image, "", false));
    }
    HeadlessHost host;
    tFCD_WD279X fdc;
    std::vector<std::uint8_t> image;
};

TEST_F(FdcTest, PositioningCommandsGiveTheStatusSequences) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);

    // Seek to 10, then Restore: BUSY is seen once, then drops.
    fdc.WriteData(10);
    fdc.WriteCommand(0x10);
    EXPECT_EQ(fdc.ReadTrack(), 10);
    EXPECT_EQ(fdc.ReadStatus(), 0x23);
    EXPECT_EQ(fdc.ReadStatus(), 0x22);
    fdc.WriteCommand(0x00);
    EXPECT_EQ(fdc.ReadTrack(), 0);
    EXPECT_EQ(fdc.ReadStatus(), 0x27);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);

    // Seek beyond track 79: SEEK ERROR, track unchanged.
    fdc.WriteData(5);
    fdc.WriteCommand(0x10);
    ASSERT_EQ(fdc.ReadTrack(), 5);
    fdc.ReadStatus();
    fdc.WriteData(80);
    fdc.WriteCommand(0x10);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    EXPECT_EQ(fdc.ReadTrack(), 5);

    // Step Out, then Step keeps stepping out; Step In reverses.
    fdc.WriteCommand(0x60);
    fdc.ReadStatus();
    EXPECT_EQ(fdc.ReadTrack(), 4);
    fdc.WriteCommand(0x20);
    EXPECT_EQ(fdc.ReadStatus(), 0x23);
    EXPECT_EQ(fdc.ReadTrack(), 3);
    fdc.ReadStatus();
    fdc.WriteCommand(0x40);
    fdc.ReadStatus();
    fdc.WriteCommand(0x30);  // Step with the update bit: still follows
    fdc.ReadStatus();
    EXPECT_EQ(fdc.ReadTrack(), 5);

    // Step Out down to 0 shows track 0; one more is a seek error.
    fdc.WriteData(1);
    fdc.WriteCommand(0x10);
    fdc.ReadStatus();
    fdc.WriteCommand(0x60);
    EXPECT_EQ(fdc.ReadStatus(), 0x27);
    fdc.ReadStatus();
    fdc.WriteCommand(0x60);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    EXPECT_EQ(fdc.ReadTrack(), 0);
    fdc.WriteCommand(0x20);  // direction is -1 at track 0
    EXPECT_EQ(fdc.ReadStatus(), 0x10);

    // Step In at 79 is refused.
    fdc.WriteTrack(79);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);
    fdc.WriteCommand(0x40);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    EXPECT_EQ(fdc.ReadTrack(), 79);
}

TEST_F(FdcTest, TrackAndSectorRegisterWritesAreChecked) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    fdc.WriteTrack(80);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    fdc.WriteTrack(3);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);
    EXPECT_EQ(fdc.ReadTrack(), 3);
    fdc.WriteSector(0);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    fdc.WriteSector(6);
    EXPECT_EQ(fdc.ReadStatus(), 0x10);
    fdc.WriteSector(5);
    EXPECT_EQ(fdc.ReadStatus(), 0x22);
    EXPECT_EQ(fdc.ReadSector(), 5);
    fdc.WriteTrack(0);
    fdc.WriteSector(2);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);
}

TEST_F(FdcTest, MultiSectorReadFromSectorFourDelivers2048Bytes) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x11);  // drive A, side 1
    fdc.WriteTrack(7);
    fdc.WriteSector(4);
    fdc.WriteCommand(0x90);
    EXPECT_EQ(fdc.ReadStatus(), 0x03);
    const std::size_t base = (7 * 2 + 1) * 5120 + 3 * 1024;
    for (std::size_t i = 0; i < 2048; ++i) {
        if (i == 2047) {
            EXPECT_EQ(fdc.ReadStatus(), 0x03) << "DRQ stays until the last byte";
        }
        ASSERT_EQ(fdc.ReadData(), image[base + i]) << "byte " << i;
        if (i < 2047) {
            ASSERT_EQ(fdc.ReadStatus(), 0x03) << "byte " << i;
        }
    }
    EXPECT_EQ(fdc.ReadStatus(), 0x00);
    EXPECT_EQ(fdc.ReadSector(), 5);
    // Past the end of the run nothing more comes.
    EXPECT_EQ(fdc.ReadData(), 0);

    // A single-sector read delivers 1024 bytes and then zeros.
    fdc.WriteDriveControl(0x01);
    fdc.WriteTrack(0);
    fdc.WriteSector(2);
    fdc.WriteCommand(0x80);
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(fdc.ReadData(), image[1024 + i]);
    EXPECT_EQ(fdc.ReadStatus(), 0x00);
    EXPECT_EQ(fdc.ReadData(), 0);
    EXPECT_EQ(fdc.ReadSector(), 3) << "one more access advances the sector register";
}

TEST_F(FdcTest, WriteSectorLandsAtItsOffsetAndMarksTheDriveChanged) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x11);  // side 1
    fdc.WriteTrack(0);
    fdc.WriteSector(1);
    fdc.WriteData(0x5A);
    fdc.WriteCommand(0xA0);
    EXPECT_TRUE(fdc.IsChanged(0));
    for (int i = 0; i < 1024; ++i) fdc.WriteData(static_cast<std::uint8_t>(i ^ 0xC3));
    EXPECT_EQ(fdc.ReadStatus(), 0x00);
    EXPECT_EQ(fdc.DataRegister(), 0x5A) << "the data register is not touched by a transfer";
    EXPECT_EQ(fdc.ReadData(), 0x5A) << "reading during a write transfer gives the data register";
    const auto disk = fdc.Image(0);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(disk[5120 + i], static_cast<std::uint8_t>(i ^ 0xC3));
    EXPECT_EQ(disk[5119], image[5119]);
    EXPECT_EQ(disk[6144], image[6144]);

    // Multi-sector write from sector 5 covers only sector 5.
    fdc.WriteDriveControl(0x01);
    fdc.WriteTrack(79);
    fdc.WriteSector(5);
    fdc.WriteCommand(0xB0);
    for (int i = 0; i < 1100; ++i) fdc.WriteData(0x11);
    const auto after = fdc.Image(0);
    const std::size_t base = 79 * 2 * 5120 + 4 * 1024;
    EXPECT_EQ(after[base], 0x11);
    EXPECT_EQ(after[base + 1023], 0x11);
    EXPECT_EQ(after[base + 1024], image[base + 1024]);
}

TEST_F(FdcTest, RegisterWritesAreIgnoredWhileBusyOrNotReady) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    fdc.WriteTrack(2);
    fdc.WriteSector(3);
    fdc.WriteCommand(0x80);
    ASSERT_EQ(fdc.ReadStatus(), 0x03);
    fdc.WriteCommand(0x00);  // Restore during the transfer
    fdc.WriteTrack(9);
    fdc.WriteSector(1);
    fdc.WriteCommand(0xD8);  // even Force Interrupt
    EXPECT_EQ(fdc.ReadTrack(), 2);
    EXPECT_EQ(fdc.ReadSector(), 3);
    EXPECT_FALSE(fdc.InterruptRequest());
    EXPECT_EQ(fdc.ReadData(), image[(2 * 2) * 5120 + 2 * 1024]);

    // Drive B empty, side 1: NOT READY, and everything is ignored.
    fdc.WriteDriveControl(0x12);
    EXPECT_EQ(fdc.SelectedDrive(), 1);
    EXPECT_EQ(fdc.ReadStatus(), 0x80);
    fdc.WriteCommand(0x00);
    fdc.WriteTrack(5);
    fdc.WriteSector(2);
    fdc.WriteData(0x77);
    EXPECT_EQ(fdc.ReadStatus(), 0x80);
    EXPECT_EQ(fdc.ReadTrack(), 2);
    EXPECT_EQ(fdc.ReadSector(), 3);
    EXPECT_EQ(fdc.ReadData(), 0);
    EXPECT_EQ(fdc.DataRegister(), 0);

    // Bit 6 makes a ready drive count as not ready.
    fdc.WriteDriveControl(0x41);
    EXPECT_EQ(fdc.ReadStatus(), 0x80);
    // No drive bit: the drive stays, and it is ready again.
    fdc.WriteDriveControl(0x00);
    EXPECT_EQ(fdc.SelectedDrive(), 0);
    EXPECT_EQ(fdc.ReadStatus(), 0x26);
    EXPECT_EQ(fdc.ReadDriveControl(), 0x00);
}

TEST_F(FdcTest, ForceInterruptImmediateAndOnReadyTransitions) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    fdc.WriteCommand(0xD8);
    EXPECT_EQ(fdc.ReadStatus(), 0x26) << "status is not changed";
    EXPECT_TRUE(fdc.TakeInterruptRequest());
    EXPECT_FALSE(fdc.TakeInterruptRequest()) << "taking the request clears it";
    EXPECT_EQ(fdc.InterruptConditions(), 0);

    // Not-ready to ready: fires when the latch of the selected drive closes.
    fdc.SetLatch(0, false);
    fdc.WriteCommand(0xD1);
    EXPECT_FALSE(fdc.InterruptRequest());
    fdc.SetLatch(0, true);
    EXPECT_TRUE(fdc.TakeInterruptRequest());
    EXPECT_EQ(fdc.InterruptConditions() & 0x01, 0) << "the condition is disarmed";
    fdc.SetLatch(0, false);
    fdc.SetLatch(0, true);
    EXPECT_FALSE(fdc.InterruptRequest()) << "fires only once";

    // Ready to not-ready: ejecting the disk fires it.
    fdc.WriteCommand(0xD2);
    EXPECT_FALSE(fdc.InterruptRequest());
    ASSERT_TRUE(fdc.EjectImage(0));
    EXPECT_TRUE(fdc.TakeInterruptRequest());

    // The index condition never fires.
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    fdc.WriteCommand(0xD4);
    fdc.SetLatch(0, false);
    fdc.SetLatch(0, true);
    EXPECT_FALSE(fdc.InterruptRequest());
    fdc.ClearInterruptRequest();
    EXPECT_FALSE(fdc.InterruptRequest());

    // An insertion that is refused (no bytes) still lets the armed
    // conditions look at the drive, which is ready and keeps its disk.
    fdc.WriteCommand(0xD1);
    EXPECT_FALSE(fdc.InterruptRequest());
    EXPECT_FALSE(fdc.InsertImage(0, image.data(), 0, "", false));
    EXPECT_TRUE(fdc.HasImage(0));
    EXPECT_TRUE(fdc.TakeInterruptRequest());
    EXPECT_EQ(fdc.InterruptConditions() & 0x01, 0);
}

TEST_F(FdcTest, UnimplementedCommandsReportLostDataPosition) {
    InsertPattern(0);
    fdc.WriteDriveControl(0x01);
    for (std::uint8_t c : {0xC0, 0xE4, 0xF0}) {
        fdc.WriteDriveControl(0x01);
        fdc.WriteCommand(c);
        EXPECT_EQ(fdc.ReadStatus(), 0x04) << std::hex << int(c);
        EXPECT_EQ(fdc.ReadData(), 0);
    }
    EXPECT_FALSE(fdc.IsChanged(0));
}

TEST_F(FdcTest, ShortImageIsNeverAccessedPastItsEnd) {
    // 24,576 bytes end after track 2, side 0, sector 4.
    InsertPattern(0, 24576);
    fdc.WriteDriveControl(0x01);
    fdc.WriteTrack(2);
    fdc.WriteSector(2);
    fdc.WriteCommand(0x90);
    for (std::size_t i = 0; i < 3 * 1024; ++i) ASSERT_EQ(fdc.ReadData(), image[4 * 5120 + 1024 + i]);
    int nonZero = 0;
    for (int i = 0; i < 1024; ++i) nonZero += fdc.ReadData() != 0;
    EXPECT_EQ(nonZero, 0) << "sector 5 lies past the end of the image";
    fdc.WriteTrack(79);
    fdc.WriteSector(1);
    fdc.WriteCommand(0xB0);
    for (int i = 0; i < 5 * 1024; ++i) fdc.WriteData(0xAA);
    EXPECT_EQ(fdc.ImageSize(0), 24576u);
    const auto disk = fdc.Image(0);
    EXPECT_TRUE(std::equal(disk.begin(), disk.end(), image.begin()));
}

TEST_F(FdcTest, PortDispatchReachesTheRegisters) {
    InsertPattern(0);
    std::uint8_t v = 0xFF;
    EXPECT_TRUE(fdc.WritePort(kFdcPortDriveControl, 0x01));
    EXPECT_TRUE(fdc.ReadPort(kFdcPortCommand, v));
    EXPECT_EQ(v, 0x26);
    EXPECT_TRUE(fdc.WritePort(kFdcPortTrack, 12));
    EXPECT_TRUE(fdc.ReadPort(kFdcPortTrack, v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(fdc.WritePort(kFdcPortSector, 4));
    EXPECT_TRUE(fdc.ReadPort(kFdcPortSector, v));
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(fdc.WritePort(kFdcPortCommand, 0x80));
    EXPECT_TRUE(fdc.ReadPort(kFdcPortData, v));
    EXPECT_EQ(v, image[12 * 2 * 5120 + 3 * 1024]);
    EXPECT_TRUE(fdc.ReadPort(kFdcPortDriveControl, v));
    EXPECT_EQ(v, 0x01);
    EXPECT_FALSE(fdc.ReadPort(0x1C, v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(fdc.WritePort(0x17, 1));
}

}  // namespace
}  // namespace velgard
