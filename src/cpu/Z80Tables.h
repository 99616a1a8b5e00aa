#pragma once
// Flag bits and precomputed flag tables of the Z80 interpreter.
#include <array>
#include <cstdint>

namespace velgard::z80 {

inline constexpr std::uint8_t kFlagS = 0x80;
inline constexpr std::uint8_t kFlagZ = 0x40;
inline constexpr std::uint8_t kFlagY = 0x20;  // bit 5, copy of a result bit
inline constexpr std::uint8_t kFlagH = 0x10;
inline constexpr std::uint8_t kFlagX = 0x08;  // bit 3, copy of a result bit
inline constexpr std::uint8_t kFlagPV = 0x04;
inline constexpr std::uint8_t kFlagN = 0x02;
inline constexpr std::uint8_t kFlagC = 0x01;

struct FlagTables {
    std::array<std::uint8_t, 256> sz{};   // S and Z of a byte
    std::array<std::uint8_t, 256> szp{};  // S, Z and P (even parity) of a byte
    // DAA: index A + 256*C + 512*H + 1024*N, entry new A * 256 + new F.
    std::array<std::uint16_t, 2048> daa{};
};

constexpr FlagTables MakeFlagTables() {
    FlagTables t;
    for (unsigned v = 0; v < 256; ++v) {
        std::uint8_t sz = static_cast<std::uint8_t>(v & kFlagS);
        if (v == 0) sz |= kFlagZ;
        unsigned bits = 0;
        for (unsigned b = v; b != 0; b >>= 1) bits += b & 1;
        t.sz[v] = sz;
        t.szp[v] = static_cast<std::uint8_t>(sz | ((bits & 1) == 0 ? kFlagPV : 0));
    }
    for (unsigned index = 0; index < 2048; ++index) {
        const unsigned a = index & 0xFF;
        const bool c = (index & 0x100) != 0;
        const bool h = (index & 0x200) != 0;
        const bool n = (index & 0x400) != 0;
        unsigned correction = 0;
        bool newC = false;
        if (h || (a & 0x0F) > 9) correction = 0x06;
        if (c || a > 0x99) {
            correction += 0x60;
            newC = true;
        }
        const unsigned newA = (n ? a - correction : a + correction) & 0xFF;
        const bool newH = n ? (h && (a & 0x0F) < 6) : ((a & 0x0F) > 9);
        unsigned f = t.szp[newA] | (newA & (kFlagY | kFlagX));
        if (newH) f |= kFlagH;
        if (n) f |= kFlagN;
        if (newC) f |= kFlagC;
        t.daa[index] = static_cast<std::uint16_t>(newA << 8 | f);
    }
    return t;
}

inline constexpr FlagTables kFlagTables = MakeFlagTables();

}  // namespace velgard::z80
