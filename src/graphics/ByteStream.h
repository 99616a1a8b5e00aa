#pragma once
// An in-memory little-endian byte stream: the form in which the bitmaps and
// the chips write and read their snapshot blocks.
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

namespace velgard {

class tByteStream {
public:
    tByteStream() = default;
    explicit tByteStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t>& Data() { return data_; }
    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
    // Moves the position; a position past the end is refused.
    bool Seek(std::size_t position) {
        if (position > data_.size()) return false;
        pos_ = position;
        return true;
    }
    bool Skip(std::size_t count) { return Seek(pos_ + count); }

    // Writing overwrites at the position and extends the stream as needed.
    void Write(const void* bytes, std::size_t count) {
        if (count == 0) return;
        if (pos_ + count > data_.size()) data_.resize(pos_ + count);
        std::memcpy(data_.data() + pos_, bytes, count);
        pos_ += count;
    }
    void Write(std::span<const std::uint8_t> bytes) { Write(bytes.data(), bytes.size()); }
    void WriteU8(std::uint8_t v) { Write(&v, 1); }
    void WriteBool(bool v) { WriteU8(v ? 1 : 0); }
    void WriteU16(std::uint16_t v) { WriteLE(v, 2); }
    void WriteU32(std::uint32_t v) { WriteLE(v, 4); }
    void WriteI32(std::int32_t v) { WriteLE(static_cast<std::uint32_t>(v), 4); }
    void WriteU64(std::uint64_t v) { WriteLE(v, 8); }
    void WriteI64(std::int64_t v) { WriteLE(static_cast<std::uint64_t>(v), 8); }
    void WriteF64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, 8);
        WriteU64(bits);
    }
    void WriteText(std::string_view text) { Write(text.data(), text.size()); }

    // Reading: false (and nothing consumed) when fewer bytes remain.
    bool Read(void* bytes, std::size_t count) {
        if (count > Remaining()) return false;
        if (count) std::memcpy(bytes, data_.data() + pos_, count);
        pos_ += count;
        return true;
    }
    bool ReadU8(std::uint8_t& v) { return Read(&v, 1); }
    bool ReadBool(bool& v) {
        std::uint8_t b;
        if (!ReadU8(b)) return false;
        v = b != 0;
        return true;
    }
    bool ReadU16(std::uint16_t& v) { return ReadLE(v, 2); }
    bool ReadU32(std::uint32_t& v) { return ReadLE(v, 4); }
    bool ReadI32(std::int32_t& v) {
        std::uint32_t u;
        if (!ReadLE(u, 4)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool ReadU64(std::uint64_t& v) { return ReadLE(v, 8); }
    bool ReadI64(std::int64_t& v) {
        std::uint64_t u;
        if (!ReadLE(u, 8)) return false;
        v = static_cast<std::int64_t>(u);
        return true;
    }
    bool ReadF64(double& v) {
        std::uint64_t bits;
        if (!ReadU64(bits)) return false;
        std::memcpy(&v, &bits, 8);
        return true;
    }

private:
    template <typename T>
    void WriteLE(T v, int bytes) {
        std::uint8_t b[8];
        for (int i = 0; i < bytes; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
        Write(b, static_cast<std::size_t>(bytes));
    }
    template <typename T>
    bool ReadLE(T& v, int bytes) {
        std::uint8_t b[8];
        if (!Read(b, static_cast<std::size_t>(bytes))) return false;
        T r = 0;
        for (int i = 0; i < bytes; ++i) r = static_cast<T>(r | (static_cast<T>(b[i]) << (8 * i)));
        v = r;
        return true;
    }

    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

}  // namespace velgard
