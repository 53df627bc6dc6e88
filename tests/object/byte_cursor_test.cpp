#include "object/byte_cursor.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads `bytes` placed behind two bytes already consumed: the read must take
// exactly them; with the last byte missing it must fail and not move.
template <typename T>
void expectReadUpToTheEnd(bool (ByteCursor::*read)(T&), Bytes bytes, T expected)
{
    bytes.insert(bytes.begin(), {0xAA, 0xBB});
    ByteCursor cursor(bytes, 1000);
    ASSERT_TRUE(cursor.skip(2));
    T value{};
    ASSERT_TRUE((cursor.*read)(value));
    EXPECT_EQ(value, expected);
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_EQ(cursor.fileOffset(), 1000 + bytes.size());

    bytes.pop_back();
    ByteCursor shortCursor(bytes, 1000);
    ASSERT_TRUE(shortCursor.skip(2));
    EXPECT_FALSE((shortCursor.*read)(value));
    EXPECT_EQ(shortCursor.position(), 2u);
}

TEST(ByteCursor, EveryReadTakesExactlyItsBytesAndFailsOneByteShortWithoutMoving)
{
    expectReadUpToTheEnd(&ByteCursor::readU16, {0x3F, 0x80}, std::uint16_t{0x3F80});
    expectReadUpToTheEnd(&ByteCursor::readU32, {0x3F, 0x80, 0x00, 0x01}, std::uint32_t{0x3F800001});
    expectReadUpToTheEnd(&ByteCursor::readF32, {0x3E, 0x80, 0x00, 0x00}, 0.25f);
    expectReadUpToTheEnd(&ByteCursor::readId, {'F', 'O', 'R', 'M'}, std::uint32_t{0x464F524D});
    // LWO2's index: two bytes, or four when the first is 0xFF (then the other
    // three are the index). A cut long form never falls back to two bytes.
    expectReadUpToTheEnd(&ByteCursor::readIndex, {0xFE, 0xFF}, std::uint32_t{0xFEFF});
    expectReadUpToTheEnd(&ByteCursor::readIndex, {0x00, 0xFF}, std::uint32_t{0x00FF});
    expectReadUpToTheEnd(&ByteCursor::readIndex, {0xFF, 0x01, 0x02, 0x03}, std::uint32_t{0x010203});
    expectReadUpToTheEnd(&ByteCursor::readIndex, {0xFF, 0x00, 0xFF, 0x00}, std::uint32_t{65280});
    expectReadUpToTheEnd(&ByteCursor::readIndex, {0xFF, 0x00, 0x00, 0x00}, std::uint32_t{0});
}

TEST(ByteCursor, NamesSkipTheirPadByteToAnEvenLength)
{
    struct Case {
        Bytes bytes;
        bool ok;
        std::string name;
        std::size_t used;
    };
    const Case cases[] = {
        {{'a', 'b', 'c', 0, 0x11}, true, "abc", 4},           // 4 bytes with terminator: no pad
        {{'a', 'b', 0, 0, 0x11}, true, "ab", 4},              // 3 bytes with terminator: one pad byte
        {{0, 0, 0x11}, true, "", 2},                          // empty name takes two bytes
        {{'a', 'b', 0}, true, "ab", 3},                       // pad byte missing at the very end
        {{'a', 'b', 'c', 'd'}, false, "", 0},                 // no terminator inside the bytes
        {{}, false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        ByteCursor cursor(c.bytes, 0);
        std::string name = "unchanged";
        EXPECT_EQ(cursor.readName(name), c.ok);
        if (c.ok) {
            EXPECT_EQ(name, c.name);
        }
        EXPECT_EQ(cursor.position(), c.used);
    }
}

TEST(ByteCursor, SplitAndSkipStopAtTheEnd)
{
    const Bytes bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    ByteCursor cursor(bytes, 500);
    ASSERT_TRUE(cursor.skip(2));

    ByteCursor part;
    EXPECT_FALSE(cursor.split(7, part));
    EXPECT_FALSE(cursor.split(std::numeric_limits<std::size_t>::max(), part));
    EXPECT_FALSE(cursor.skip(7));
    EXPECT_FALSE(cursor.skip(std::numeric_limits<std::size_t>::max()));
    EXPECT_EQ(cursor.position(), 2u);

    ASSERT_TRUE(cursor.split(2, part));
    EXPECT_EQ(cursor.position(), 4u);
    EXPECT_EQ(part.remaining(), 2u);
    EXPECT_EQ(part.fileOffset(), 502u);
    // The part ends where it was cut, although the bytes go on behind it.
    std::uint32_t word = 0;
    EXPECT_FALSE(part.readU32(word));
    std::uint16_t half = 0;
    ASSERT_TRUE(part.readU16(half));
    EXPECT_EQ(half, 0x0304);
    EXPECT_TRUE(part.atEnd());
    // A name search stays inside the part too: its zero lies behind it.
    const Bytes named = {'a', 'b', 'c', 'd', 0, 0};
    ByteCursor file(named, 0);
    ASSERT_TRUE(file.split(4, part));
    std::string name;
    EXPECT_FALSE(part.readName(name));

    ASSERT_TRUE(cursor.split(4, part));
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_TRUE(cursor.split(0, part));
    EXPECT_TRUE(part.atEnd());
}

TEST(ByteCursor, FloatsAreBigEndianBitPatterns)
{
    const std::uint8_t negativeZero[] = {0x80, 0x00, 0x00, 0x00};
    const std::uint8_t small[] = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(std::bit_cast<std::uint32_t>(readFloatBE(negativeZero)), 0x80000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(readFloatBE(small)), 1u);
}

} // namespace
} // namespace lwmd5
