#include "object/byte_cursor.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace lwmd5 {

float floatFromBits(std::uint32_t bits)
{
    return std::bit_cast<float>(bits);
}

float readFloatBE(const std::uint8_t* bytes)
{
    const std::uint32_t bits = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                               (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
    return floatFromBits(bits);
}

bool ByteCursor::peekU8(std::uint8_t& value) const
{
    if (remaining() < 1) return false;
    value = bytes_[position_];
    return true;
}

bool ByteCursor::readU16(std::uint16_t& value)
{
    if (2 > remaining()) return false;
    value = static_cast<std::uint16_t>((bytes_[position_] << 8) | bytes_[position_ + 1]);
    position_ += 2;
    return true;
}

bool ByteCursor::readU32(std::uint32_t& value)
{
    if (4 > remaining()) return false;
    const std::uint8_t* p = bytes_.data() + position_;
    value = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
            std::uint32_t{p[3]};
    position_ += 4;
    return true;
}

bool ByteCursor::readF32(float& value)
{
    if (4 > remaining()) return false;
    value = readFloatBE(bytes_.data() + position_);
    position_ += 4;
    return true;
}

bool ByteCursor::readIndex(std::uint32_t& value)
{
    std::uint8_t first = 0;
    if (!peekU8(first)) return false;
    if (first != 0xFF) {
        std::uint16_t shortIndex = 0;
        if (!readU16(shortIndex)) return false;
        value = shortIndex;
        return true;
    }
    std::uint32_t longIndex = 0;
    if (!readU32(longIndex)) return false;
    value = longIndex & 0x00FFFFFFu;
    return true;
}

bool ByteCursor::readName(std::string& value)
{
    if (remaining() == 0) return false;
    const std::uint8_t* start = bytes_.data() + position_;
    const void* zero = std::memchr(start, 0, remaining());
    if (zero == nullptr) return false;
    const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - start);
    value.assign(reinterpret_cast<const char*>(start), length);
    std::size_t used = length + 1;
    if (used % 2 != 0) ++used;
    position_ += used > remaining() ? remaining() : used;
    return true;
}

bool ByteCursor::skip(std::size_t count)
{
    if (count > remaining()) return false;
    position_ += count;
    return true;
}

bool ByteCursor::split(std::size_t count, ByteCursor& part)
{
    if (count > remaining()) return false;
    part = ByteCursor(bytes_.subspan(position_, count), fileOffset_ + position_);
    position_ += count;
    return true;
}

namespace {

void expectRead(bool done)
{
    if (!done) std::abort();
}

} // namespace

std::uint16_t CheckedCursor::u16()
{
    std::uint16_t value = 0;
    expectRead(cursor_.readU16(value));
    return value;
}

std::uint32_t CheckedCursor::index()
{
    std::uint32_t value = 0;
    expectRead(cursor_.readIndex(value));
    return value;
}

float CheckedCursor::f32()
{
    float value = 0.0f;
    expectRead(cursor_.readF32(value));
    return value;
}

} // namespace lwmd5
