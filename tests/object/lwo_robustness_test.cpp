#include "object/lwo_reader.h"

#include "lwo_builder.h"
#include "support/capture_reporter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using testing::CaptureReporter;
using Event = CaptureReporter::Event;

// A small object that holds every chunk kind the reader decodes or skips,
// a quad, a long index and names of odd and even length.
Bytes smallObject()
{
    return form("LWO2", {
        tagsChunk({"Skin"}),
        layrChunk(0, "body"),
        pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}}),
        chunk("BBOX", ByteWriter().f32(0).f32(0).f32(0).f32(1).f32(1).f32(1).take()),
        polsChunk({{0, 1, 2}, {0, 2, 3, 4}, {4, 3, 2}}),
        ptagChunk("SURF", {{0, 0}, {1, 0}}),
        uvMapChunk("Texture", {{0, 0.0f, 0.0f}, {1, 1.0f, 0.0f}, {4, 0.5f, 1.0f}}),
        weightMapChunk("Bone", {{0, 1.0f}, {1, 0.5f}}, true),
        uvFixMapChunk("Texture", {{2, 1, 0.25f, 0.75f}}),
        vertexMapChunk("VMAP", "MORF", 3, "Smile", {1}, {0, 0.1f, 0}),
        surfChunk("Skin", "Base"),
    });
}

struct Outcome {
    bool ok = false;
    CaptureReporter report;
    LwoObject object;
};

// Parses a copy of exactly `size` bytes, so the sanitizers see any read past it.
void parseCopy(const Bytes& source, std::size_t size, Outcome& out)
{
    const Bytes copy(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(size));
    out.ok = parseLwoObject(copy, out.object, out.report, "obj.lwo");
}

// What the later stages rely on after a successful parse, and the one-line
// shape of a failure.
void checkOutcome(const Outcome& out)
{
    std::size_t errors = 0;
    for (const Event& e : out.report.events) errors += e.kind == Event::Error;
    if (!out.ok) {
        ASSERT_EQ(errors, 1u);
        ASSERT_EQ(out.report.events.back().kind, Event::Error);
        return;
    }
    ASSERT_EQ(errors, 0u);
    for (const LwoMesh& mesh : out.object.meshes) {
        for (const auto& triangle : mesh.triangles) {
            for (const std::int32_t corner : triangle) {
                ASSERT_GE(corner, 0);
                ASSERT_LT(corner, mesh.pointCount());
            }
        }
        if (mesh.polygonFirstTriangle.empty()) {
            ASSERT_TRUE(mesh.triangles.empty());
            continue;
        }
        ASSERT_EQ(mesh.polygonFirstTriangle.size(), static_cast<std::size_t>(mesh.polygonCount) + 1);
        ASSERT_EQ(mesh.polygonFirstTriangle.front(), 0);
        ASSERT_EQ(mesh.polygonFirstTriangle.back(), mesh.triangleCount());
        for (std::size_t k = 1; k < mesh.polygonFirstTriangle.size(); ++k) {
            ASSERT_LE(mesh.polygonFirstTriangle[k - 1], mesh.polygonFirstTriangle[k]);
        }
    }
}

TEST(LwoRobustness, EveryProperPrefixFailsWithOneErrorLine)
{
    const Bytes bytes = smallObject();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE("prefix of " + std::to_string(size) + " bytes");
        Outcome out;
        parseCopy(bytes, size, out);
        // The FORM's length field always reaches past a cut file.
        EXPECT_FALSE(out.ok);
        checkOutcome(out);
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(LwoRobustness, EverySingleByteMutationParsesOrFailsWithOneErrorLine)
{
    const Bytes original = smallObject();
    Outcome unchanged;
    parseCopy(original, original.size(), unchanged);
    ASSERT_TRUE(unchanged.ok);
    checkOutcome(unchanged);
    ASSERT_EQ(unchanged.object.meshes.size(), 1u);
    EXPECT_EQ(unchanged.object.meshes[0].triangleCount(), 4);
    EXPECT_EQ(unchanged.report.count(Event::MessageBox), 1u);
    EXPECT_EQ(unchanged.report.count(Event::DebugLine), 4u);

    using Mutation = std::uint8_t (*)(std::uint8_t);
    const Mutation mutations[] = {
        [](std::uint8_t b) { return static_cast<std::uint8_t>(b + 1); },
        [](std::uint8_t b) { return static_cast<std::uint8_t>(b - 1); },
        [](std::uint8_t) { return std::uint8_t{0x00}; },
        [](std::uint8_t) { return std::uint8_t{0xFF}; },
    };
    std::size_t failures = 0;
    std::size_t runs = 0;
    for (std::size_t at = 0; at < original.size(); ++at) {
        for (const Mutation mutate : mutations) {
            Bytes bytes = original;
            bytes[at] = mutate(bytes[at]);
            SCOPED_TRACE("byte " + std::to_string(at) + " set to " + std::to_string(bytes[at]));
            Outcome out;
            parseCopy(bytes, bytes.size(), out);
            checkOutcome(out);
            if (::testing::Test::HasFailure()) return;
            failures += !out.ok;
            ++runs;
        }
    }
    // Both paths are taken: the loop is not just parsing the same good object.
    EXPECT_GT(failures, 0u);
    EXPECT_LT(failures, runs);
}

} // namespace
} // namespace lwmd5
