#include "object/byte_cursor.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A read that needs `size` bytes, and the value it must give for the bytes
// 0x3F 0x80 0x00 0x00 0x12 ... (as many as it takes).
struct FixedRead {
    const char* name;
    std::size_t size;
    std::function<bool(ByteCursor&, std::uint64_t&)> read;
    std::uint64_t expected;
};

const std::vector<FixedRead>& fixedReads()
{
    static const std::vector<FixedRead> reads = {
        {"u16", 2,
         [](ByteCursor& c, std::uint64_t& out) {
             std::uint16_t v = 0;
             const bool ok = c.readU16(v);
             out = v;
             return ok;
         },
         0x3F80},
        {"u32", 4,
         [](ByteCursor& c, std::uint64_t& out) {
             std::uint32_t v = 0;
             const bool ok = c.readU32(v);
             out = v;
             return ok;
         },
         0x3F800000},
        {"f32", 4,
         [](ByteCursor& c, std::uint64_t& out) {
             float v = 0;
             const bool ok = c.readF32(v);
             out = std::bit_cast<std::uint32_t>(v);
             return ok;
         },
         std::bit_cast<std::uint32_t>(1.0f)},
        {"two-byte index", 2,
         [](ByteCursor& c, std::uint64_t& out) {
             std::uint32_t v = 0;
             const bool ok = c.readIndex(v);
             out = v;
             return ok;
         },
         0x3F80},
    };
    return reads;
}

TEST(ByteCursor, EveryReadSucceedsAtTheExactEndAndFailsOneByteShortWithoutMoving)
{
    const Bytes source = {0x3F, 0x80, 0x00, 0x00, 0x12};
    for (const FixedRead& read : fixedReads()) {
        SCOPED_TRACE(read.name);
        // Exactly enough bytes, behind two bytes already consumed.
        Bytes exact = {0xAA, 0xBB};
        exact.insert(exact.end(), source.begin(), source.begin() + static_cast<std::ptrdiff_t>(read.size));
        ByteCursor cursor(exact, 1000);
        ASSERT_TRUE(cursor.skip(2));
        std::uint64_t value = 0;
        ASSERT_TRUE(read.read(cursor, value));
        EXPECT_EQ(value, read.expected);
        EXPECT_TRUE(cursor.atEnd());
        EXPECT_EQ(cursor.fileOffset(), 1002 + read.size);

        exact.pop_back();
        ByteCursor shortCursor(exact, 1000);
        ASSERT_TRUE(shortCursor.skip(2));
        EXPECT_FALSE(read.read(shortCursor, value));
        EXPECT_EQ(shortCursor.position(), 2u);
        EXPECT_EQ(shortCursor.remaining(), read.size - 1);
    }
}

TEST(ByteCursor, IndexTakesFourBytesWhenTheFirstIsFF)
{
    struct Case {
        Bytes bytes;
        bool ok;
        std::uint32_t value;
        std::size_t used;
    };
    const Case cases[] = {
        {{0xFF, 0x01, 0x02, 0x03}, true, 0x010203, 4},
        {{0xFF, 0x00, 0x00, 0x00, 0x77}, true, 0, 4},
        {{0xFF, 0x00, 0xFF, 0x00}, true, 0xFF00, 4}, // 65280, the first index that needs the long form
        {{0xFE, 0xFF, 0x01, 0x02}, true, 0xFEFF, 2}, // the largest short index
        {{0x00, 0xFF}, true, 0x00FF, 2},
        {{0xFF, 0x01, 0x02}, false, 0, 0}, // long form cut off: no fallback to a short index
        {{0xFF}, false, 0, 0},
        {{}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        ByteCursor cursor(c.bytes, 0);
        std::uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(cursor.readIndex(value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
        EXPECT_EQ(cursor.position(), c.used);
    }
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

TEST(ByteCursor, NameSearchStopsAtTheEndOfASubCursor)
{
    // The zero after "abcd" lies outside the four bytes the part may see.
    const Bytes bytes = {'a', 'b', 'c', 'd', 0, 0};
    ByteCursor file(bytes, 0);
    ByteCursor part;
    ASSERT_TRUE(file.split(4, part));
    std::string name;
    EXPECT_FALSE(part.readName(name));
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

    ASSERT_TRUE(cursor.split(4, part));
    EXPECT_TRUE(cursor.atEnd());
    EXPECT_TRUE(cursor.split(0, part));
    EXPECT_TRUE(part.atEnd());
}

TEST(ByteCursor, FloatsAreBigEndianBitPatterns)
{
    const std::uint8_t quarter[] = {0x3E, 0x80, 0x00, 0x00};
    const std::uint8_t negativeZero[] = {0x80, 0x00, 0x00, 0x00};
    const std::uint8_t small[] = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(std::bit_cast<std::uint32_t>(readFloatBE(quarter)), std::bit_cast<std::uint32_t>(0.25f));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(readFloatBE(negativeZero)), 0x80000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(readFloatBE(small)), 1u);
}

} // namespace
} // namespace lwmd5
