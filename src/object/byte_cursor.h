#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lwmd5 {

// A bounds-checked big-endian reader over a span of bytes. Every read either
// succeeds completely or returns false and leaves the cursor where it was.
// Offsets are absolute positions in the file, for messages.
class ByteCursor {
public:
    ByteCursor() = default;
    ByteCursor(std::span<const std::uint8_t> bytes, std::size_t fileOffset)
        : bytes_(bytes), fileOffset_(fileOffset)
    {
    }

    std::size_t remaining() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }
    std::size_t fileOffset() const { return fileOffset_ + position_; }
    bool atEnd() const { return position_ == bytes_.size(); }

    [[nodiscard]] bool peekU8(std::uint8_t& value) const;
    [[nodiscard]] bool readU16(std::uint16_t& value);
    [[nodiscard]] bool readU32(std::uint32_t& value);
    [[nodiscard]] bool readF32(float& value);
    [[nodiscard]] bool readId(std::uint32_t& id) { return readU32(id); }
    // LWO2's variable-length index: two bytes, or four when the first byte is
    // 0xFF (then the index is the other three bytes).
    [[nodiscard]] bool readIndex(std::uint32_t& value);
    // A zero-terminated string followed by a pad byte when the string with its
    // terminator has an odd length. Fails when the terminator is missing; a
    // missing pad byte at the very end is tolerated.
    [[nodiscard]] bool readName(std::string& value);
    [[nodiscard]] bool skip(std::size_t count);
    // A cursor over the next `count` bytes; this cursor moves past them.
    [[nodiscard]] bool split(std::size_t count, ByteCursor& part);

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t fileOffset_ = 0;
    std::size_t position_ = 0;
};

// Reads bytes that an earlier pass over the same cursor has already walked
// with the same reads: a read that fails here is a fault of this program,
// not of the file, and stops it.
class CheckedCursor {
public:
    explicit CheckedCursor(const ByteCursor& cursor) : cursor_(cursor) {}

    bool atEnd() const { return cursor_.atEnd(); }
    std::uint16_t u16();
    std::uint32_t index();
    float f32();

private:
    ByteCursor cursor_;
};

float floatFromBits(std::uint32_t bits);
// The IEEE float encoded by four bytes, most significant byte first.
float readFloatBE(const std::uint8_t* bytes);

} // namespace lwmd5
