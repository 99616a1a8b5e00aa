#include "devices/PIC_I8259A.h"

#include <algorithm>

namespace velgard {

tPIC_i8259A::tPIC_i8259A() { Reset(); }

void tPIC_i8259A::Reset() {
    irr_ = isr_ = imr_ = 0;
    mode_ = 0;
    pointer_ = 0;
    vectorHigh_ = 0;
    icw1_ = icw2_ = icw3_ = icw4_ = 0;
    ocw1_ = ocw2_ = ocw3_ = 0;
    initState_ = 0;
    readSelect_ = 0;
    pending_ = 0;
}

std::uint8_t tPIC_i8259A::Icw(int index) const {
    switch (index) {
        case 1: return icw1_;
        case 2: return icw2_;
        case 3: return icw3_;
        case 4: return icw4_;
        default: return 0;
    }
}

std::uint8_t tPIC_i8259A::Ocw(int index) const {
    switch (index) {
        case 1: return ocw1_;
        case 2: return ocw2_;
        case 3: return ocw3_;
        default: return 0;
    }
}

void tPIC_i8259A::WriteCommand(std::uint8_t value) {
    if (value & 0x10) {
        WriteIcw1(value);
    } else if (value & 0x08) {
        WriteOcw3(value);
    } else {
        WriteOcw2(value);
    }
    UpdatePending();
}

void tPIC_i8259A::WriteIcw1(std::uint8_t value) {
    // A new initialisation: IRR, IMR, the priority pointer and the read
    // selection survive it.
    icw1_ = value;
    icw2_ = icw3_ = icw4_ = 0;
    isr_ = 0;
    mode_ = 0;
    initState_ = kInitIcw2;
    if (!(value & 0x02)) initState_ |= kInitIcw3;  // SNGL = 0: cascaded, ICW3 follows
    if (value & 0x01) initState_ |= kInitIcw4;     // IC4
}

void tPIC_i8259A::WriteData(std::uint8_t value) {
    if ((initState_ & 7) == 0) {
        ocw1_ = value;
        imr_ = value;
    } else if (initState_ & kInitIcw2) {
        icw2_ = value;
        vectorHigh_ = value;
        initState_ &= static_cast<std::uint8_t>(~kInitIcw2);
    } else if (initState_ & kInitIcw3) {
        icw3_ = value;
        initState_ &= static_cast<std::uint8_t>(~kInitIcw3);
    } else {
        icw4_ = value;
        initState_ &= static_cast<std::uint8_t>(~kInitIcw4);
        if (value & 0x02) {
            mode_ |= kModeAutoEoi;
        } else {
            mode_ &= static_cast<std::uint8_t>(~kModeAutoEoi);
        }
    }
    UpdatePending();
}

int tPIC_i8259A::HighestLevel(std::uint8_t bits) const {
    if (bits == 0) return -1;
    for (int i = 0; i < 8; ++i) {
        const int level = (pointer_ + i) & 7;
        if (bits & (1u << level)) return level;
    }
    return -1;
}

void tPIC_i8259A::EndHighestInService(bool rotate) {
    const int s = HighestLevel(isr_);
    if (s < 0) return;
    isr_ &= static_cast<std::uint8_t>(~(1u << s));
    if (rotate) pointer_ = static_cast<std::uint8_t>((s + 1) & 7);
}

void tPIC_i8259A::WriteOcw2(std::uint8_t value) {
    ocw2_ = value;
    const int level = value & 7;
    const bool rotateMode = (mode_ & kModeRotate) != 0;
    switch (value & 0xE0) {
        case 0x00:  // rotate in automatic EOI mode: clear
            mode_ &= static_cast<std::uint8_t>(~kModeRotate);
            break;
        case 0x20:  // non-specific EOI
            EndHighestInService(rotateMode);
            break;
        case 0x40:  // no operation
            break;
        case 0x60:  // specific EOI
            isr_ &= static_cast<std::uint8_t>(~(1u << level));
            if (rotateMode) pointer_ = static_cast<std::uint8_t>((level + 1) & 7);
            break;
        case 0x80:  // rotate in automatic EOI mode: set
            mode_ |= kModeRotate;
            break;
        case 0xA0:  // rotate on non-specific EOI
            if (isr_ != 0) {
                EndHighestInService(true);
            } else {
                pointer_ = static_cast<std::uint8_t>((pointer_ + 1) & 7);
            }
            break;
        case 0xC0:  // set priority: the level becomes the lowest
            pointer_ = static_cast<std::uint8_t>((level + 1) & 7);
            break;
        case 0xE0:  // rotate on specific EOI
            isr_ &= static_cast<std::uint8_t>(~(1u << level));
            pointer_ = static_cast<std::uint8_t>((level + 1) & 7);
            break;
    }
}

void tPIC_i8259A::WriteOcw3(std::uint8_t value) {
    ocw3_ = value;
    const int b = value & 7;
    if (b == 2 || b == 3) {
        readSelect_ = static_cast<std::uint8_t>(b);
    } else if (b >= 4) {
        mode_ |= kModePoll;  // the read selection stays as it was
    }
    if (value & 0x40) {  // ESMM
        if (value & 0x20) {
            mode_ |= kModeSpecialMask;
        } else {
            mode_ &= static_cast<std::uint8_t>(~kModeSpecialMask);
        }
    }
}

int tPIC_i8259A::SelectRequest() const {
    if (initState_ != 0) return -1;
    const std::uint8_t candidates = irr_ & static_cast<std::uint8_t>(~imr_) & static_cast<std::uint8_t>(~isr_);
    const int r = HighestLevel(candidates);
    if (r < 0) return -1;
    if (!(mode_ & kModeSpecialMask)) {
        // Fully nested: only a request of strictly higher priority than
        // every level in service may interrupt it.
        const int s = HighestLevel(isr_);
        if (s >= 0 && Rank(s) < Rank(r)) return -1;
    }
    return r;
}

bool tPIC_i8259A::Pending() const { return !(mode_ & kModePoll) && SelectRequest() >= 0; }

bool tPIC_i8259A::Acknowledge(std::uint16_t& address) {
    if (mode_ & kModePoll) return false;
    const int r = SelectRequest();
    if (r < 0) return false;
    irr_ &= static_cast<std::uint8_t>(~(1u << r));
    // ADI = 1: 4-byte interval, address bits 7-5 from ICW1. ADI = 0: 8-byte
    // interval, bits 7-6 from ICW1 and bit 5 from the level, as in the chip
    // (adding ICW1 bit 5 to level * 8 would carry into the high byte).
    const unsigned low = (icw1_ & 0x04) ? (icw1_ & 0xE0u) | (static_cast<unsigned>(r) << 2)
                                        : (icw1_ & 0xC0u) | (static_cast<unsigned>(r) << 3);
    address = static_cast<std::uint16_t>(icw2_ * 256u + low);
    if (mode_ & kModeAutoEoi) {
        if (mode_ & kModeRotate) pointer_ = static_cast<std::uint8_t>((r + 1) & 7);
    } else {
        isr_ |= static_cast<std::uint8_t>(1u << r);
    }
    UpdatePending();
    return true;
}

std::uint8_t tPIC_i8259A::ReadPoll() const {
    if (!(mode_ & kModePoll)) return 0;
    const int r = SelectRequest();
    return r < 0 ? 0 : static_cast<std::uint8_t>(0x80 | r);
}

std::uint8_t tPIC_i8259A::ReadStatus() const {
    switch (readSelect_) {
        case 2: return irr_;
        case 3: return isr_;
        default: return 0;
    }
}

void tPIC_i8259A::SetRequest(int line, bool on) {
    if (line < 0 || line > 7) return;
    if (on) {
        irr_ |= static_cast<std::uint8_t>(1u << line);
    } else {
        irr_ &= static_cast<std::uint8_t>(~(1u << line));
    }
    UpdatePending();
}

bool tPIC_i8259A::SaveState(tByteStream& stream) const {
    std::array<std::uint8_t, kStateSize> block{};
    std::copy(kStateTag.begin(), kStateTag.end(), block.begin());
    block[16] = kStateVersion;
    const std::uint8_t regs[15] = {irr_,  isr_,  imr_,  mode_, pointer_, vectorHigh_, icw1_,      icw2_,
                                   icw3_, icw4_, ocw1_, ocw2_, ocw3_,    initState_,  readSelect_};
    std::copy(std::begin(regs), std::end(regs), block.begin() + 17);
    const std::size_t before = stream.Position();
    stream.Write(block.data(), block.size());
    return stream.Position() == before + block.size();
}

bool tPIC_i8259A::LoadState(tByteStream& stream) {
    Reset();
    std::array<std::uint8_t, 16> tag{};
    if (!stream.Read(tag.data(), tag.size()) || tag != kStateTag) return false;
    std::uint8_t version = 0;
    if (!stream.ReadU8(version) || version != kStateVersion) return false;
    std::uint8_t r[15];
    if (!stream.Read(r, sizeof r)) return false;
    // A priority pointer or an init state outside its three bits cannot
    // come from a saved controller.
    if (r[4] > 7 || r[13] > 7) return false;
    irr_ = r[0];
    isr_ = r[1];
    imr_ = r[2];
    mode_ = r[3];
    pointer_ = r[4];
    vectorHigh_ = r[5];
    icw1_ = r[6];
    icw2_ = r[7];
    icw3_ = r[8];
    icw4_ = r[9];
    ocw1_ = r[10];
    ocw2_ = r[11];
    ocw3_ = r[12];
    initState_ = r[13];
    readSelect_ = r[14];
    UpdatePending();
    return true;
}

}  // namespace velgard
