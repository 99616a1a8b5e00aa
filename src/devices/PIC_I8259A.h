#pragma once
// The Intel 8259A programmable interrupt controller of the Korvet, in its
// 8080 (call address) mode, as a single controller without cascading.
//
// The machine raises request lines (4 = display frame, 5 = timer channel 2,
// 7 = floppy controller); the processor asks for the call address of the
// highest-priority request through its interrupt-acknowledge callback; the
// program programs the chip through two registers of the I/O page. The
// controller has no clock and does nothing between calls.
//
// Implemented: ICW1-ICW4, the mask (OCW1), all OCW2 commands, OCW3 register
// selection, special mask mode, the poll command, automatic EOI, fully
// nested priority with a movable priority pointer, 4- and 8-byte call
// address intervals. ICW3, the LTIM bit and ICW4 bits other than AEOI are
// stored only; the mask register cannot be read back.
#include <array>
#include <cstddef>
#include <cstdint>

#include "graphics/ByteStream.h"

namespace velgard {

class tPIC_i8259A {
public:
    // Mode flag bits.
    static constexpr std::uint8_t kModeRotate = 0x01;      // rotate on (automatic) EOI
    static constexpr std::uint8_t kModeAutoEoi = 0x02;     // from ICW4 bit 1
    static constexpr std::uint8_t kModeSpecialMask = 0x04; // special mask mode
    static constexpr std::uint8_t kModePoll = 0x08;        // poll command given

    // Init state bits: which initialisation word is expected next.
    static constexpr std::uint8_t kInitIcw2 = 0x01;
    static constexpr std::uint8_t kInitIcw3 = 0x02;
    static constexpr std::uint8_t kInitIcw4 = 0x04;

    // Snapshot block: 16-byte tag, version byte, 15 register bytes.
    static constexpr std::size_t kStateSize = 32;
    static constexpr std::uint8_t kStateVersion = 0;
    // {4CE5BBBD-619C-6145-BE2D-21D7F7FFBA2A} in its stored form.
    static constexpr std::array<std::uint8_t, 16> kStateTag = {
        0xBD, 0xBB, 0xE5, 0x4C, 0x9C, 0x61, 0x45, 0x61,
        0xBE, 0x2D, 0x21, 0xD7, 0xF7, 0xFF, 0xBA, 0x2A};

    tPIC_i8259A();
    virtual ~tPIC_i8259A() = default;
    tPIC_i8259A(const tPIC_i8259A&) = delete;
    tPIC_i8259A& operator=(const tPIC_i8259A&) = delete;

    // Every register to 0: operational, nothing pending, masked or in
    // service, level 0 highest, ICW1 = ICW2 = 0 (calls at level * 8).
    virtual void Reset();

    // Register with A0 = 0: OCW2, OCW3 or ICW1 (by bits 4-3).
    virtual void WriteCommand(std::uint8_t value);
    // Register with A0 = 1: ICW2/ICW3/ICW4 while initialising, else OCW1.
    virtual void WriteData(std::uint8_t value);
    // Read of A0 = 0: in poll mode 0x80 | level of the eligible request, or
    // 0; 0 outside poll mode. Changes no register.
    virtual std::uint8_t ReadPoll() const;
    // Read of A0 = 1: IRR or ISR as selected by OCW3, otherwise 0.
    virtual std::uint8_t ReadStatus() const;

    // Sets (on) or clears the IRR bit of line 0-7; other lines are ignored.
    virtual void SetRequest(int line, bool on);
    // Interrupt acknowledge: false (and nothing changed) when no request is
    // to be served; else true with the 16-bit call address, the request
    // taken from IRR and put in service (or ended at once under AEOI).
    virtual bool Acknowledge(std::uint16_t& address);
    // True when Acknowledge would deliver an interrupt now.
    bool Pending() const;
    // The same answer as a byte (1 or 0) that the controller keeps current
    // after every change of its registers, at a fixed place for the
    // controller's lifetime: a processor core reads it before each
    // instruction instead of calling Acknowledge.
    const std::uint8_t* PendingFlag() const { return &pending_; }

    // The 32-byte block. LoadState resets first; a wrong tag or version, a
    // corrupt register value or a short stream leaves the controller reset
    // and returns false.
    virtual bool SaveState(tByteStream& stream) const;
    virtual bool LoadState(tByteStream& stream);

    // Register views (for the machine, the debugger and the tests).
    std::uint8_t Irr() const { return irr_; }
    std::uint8_t Isr() const { return isr_; }
    std::uint8_t Imr() const { return imr_; }
    std::uint8_t ModeFlags() const { return mode_; }
    std::uint8_t PriorityPointer() const { return pointer_; }
    std::uint8_t VectorHigh() const { return vectorHigh_; }
    std::uint8_t Icw(int index) const;  // 1-4; 0 for others
    std::uint8_t Ocw(int index) const;  // 1-3; 0 for others
    std::uint8_t InitState() const { return initState_; }
    std::uint8_t ReadSelect() const { return readSelect_; }

private:
    void WriteIcw1(std::uint8_t value);
    void WriteOcw2(std::uint8_t value);
    void WriteOcw3(std::uint8_t value);
    // Scans levels from the priority pointer upward with wrap; -1 if none.
    int HighestLevel(std::uint8_t bits) const;
    // The request to serve, ignoring the poll flag; -1 if none.
    int SelectRequest() const;
    int Rank(int level) const { return (level - pointer_) & 7; }
    void EndHighestInService(bool rotate);
    void UpdatePending() { pending_ = Pending() ? 1 : 0; }

    std::uint8_t irr_ = 0, isr_ = 0, imr_ = 0;
    std::uint8_t mode_ = 0;
    std::uint8_t pointer_ = 0;
    std::uint8_t vectorHigh_ = 0;
    std::uint8_t icw1_ = 0, icw2_ = 0, icw3_ = 0, icw4_ = 0;
    std::uint8_t ocw1_ = 0, ocw2_ = 0, ocw3_ = 0;
    std::uint8_t initState_ = 0;
    std::uint8_t readSelect_ = 0;
    std::uint8_t pending_ = 0;
};

}  // namespace velgard
