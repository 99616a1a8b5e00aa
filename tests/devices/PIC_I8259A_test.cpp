// The interrupt controller: initialisation, priorities, end of interrupt,
// rotation, masks, poll, call addresses and the snapshot block.
#include "devices/PIC_I8259A.h"

#include <gtest/gtest.h>

#include <vector>

namespace velgard {
namespace {

// Acknowledges and returns the call address, or -1 when nothing is offered.
int Ack(tPIC_i8259A& pic) {
    std::uint16_t address = 0xDEAD;
    if (!pic.Acknowledge(address)) return -1;
    return address;
}

// ICW1 (single, interval 8, ICW4 follows), ICW2, ICW4 with `icw4`.
void Init(tPIC_i8259A& pic, std::uint8_t icw2 = 0x00, std::uint8_t icw4 = 0x00) {
    pic.WriteCommand(0x13);
    pic.WriteData(icw2);
    pic.WriteData(icw4);
}

TEST(PicTest, AfterResetDeliversAtLevelTimesEight) {
    tPIC_i8259A pic;
    EXPECT_EQ(pic.ReadStatus(), 0);
    EXPECT_FALSE(pic.Pending());
    EXPECT_EQ(Ack(pic), -1);

    pic.SetRequest(4, true);
    EXPECT_TRUE(pic.Pending());
    EXPECT_EQ(Ack(pic), 0x0020);
    EXPECT_EQ(pic.Isr(), 0x10);
    EXPECT_EQ(pic.Irr(), 0x00);
    // Lines outside 0-7 are ignored rather than shifting out of the byte.
    pic.SetRequest(8, true);
    pic.SetRequest(-1, true);
    EXPECT_EQ(pic.Irr(), 0x00);

    // A full reset clears what the program and the devices left behind.
    pic.SetRequest(1, true);
    pic.WriteCommand(0x0B);
    pic.Reset();
    EXPECT_EQ(pic.Irr(), 0);
    EXPECT_EQ(pic.Isr(), 0);
    EXPECT_EQ(pic.ReadSelect(), 0);
}

TEST(PicTest, CallAddressesForBothIntervals) {
    tPIC_i8259A pic;
    pic.WriteCommand(0x16);  // interval 4, single, no ICW4
    pic.WriteData(0x38);
    EXPECT_EQ(pic.InitState(), 0);
    pic.SetRequest(5, true);
    EXPECT_EQ(Ack(pic), 0x3814);
    pic.WriteCommand(0x20);
    pic.SetRequest(7, true);
    EXPECT_EQ(Ack(pic), 0x381C);
    pic.WriteCommand(0x20);

    // Interval 4 takes address bits 7-5 from ICW1.
    pic.WriteCommand(0xF6);
    pic.WriteData(0x12);
    pic.SetRequest(3, true);
    EXPECT_EQ(Ack(pic), 0x12EC);
    pic.WriteCommand(0x20);

    // Interval 8 takes bits 7-6 from ICW1; bit 5 belongs to the level and
    // nothing carries into the high byte.
    pic.WriteCommand(0xF2);
    pic.WriteData(0x12);
    pic.SetRequest(7, true);
    EXPECT_EQ(Ack(pic), 0x12F8);
    pic.WriteCommand(0x20);
    pic.SetRequest(0, true);
    EXPECT_EQ(Ack(pic), 0x12C0);
}

TEST(PicTest, InitialisationSequence) {
    tPIC_i8259A pic;
    pic.SetRequest(6, true);
    pic.WriteData(0x0F);       // OCW1 while operational
    pic.WriteCommand(0xC4);    // priority pointer 5
    pic.WriteCommand(0x0A);    // read IRR
    pic.WriteCommand(0x80);    // rotate mode on
    EXPECT_EQ(pic.Imr(), 0x0F);

    // Cascaded (SNGL = 0) with ICW4: ICW2, ICW3, ICW4 in that order.
    pic.WriteCommand(0x11);
    EXPECT_EQ(pic.InitState(), 7);
    EXPECT_EQ(pic.ModeFlags(), 0);
    // ICW1 keeps IRR, IMR, the pointer and the read selection.
    EXPECT_EQ(pic.Irr(), 0x40);
    EXPECT_EQ(pic.Imr(), 0x0F);
    EXPECT_EQ(pic.PriorityPointer(), 5);
    EXPECT_EQ(pic.ReadStatus(), 0x40);
    // Nothing is offered while initialising.
    EXPECT_EQ(Ack(pic), -1);

    pic.WriteData(0xFF);  // looks like a full mask, is ICW2
    EXPECT_EQ(pic.Icw(2), 0xFF);
    EXPECT_EQ(pic.VectorHigh(), 0xFF);
    EXPECT_EQ(pic.Imr(), 0x0F);
    EXPECT_EQ(pic.InitState(), 6);
    pic.WriteData(0x04);
    EXPECT_EQ(pic.Icw(3), 0x04);
    EXPECT_EQ(pic.InitState(), 4);
    EXPECT_EQ(Ack(pic), -1);
    pic.WriteData(0x02);  // ICW4 with AEOI
    EXPECT_EQ(pic.Icw(4), 0x02);
    EXPECT_EQ(pic.InitState(), 0);
    EXPECT_EQ(pic.ModeFlags(), tPIC_i8259A::kModeAutoEoi);
    EXPECT_EQ(Ack(pic), 0xFF30);  // level 6, ICW1 bits 7-6 are 0

    // A new ICW1 clears ICW2-4 but not the vector high byte; without IC4
    // and with SNGL only ICW2 follows, and AEOI is off again.
    pic.WriteCommand(0x12);
    EXPECT_EQ(pic.Icw(2), 0);
    EXPECT_EQ(pic.Icw(4), 0);
    EXPECT_EQ(pic.VectorHigh(), 0xFF);
    EXPECT_EQ(pic.InitState(), 1);
    pic.WriteData(0x40);
    EXPECT_EQ(pic.InitState(), 0);
    pic.WriteData(0x55);  // now OCW1
    EXPECT_EQ(pic.Imr(), 0x55);
    EXPECT_EQ(pic.Ocw(1), 0x55);
    EXPECT_EQ(pic.ModeFlags() & tPIC_i8259A::kModeAutoEoi, 0);

    // ICW1 ends whatever was in service.
    pic.SetRequest(1, true);
    EXPECT_EQ(Ack(pic), 0x4008);
    EXPECT_EQ(pic.Isr(), 0x02);
    pic.WriteCommand(0x12);
    EXPECT_EQ(pic.Isr(), 0);
}

TEST(PicTest, FullyNestedPriorityAndEndOfInterrupt) {
    tPIC_i8259A pic;
    Init(pic);
    pic.SetRequest(4, true);
    EXPECT_EQ(Ack(pic), 0x20);
    // Level 4 in service blocks line 5 (lower) and itself...
    pic.SetRequest(5, true);
    EXPECT_EQ(Ack(pic), -1);
    pic.SetRequest(4, true);
    EXPECT_EQ(Ack(pic), -1);
    EXPECT_EQ(pic.Irr(), 0x30);
    // ...but line 2 (higher) nests on top of it.
    pic.SetRequest(2, true);
    EXPECT_EQ(Ack(pic), 0x10);
    EXPECT_EQ(pic.Isr(), 0x14);
    // A non-specific EOI ends the highest level in service: 2, then 4.
    pic.WriteCommand(0x20);
    EXPECT_EQ(pic.Isr(), 0x10);
    EXPECT_EQ(Ack(pic), -1);
    pic.WriteCommand(0x20);
    EXPECT_EQ(pic.Isr(), 0x00);
    // With two requests pending the higher one (4) goes first.
    EXPECT_EQ(Ack(pic), 0x20);
    pic.WriteCommand(0x20);
    EXPECT_EQ(Ack(pic), 0x28);
    EXPECT_EQ(pic.PriorityPointer(), 0);  // plain EOIs do not rotate

    // Specific EOI ends the named level, not the highest.
    pic.SetRequest(1, true);
    pic.WriteCommand(0x20);
    EXPECT_EQ(Ack(pic), 0x08);
    EXPECT_EQ(pic.Isr(), 0x02);
    pic.SetRequest(3, true);
    pic.WriteCommand(0x40);  // no operation
    EXPECT_EQ(pic.Isr(), 0x02);
    pic.WriteCommand(0x63);  // specific EOI for 3: not in service, no change
    EXPECT_EQ(pic.Isr(), 0x02);
    pic.WriteCommand(0x61);
    EXPECT_EQ(pic.Isr(), 0x00);
    EXPECT_EQ(Ack(pic), 0x18);
}

TEST(PicTest, MaskedRequestWaitsInIrr) {
    tPIC_i8259A pic;
    Init(pic);
    pic.WriteData(0x80);  // mask line 7
    pic.SetRequest(7, true);
    EXPECT_EQ(pic.Irr(), 0x80);
    EXPECT_FALSE(pic.Pending());
    EXPECT_EQ(Ack(pic), -1);
    EXPECT_EQ(pic.Irr(), 0x80);
    pic.WriteData(0x00);
    EXPECT_EQ(Ack(pic), 0x38);
    EXPECT_EQ(pic.Irr(), 0x00);

    // A masked higher level does not block a lower unmasked one, and a
    // request withdrawn before acknowledgement is not delivered.
    pic.WriteCommand(0x20);
    pic.WriteData(0x01);
    pic.SetRequest(0, true);
    pic.SetRequest(6, true);
    EXPECT_EQ(Ack(pic), 0x30);
    pic.WriteCommand(0x20);
    pic.SetRequest(0, false);
    pic.WriteData(0x00);
    EXPECT_EQ(Ack(pic), -1);
}

TEST(PicTest, RotationAndSetPriority) {
    tPIC_i8259A pic;
    Init(pic, 0x00, 0x02);  // automatic EOI
    pic.WriteCommand(0x80);  // rotate in AEOI mode
    EXPECT_EQ(pic.ModeFlags(), tPIC_i8259A::kModeAutoEoi | tPIC_i8259A::kModeRotate);
    pic.SetRequest(3, true);
    pic.SetRequest(5, true);
    EXPECT_EQ(Ack(pic), 0x18);
    EXPECT_EQ(pic.Isr(), 0);
    EXPECT_EQ(pic.PriorityPointer(), 4);
    // Level 3 is now the lowest: a new request on 3 waits behind 5.
    pic.SetRequest(3, true);
    EXPECT_EQ(Ack(pic), 0x28);
    EXPECT_EQ(pic.PriorityPointer(), 6);
    EXPECT_EQ(Ack(pic), 0x18);
    pic.WriteCommand(0x00);  // rotate in AEOI off
    EXPECT_EQ(pic.ModeFlags(), tPIC_i8259A::kModeAutoEoi);
    pic.SetRequest(1, true);
    EXPECT_EQ(Ack(pic), 0x08);
    EXPECT_EQ(pic.PriorityPointer(), 4);

    tPIC_i8259A p2;
    Init(p2);
    p2.WriteCommand(0xC7);
    EXPECT_EQ(p2.PriorityPointer(), 0);
    p2.WriteCommand(0xC2);
    EXPECT_EQ(p2.PriorityPointer(), 3);
    // Priority 3 highest: 3 before 7 before 1 (1 is below 7 with wrap).
    p2.SetRequest(1, true);
    p2.SetRequest(7, true);
    EXPECT_EQ(Ack(p2), 0x38);
    // Level 7 in service blocks 1 (lower rank), not 4 (higher).
    EXPECT_EQ(Ack(p2), -1);
    p2.SetRequest(4, true);
    EXPECT_EQ(Ack(p2), 0x20);
    // Non-specific EOI picks the highest in service by rank: 4, not 7.
    p2.WriteCommand(0x20);
    EXPECT_EQ(p2.Isr(), 0x80);

    // Rotate on non-specific EOI: ends 7, pointer after it.
    p2.WriteCommand(0xA0);
    EXPECT_EQ(p2.Isr(), 0);
    EXPECT_EQ(p2.PriorityPointer(), 0);
    // ...and with nothing in service it moves the pointer by one.
    p2.WriteCommand(0xA0);
    EXPECT_EQ(p2.PriorityPointer(), 1);
    // Rotate on specific EOI.
    EXPECT_EQ(Ack(p2), 0x08);
    p2.WriteCommand(0xE1);
    EXPECT_EQ(p2.Isr(), 0);
    EXPECT_EQ(p2.PriorityPointer(), 2);

    // Rotate mode also makes the plain EOIs rotate.
    p2.WriteCommand(0x80);
    p2.SetRequest(5, true);
    EXPECT_EQ(Ack(p2), 0x28);
    p2.WriteCommand(0x20);
    EXPECT_EQ(p2.PriorityPointer(), 6);
    p2.SetRequest(2, true);
    EXPECT_EQ(Ack(p2), 0x10);
    p2.WriteCommand(0x62);
    EXPECT_EQ(p2.PriorityPointer(), 3);
    EXPECT_EQ(p2.Ocw(2), 0x62);
}

TEST(PicTest, StatusReadSelection) {
    tPIC_i8259A pic;
    Init(pic);
    pic.SetRequest(2, true);
    pic.SetRequest(6, true);
    EXPECT_EQ(pic.ReadStatus(), 0);  // nothing selected yet
    EXPECT_EQ(Ack(pic), 0x10);
    pic.WriteCommand(0x0A);
    EXPECT_EQ(pic.ReadStatus(), 0x40);
    pic.WriteCommand(0x0B);
    EXPECT_EQ(pic.ReadStatus(), 0x04);
    pic.WriteCommand(0x08);  // RR = 0: selection unchanged
    EXPECT_EQ(pic.ReadStatus(), 0x04);
    EXPECT_EQ(pic.Ocw(3), 0x08);
    pic.WriteData(0xAA);  // the mask cannot be read back
    EXPECT_NE(pic.ReadStatus(), 0xAA);
    EXPECT_EQ(pic.ReadPoll(), 0);  // not in poll mode
}

TEST(PicTest, PollModeBlocksAcknowledgeUntilIcw1) {
    tPIC_i8259A pic;
    Init(pic, 0x50);
    pic.WriteCommand(0x0A);
    pic.WriteCommand(0x0F);  // poll, with RR/RIS ignored
    EXPECT_EQ(pic.ModeFlags() & tPIC_i8259A::kModePoll, tPIC_i8259A::kModePoll);
    EXPECT_EQ(pic.ReadSelect(), 2);
    EXPECT_EQ(pic.ReadPoll(), 0);
    pic.SetRequest(6, true);
    pic.SetRequest(3, true);
    EXPECT_FALSE(pic.Pending());
    EXPECT_EQ(Ack(pic), -1);
    EXPECT_EQ(pic.ReadPoll(), 0x83);
    EXPECT_EQ(pic.ReadPoll(), 0x83);  // the read changes nothing
    EXPECT_EQ(pic.Irr(), 0x48);
    pic.WriteData(0x08);
    EXPECT_EQ(pic.ReadPoll(), 0x86);
    pic.WriteData(0x48);
    EXPECT_EQ(pic.ReadPoll(), 0x00);
    pic.WriteData(0x00);
    // Only a new initialisation ends poll mode.
    pic.WriteCommand(0x0A);
    EXPECT_EQ(Ack(pic), -1);
    Init(pic, 0x50);
    EXPECT_EQ(pic.ModeFlags() & tPIC_i8259A::kModePoll, 0);
    EXPECT_EQ(Ack(pic), 0x5018);
}

TEST(PicTest, SpecialMaskMode) {
    tPIC_i8259A pic;
    Init(pic);
    pic.SetRequest(4, true);
    EXPECT_EQ(Ack(pic), 0x20);
    pic.SetRequest(5, true);
    EXPECT_EQ(Ack(pic), -1);
    pic.WriteCommand(0x68);  // ESMM + SMM
    EXPECT_EQ(pic.ModeFlags() & tPIC_i8259A::kModeSpecialMask, tPIC_i8259A::kModeSpecialMask);
    // A lower level is let through; the level in service still blocks
    // itself.
    pic.SetRequest(4, true);
    EXPECT_EQ(Ack(pic), 0x28);
    EXPECT_EQ(Ack(pic), -1);
    EXPECT_EQ(pic.Isr(), 0x30);
    pic.WriteCommand(0x28);  // SMM without ESMM: no change
    EXPECT_NE(pic.ModeFlags() & tPIC_i8259A::kModeSpecialMask, 0);
    pic.WriteCommand(0x48);  // ESMM, SMM = 0: off
    EXPECT_EQ(pic.ModeFlags() & tPIC_i8259A::kModeSpecialMask, 0);
    pic.WriteCommand(0x65);  // end 5; 4 still in service blocks itself
    EXPECT_EQ(Ack(pic), -1);
    pic.SetRequest(3, true);
    EXPECT_EQ(Ack(pic), 0x18);
}

// The pending flag a core reads instead of calling Acknowledge follows
// every kind of register change: requests, masks, acknowledge, end of
// interrupt, poll mode, a new initialisation, a snapshot load and a reset.
TEST(PicTest, PendingFlagFollowsEveryRegisterChange) {
    tPIC_i8259A pic;
    const std::uint8_t* flag = pic.PendingFlag();
    auto agrees = [&] { return (*flag != 0) == pic.Pending(); };
    EXPECT_EQ(*flag, 0);
    Init(pic);
    EXPECT_EQ(*flag, 0);

    pic.SetRequest(5, true);
    EXPECT_EQ(*flag, 1);
    pic.WriteData(0x20);  // mask line 5
    EXPECT_EQ(*flag, 0);
    pic.WriteData(0x00);
    EXPECT_EQ(*flag, 1);
    pic.SetRequest(5, false);
    EXPECT_EQ(*flag, 0);

    // In service: a lower-priority request waits, a higher one does not,
    // and the end of interrupt lets the waiting one through.
    pic.SetRequest(3, true);
    EXPECT_EQ(Ack(pic), 3 * 8);
    EXPECT_EQ(*flag, 0);
    pic.SetRequest(6, true);
    EXPECT_EQ(*flag, 0) << "level 6 waits behind level 3 in service";
    pic.SetRequest(1, true);
    EXPECT_EQ(*flag, 1);
    EXPECT_EQ(Ack(pic), 1 * 8);
    EXPECT_EQ(*flag, 0);
    pic.WriteCommand(0x20);  // non-specific EOI: level 1 ends, 3 stays
    EXPECT_EQ(*flag, 0);
    pic.WriteCommand(0x20);  // level 3 ends
    EXPECT_EQ(*flag, 1);

    // Poll mode stops the acknowledge; ICW1 ends it, and the controller
    // is not pending again until its initialisation is complete.
    pic.WriteCommand(0x0C);
    EXPECT_EQ(*flag, 0);
    pic.WriteCommand(0x13);
    EXPECT_EQ(*flag, 0);
    pic.WriteData(0x00);
    EXPECT_EQ(*flag, 0);
    pic.WriteData(0x00);
    EXPECT_EQ(*flag, 1);
    EXPECT_TRUE(agrees());

    // A snapshot load brings the flag with it; a reset clears it.
    tByteStream saved;
    ASSERT_TRUE(pic.SaveState(saved));
    tPIC_i8259A other;
    saved.Seek(0);
    ASSERT_TRUE(other.LoadState(saved));
    EXPECT_EQ(*other.PendingFlag(), 1);
    pic.Reset();
    EXPECT_EQ(*flag, 0);
    EXPECT_EQ(pic.PendingFlag(), flag) << "the flag stays at its place";
}

TEST(PicTest, SnapshotRoundTripAndLayout) {
    tPIC_i8259A pic;
    pic.WriteCommand(0x17);  // interval 4, single, ICW4
    pic.WriteData(0x9A);
    pic.WriteData(0x02);     // AEOI
    pic.WriteData(0x21);     // mask
    pic.WriteCommand(0xC5);  // pointer 6
    pic.WriteCommand(0x6B);  // SMM on, read ISR
    pic.SetRequest(7, true);
    pic.SetRequest(0, true);
    pic.SetRequest(5, true);
    std::uint16_t a = 0;
    ASSERT_TRUE(pic.Acknowledge(a));  // level 7 under AEOI: nothing in service
    pic.WriteCommand(0x00);

    tByteStream s;
    s.WriteU8(0x77);  // the block need not start the stream
    ASSERT_TRUE(pic.SaveState(s));
    ASSERT_EQ(s.Size(), 1 + tPIC_i8259A::kStateSize);
    const std::vector<std::uint8_t> expected = {
        0xBD, 0xBB, 0xE5, 0x4C, 0x9C, 0x61, 0x45, 0x61, 0xBE, 0x2D, 0x21, 0xD7, 0xF7, 0xFF, 0xBA, 0x2A,
        0x00,                    // version
        0x21, 0x00, 0x21,        // IRR, ISR, IMR
        0x06, 0x06, 0x9A,        // mode flags (AEOI | SMM), pointer, vector high
        0x17, 0x9A, 0x00, 0x02,  // ICW1-4
        0x21, 0x00, 0x6B,        // OCW1-3
        0x00, 0x03};             // init state, read select
    EXPECT_EQ(std::vector<std::uint8_t>(s.Data().begin() + 1, s.Data().end()), expected);

    tPIC_i8259A copy;
    copy.SetRequest(3, true);
    s.Seek(1);
    ASSERT_TRUE(copy.LoadState(s));
    EXPECT_EQ(s.Remaining(), 0u);
    tByteStream again;
    ASSERT_TRUE(copy.SaveState(again));
    EXPECT_EQ(std::vector<std::uint8_t>(again.Data().begin(), again.Data().end()), expected);
    // The loaded controller behaves as the saved one: lines 0 and 5 wait
    // masked; once unmasked, 0 comes first (pointer 6: 6, 7, 0, ..., 5).
    EXPECT_EQ(Ack(copy), -1);
    copy.WriteData(0x00);
    EXPECT_EQ(Ack(copy), 0x9A00);
}

TEST(PicTest, SnapshotRefusalLeavesControllerReset) {
    tPIC_i8259A source;
    Init(source, 0x40);
    source.SetRequest(2, true);
    tByteStream good;
    ASSERT_TRUE(source.SaveState(good));

    auto loaded = [](std::vector<std::uint8_t> bytes, std::size_t* position = nullptr) {
        tPIC_i8259A pic;
        Init(pic, 0x33);
        pic.SetRequest(6, true);
        pic.WriteData(0x0F);
        tByteStream s(std::move(bytes));
        const bool ok = pic.LoadState(s);
        if (position) *position = s.Position();
        // Refused or not, the controller must never keep the old state.
        EXPECT_NE(pic.Imr(), 0x0F);
        return std::make_pair(ok, pic.Irr());
    };

    EXPECT_EQ(loaded(good.Data()), std::make_pair(true, std::uint8_t{0x04}));

    auto badTag = good.Data();
    badTag[15] ^= 1;
    std::size_t pos = 0;
    EXPECT_EQ(loaded(badTag, &pos), std::make_pair(false, std::uint8_t{0}));
    EXPECT_EQ(pos, 16u);

    auto badVersion = good.Data();
    badVersion[16] = 1;
    EXPECT_EQ(loaded(badVersion, &pos), std::make_pair(false, std::uint8_t{0}));
    EXPECT_EQ(pos, 17u);

    auto shortBlock = good.Data();
    shortBlock.resize(30);
    EXPECT_EQ(loaded(shortBlock), std::make_pair(false, std::uint8_t{0}));

    auto badPointer = good.Data();
    badPointer[21] = 9;
    EXPECT_EQ(loaded(badPointer), std::make_pair(false, std::uint8_t{0}));
    auto badInit = good.Data();
    badInit[30] = 0x10;
    EXPECT_EQ(loaded(badInit), std::make_pair(false, std::uint8_t{0}));

    EXPECT_EQ(loaded({}), std::make_pair(false, std::uint8_t{0}));
}

}  // namespace
}  // namespace velgard
