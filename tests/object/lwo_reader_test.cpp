#include "object/lwo_reader.h"

#include "lwo_builder.h"
#include "support/capture_reporter.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::CaptureReporter;
using Event = CaptureReporter::Event;
using Triangles = std::vector<std::array<std::int32_t, 3>>;

struct Parsed {
    bool ok = false;
    LwoObject object;
    CaptureReporter report;
};

Parsed parse(const Bytes& bytes)
{
    Parsed parsed;
    parsed.ok = parseLwoObject(bytes, parsed.object, parsed.report, "obj.lwo");
    return parsed;
}

// Every message in order, one string each, so a whole sequence compares at once.
std::vector<std::string> events(const CaptureReporter& report)
{
    std::vector<std::string> lines;
    for (const Event& e : report.events) {
        switch (e.kind) {
        case Event::Error: lines.push_back("error: " + e.text); break;
        case Event::Warning: lines.push_back("warning: " + e.text); break;
        case Event::MessageBox: lines.push_back("box: " + e.title + " / " + e.text); break;
        case Event::DebugLine: lines.push_back("debug: " + e.text); break;
        }
    }
    return lines;
}

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

Bytes lwo2(const std::vector<Bytes>& chunks)
{
    return form("LWO2", chunks);
}

// FORM header (8) + "LWO2" (4): the first sub-chunk starts at offset 12; after
// a PNTS chunk of three points (8 + 36) the next one starts at offset 56.
const Bytes kPoints3 = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
const Bytes kPoints4 = pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
const Bytes kTriangle = polsChunk({{0, 1, 2}});
const std::string kNotTriangleBox = "box: ERROR!!! / Check Geometry! Only 3 verts per poly!";

TEST(LwoPoints, AreStoredBitForBitAndAnOddChunkLengthIsNotPadded)
{
    // PNTS with 25 data bytes: two points and one stray byte; the SURF chunk
    // follows right after it, with no pad byte between.
    const Bytes points = chunk("PNTS", ByteWriter()
                                           .f32(1.5f).f32(-2.0f).f32(0.25f)
                                           .f32(-0.0f).f32(1e-40f).f32(3e38f)
                                           .u8(0x7F)
                                           .take());
    const Parsed p = parse(lwo2({points, surfChunk("Skin")}));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.object.meshes.size(), 1u);
    const auto& pts = p.object.meshes[0].points;
    ASSERT_EQ(pts.size(), 2u);
    const float expected[2][3] = {{1.5f, -2.0f, 0.25f}, {-0.0f, 1e-40f, 3e38f}};
    for (int i = 0; i < 2; ++i) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(bits(pts[i][k]), bits(expected[i][k])) << i << "," << k;
    }
    ASSERT_EQ(p.object.surfaces.size(), 1u);
    EXPECT_EQ(p.object.surfaces[0].name, "Skin");
    EXPECT_TRUE(p.report.events.empty());
}

TEST(LwoPolygons, AreSplitIntoFansDroppedOrKeptAsTheirCornersAllow)
{
    struct Case {
        const char* what;
        std::vector<std::vector<std::uint32_t>> polygons;
        Triangles triangles;
        std::vector<std::int32_t> polygonFirstTriangle;
        bool messageBox;
        std::size_t dropped; // triangles with a corner outside the five points
    };
    const Case cases[] = {
        {"triangles in file order", {{0, 1, 2}, {3, 2, 1}}, {{0, 1, 2}, {3, 2, 1}}, {0, 1, 2}, false, 0},
        {"quad and pentagon become fans (v0, vk, vk+1)",
         {{0, 1, 2, 3}, {4, 3, 2, 1, 0}, {1, 2, 3}},
         {{0, 1, 2}, {0, 2, 3}, {4, 3, 2}, {4, 2, 1}, {4, 1, 0}, {1, 2, 3}},
         {0, 2, 5, 6},
         true,
         0},
        {"polygons of 2, 1 and 0 corners own no triangle", {{0, 1}, {2}, {}, {2, 3, 4}}, {{2, 3, 4}},
         {0, 0, 0, 0, 1}, true, 0},
        {"one corner outside", {{0, 1, 2}, {0, 1, 5}}, {{0, 1, 2}}, {0, 1, 1}, false, 1},
        {"corners outside in triangles and fans",
         {{0, 1, 5}, {0, 1, 2, 9}, {4, 3, 2}, {7, 8, 6}},
         {{0, 1, 2}, {4, 3, 2}},
         {0, 0, 1, 2, 2},
         true,
         3},
    };
    const Bytes points = pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 2, 0}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = parse(lwo2({points, polsChunk(c.polygons)}));
        ASSERT_TRUE(p.ok);
        ASSERT_EQ(p.object.meshes.size(), 1u);
        const LwoMesh& mesh = p.object.meshes[0];
        EXPECT_EQ(mesh.triangles, c.triangles);
        EXPECT_EQ(mesh.polygonFirstTriangle, c.polygonFirstTriangle);
        EXPECT_EQ(mesh.polygonCount, static_cast<std::int32_t>(c.polygons.size()));
        // The message box (once for the chunk), then one warning giving the count.
        std::vector<std::string> seen = events(p.report);
        if (c.messageBox) {
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.front(), kNotTriangleBox);
            seen.erase(seen.begin());
        }
        if (c.dropped > 0) {
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_THAT(seen[0], StartsWith("warning: obj.lwo: chunk POLS at offset 80 has " +
                                            std::to_string(c.dropped) + " triangle"));
        } else {
            EXPECT_EQ(seen, std::vector<std::string>{});
        }
    }
}

TEST(LwoPolygons, FlagsInTheTopSixBitsOfTheCountWordAreIgnored)
{
    // Count words 0xFC03 (all six flags, three corners) and 0x8404 (a flagged quad).
    const Bytes pols = chunk("POLS", ByteWriter()
                                         .id("FACE")
                                         .u16(0xFC03).u16(2).u16(1).u16(0)
                                         .u16(0x8404).u16(0).u16(1).u16(2).u16(3)
                                         .take());
    const Parsed p = parse(lwo2({kPoints4, pols}));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.object.meshes[0].triangles, (Triangles{{2, 1, 0}, {0, 1, 2}, {0, 2, 3}}));
    EXPECT_EQ(events(p.report), std::vector<std::string>{kNotTriangleBox});
}

TEST(LwoPolygons, OnlyTheFirstFaceChunkAfterItsPointsCounts)
{
    // FACE before any PNTS: warned and ignored. PTCH: silently skipped, even
    // with a quad. A second FACE chunk after the same PNTS: ignored, quad and all.
    const Parsed p = parse(lwo2({polsChunk({{0, 1, 2}}), kPoints4, polsChunk({{0, 1, 2, 3}}, "PTCH"),
                                 polsChunk({{3, 2, 1}}), polsChunk({{0, 1, 2, 3}, {0, 1, 2}})}));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.object.meshes.size(), 1u);
    EXPECT_EQ(p.object.meshes[0].triangles, (Triangles{{3, 2, 1}}));
    EXPECT_EQ(p.object.meshes[0].polygonCount, 1);
    EXPECT_EQ(events(p.report),
              (std::vector<std::string>{"warning: obj.lwo: chunk POLS at offset 12 holds polygons before any point "
                                        "set (PNTS chunk); they are ignored"}));
}

TEST(LwoPolygons, AFaceChunkThatLeftNoTrianglesDoesNotBlockTheNextOne)
{
    const Parsed p = parse(lwo2({kPoints3, polsChunk({{0, 1}}), polsChunk({{2, 1, 0}})}));
    ASSERT_TRUE(p.ok);
    const LwoMesh& mesh = p.object.meshes.at(0);
    EXPECT_EQ(mesh.triangles, (Triangles{{2, 1, 0}}));
    EXPECT_EQ(mesh.polygonCount, 1);
    EXPECT_EQ(mesh.polygonFirstTriangle, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(events(p.report), std::vector<std::string>{kNotTriangleBox});
}

TEST(LwoIndices, FourByteFormReachesPointsFrom65280On)
{
    std::vector<Point> many(70000);
    for (std::size_t i = 0; i < many.size(); ++i) many[i] = {static_cast<float>(i), 0, 0};
    // Polygon records: 3, FF 01 11 6F (69999), FF 00 FF 00 (65280), 00 00;
    // 3, FF 00 00 01 (long form of 1), FF 00 00 02, FE FF (65279, still short).
    const Bytes pols = chunk("POLS", ByteWriter()
                                         .id("FACE")
                                         .u16(3).u32(0xFF01116F).u32(0xFF00FF00).u16(0)
                                         .u16(3).u32(0xFF000001).u32(0xFF000002).u16(0xFEFF)
                                         .take());
    const Parsed p = parse(lwo2({pntsChunk(many), pols, uvMapChunk("uv", {{69999, 0.5f, 0.25f}, {7, 1, 1}}),
                                 weightMapChunk("bone", {{69997, 0.5f}}),
                                 uvFixMapChunk("uv", {{69998, 70001, 0.75f, 0.5f}})}));
    ASSERT_TRUE(p.ok);
    const LwoMesh& mesh = p.object.meshes.at(0);
    EXPECT_EQ(mesh.pointCount(), 70000);
    EXPECT_EQ(mesh.triangles, (Triangles{{69999, 65280, 0}, {1, 2, 65279}}));
    ASSERT_EQ(p.object.uvMaps.size(), 1u);
    ASSERT_EQ(p.object.uvMaps[0].entries.size(), 2u);
    EXPECT_EQ(p.object.uvMaps[0].entries[0].pointIndex, 69999);
    EXPECT_EQ(p.object.uvMaps[0].entries[1].pointIndex, 7);
    EXPECT_EQ(p.object.weightMaps.at(0).entries.at(0).pointIndex, 69997);
    EXPECT_EQ(bits(p.object.weightMaps[0].entries[0].weight), bits(0.5f));
    ASSERT_EQ(p.object.uvFixMaps.at(0).entries.size(), 1u);
    EXPECT_EQ(p.object.uvFixMaps[0].entries[0].pointIndex, 69998);
    EXPECT_EQ(p.object.uvFixMaps[0].entries[0].polygonIndex, 70001);
    EXPECT_EQ(bits(p.object.uvFixMaps[0].entries[0].u), bits(0.75f));
    EXPECT_EQ(events(p.report), (std::vector<std::string>{"debug: Mesh: 1\tUVs:2/2\n", "debug: Mesh: 1\tWs:1/1\n",
                                                          "debug: Mesh: 1\tUVFIXs:1/1\n"}));
}

TEST(LwoMaps, EntryCountsComeFromWalkingTheRecords)
{
    // With every index in the four-byte form a record is 2 bytes longer than
    // the fixed size, so dividing the bytes by it would count one entry too
    // many. The last map ends in 9 stray bytes: less than one record.
    const Bytes shortTail = chunk("VMAP", ByteWriter()
                                              .id("TXUV").u16(2).name("tail")
                                              .u16(0).f32(0.5f).f32(0.5f)
                                              .u16(1).f32(0.25f).f32(0.75f)
                                              .u16(0).u32(0).u16(0).u8(0) // 9 stray bytes
                                              .take());
    const Parsed p = parse(lwo2({kPoints3,
                                 uvMapChunk("uv", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 1}, {1, 1, 1}}, true),
                                 weightMapChunk("w", {{0, 1}, {1, 1}, {2, 1}, {0, 0}}, true),
                                 uvFixMapChunk("uv", {{0, 0, 0, 0}, {1, 0, 0, 0}, {2, 0, 0, 0}}, true), shortTail}));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(events(p.report),
              (std::vector<std::string>{"debug: Mesh: 1\tUVs:5/5\n", "debug: Mesh: 1\tWs:4/4\n",
                                        "debug: Mesh: 1\tUVFIXs:3/3\n", "debug: Mesh: 1\tUVs:2/2\n"}));
    ASSERT_EQ(p.object.uvMaps.size(), 2u);
    EXPECT_EQ(p.object.uvMaps[0].entries.size(), 5u);
    EXPECT_EQ(p.object.uvMaps[0].entries[4].pointIndex, 1);
    EXPECT_EQ(p.object.uvMaps[1].entries.size(), 2u);
    EXPECT_EQ(bits(p.object.uvMaps[1].entries[1].v), bits(0.75f));
}

TEST(LwoMaps, NamePaddingDecidesWhereTheEntriesBegin)
{
    struct Case {
        Bytes nameBytes; // as in the file, terminator and pad byte included
        std::string name;
        std::size_t entriesAt; // data offset
    };
    const Case cases[] = {
        {{'T', 'e', 'x', 't', 'u', 'r', 'e', 0}, "Texture", 14},
        {{'T', 'e', 'x', 't', 'u', 'r', 0, 0}, "Textur", 14},
        {{0, 0}, "", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteWriter uv, weight, fix;
        uv.id("TXUV").u16(2).raw(c.nameBytes);
        weight.id("WGHT").u16(1).raw(c.nameBytes);
        fix.id("TXUV").u16(2).raw(c.nameBytes);
        ASSERT_EQ(uv.bytes().size(), c.entriesAt);
        uv.u16(2).f32(0.5f).f32(0.25f);
        weight.u16(1).f32(0.0f);
        fix.u16(2).u16(1).f32(0.125f).f32(1.5f);
        const Parsed p = parse(lwo2({kPoints3, chunk("VMAP", uv.bytes()), chunk("VMAP", weight.bytes()),
                                     chunk("VMAD", fix.bytes())}));
        ASSERT_TRUE(p.ok);
        ASSERT_EQ(p.object.uvMaps.size(), 1u);
        ASSERT_EQ(p.object.weightMaps.size(), 1u);
        ASSERT_EQ(p.object.uvFixMaps.size(), 1u);
        EXPECT_EQ(p.object.uvMaps[0].name, c.name);
        EXPECT_EQ(p.object.weightMaps[0].name, c.name);
        EXPECT_EQ(p.object.uvFixMaps[0].name, c.name);
        // Stored as the file holds them: v not flipped, a weight of 0 kept.
        const LwoUvEntry& u = p.object.uvMaps[0].entries.at(0);
        const LwoWeightEntry& w = p.object.weightMaps[0].entries.at(0);
        const LwoUvFixEntry& f = p.object.uvFixMaps[0].entries.at(0);
        EXPECT_EQ((std::array{u.pointIndex, w.pointIndex, f.pointIndex, f.polygonIndex}), (std::array{2, 1, 2, 1}));
        EXPECT_EQ((std::array{bits(u.u), bits(u.v), bits(w.weight), bits(f.u), bits(f.v)}),
                  (std::array{bits(0.5f), bits(0.25f), bits(0.0f), bits(0.125f), bits(1.5f)}));
    }
}

TEST(LwoMaps, WrongDimensionIsSkippedWithAWarning)
{
    struct Case {
        const char* chunkId;
        const char* type;
        std::uint16_t dimension;
        const char* warning;
    };
    const Case cases[] = {
        {"VMAP", "TXUV", 3, "chunk VMAP at offset 56 TXUV map 'm' has dimension 3, not 2; it is skipped"},
        {"VMAP", "TXUV", 1, "chunk VMAP at offset 56 TXUV map 'm' has dimension 1, not 2; it is skipped"},
        {"VMAP", "WGHT", 2, "chunk VMAP at offset 56 WGHT map 'm' has dimension 2, not 1; it is skipped"},
        {"VMAP", "WGHT", 0, "chunk VMAP at offset 56 WGHT map 'm' has dimension 0, not 1; it is skipped"},
        {"VMAD", "TXUV", 3, "chunk VMAD at offset 56 TXUV map 'm' has dimension 3, not 2; it is skipped"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chunkId) + " " + c.type + " " + std::to_string(c.dimension));
        const Bytes map = vertexMapChunk(c.chunkId, c.type, c.dimension, "m", {0, 1}, std::vector<float>(6, 0.5f));
        const Parsed p = parse(lwo2({kPoints3, map, surfChunk("Skin")}));
        ASSERT_TRUE(p.ok);
        EXPECT_TRUE(p.object.uvMaps.empty());
        EXPECT_TRUE(p.object.weightMaps.empty());
        EXPECT_TRUE(p.object.uvFixMaps.empty());
        EXPECT_EQ(p.object.surfaces.size(), 1u); // the walk goes on after the skipped map
        EXPECT_EQ(events(p.report), (std::vector<std::string>{std::string("warning: obj.lwo: ") + c.warning}));
    }
}

TEST(LwoMessages, DebugLinesCarryTheMeshCountOfTheirMomentAndBoxesComeOncePerChunk)
{
    const Bytes ptag = ptagChunk("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}});
    ASSERT_EQ(ptag.size(), 8u + 40u); // 40 data bytes: type and nine 4-byte records
    const Parsed p = parse(lwo2({
        uvMapChunk("early", {{0, 0, 0}}),
        tagsChunk({"Skin", "Cloth"}),
        layrChunk(0, "body"),
        kPoints4,
        chunk("BBOX", ByteWriter().f32(0).f32(0).f32(0).f32(1).f32(1).f32(0).take()),
        polsChunk({{0, 1, 2, 3}, {1, 2, 3, 0}}),
        ptag,
        uvMapChunk("Texture", {{0, 0.0f, 0.25f}, {1, 1.5f, -0.5f}, {3, 0.0f, 1.0f}}),
        weightMapChunk("Bone", {{1, 0.0f}, {2, -0.5f}}),
        uvFixMapChunk("Texture", {{2, 1, 0.75f, 0.25f}}),
        surfChunk("Skin", "Base"),
        layrChunk(1, "cloth"),
        kPoints3,
        polsChunk({{0, 1, 2}, {2, 1, 0, 1}}),
        weightMapChunk("Bone2", {{0, 1.0f}}),
        uvFixMapChunk("Texture", {{0, 0, 0.0f, 0.0f}, {1, 0, 0.0f, 0.0f}}),
        surfChunk("Cloth"),
    }));
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(events(p.report), (std::vector<std::string>{
                                    "debug: Mesh: 0\tUVs:1/1\n",
                                    kNotTriangleBox,
                                    "debug: PTags: 36 - 9\n",
                                    "debug: Mesh: 1\tUVs:3/3\n",
                                    "debug: Mesh: 1\tWs:2/2\n",
                                    "debug: Mesh: 1\tUVFIXs:1/1\n",
                                    kNotTriangleBox,
                                    "debug: Mesh: 2\tWs:1/1\n",
                                    "debug: Mesh: 2\tUVFIXs:2/2\n",
                                }));
    const LwoObject& o = p.object;
    ASSERT_EQ(o.meshes.size(), 2u);
    EXPECT_EQ(o.meshes[0].triangles, (Triangles{{0, 1, 2}, {0, 2, 3}, {1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(o.meshes[1].triangles, (Triangles{{0, 1, 2}, {2, 1, 0}, {2, 0, 1}})); // the second layer's POLS
    EXPECT_EQ(o.totalPoints(), 7);
    EXPECT_EQ(o.totalPolygons(), 4);
    ASSERT_EQ(o.uvMaps.size(), 2u);
    EXPECT_EQ(o.uvMaps[1].name, "Texture");
    EXPECT_EQ(o.uvMaps[1].entries.at(2).pointIndex, 3);
    EXPECT_EQ((std::array{bits(o.uvMaps[1].entries[1].u), bits(o.uvMaps[1].entries[1].v)}),
              (std::array{bits(1.5f), bits(-0.5f)}));
    ASSERT_EQ(o.weightMaps.size(), 2u);
    EXPECT_EQ(bits(o.weightMaps[0].entries.at(1).weight), bits(-0.5f));
    EXPECT_EQ(o.uvFixMaps.size(), 2u);
    ASSERT_EQ(o.surfaces.size(), 2u);
    EXPECT_EQ(o.surfaces[0].name, "Skin");
    EXPECT_EQ(o.surfaces[1].name, "Cloth");
}

TEST(LwoSkippedChunks, LeaveTheObjectUnchangedAndPrintNothing)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"TAGS", tagsChunk({"Skin"})},
        {"LAYR", layrChunk(1, "layer")},
        {"BBOX", chunk("BBOX", ByteWriter().f32(-1).f32(-1).f32(-1).f32(1).f32(1).f32(1).take())},
        {"CLIP", chunk("CLIP", ByteWriter().u32(1).id("STIL").u16(6).name("a.tga").take())},
        {"unknown id", chunk("ZZZZ", ByteWriter().name("x").take())},
        {"POLS PTCH", polsChunk({{0, 1, 2, 3}}, "PTCH")},
        {"PTAG PART", ptagChunk("PART", {{0, 0}})},
        {"PTAG SMGP", ptagChunk("SMGP", {{0, 0}, {1, 0}})},
        {"VMAP MORF", vertexMapChunk("VMAP", "MORF", 3, "morph", {0, 1}, {1, 2, 3, 4, 5, 6})},
        {"VMAP PICK", vertexMapChunk("VMAP", "PICK", 0, "set", {0, 1, 2}, {})},
        {"VMAD RGB", vertexMapChunk("VMAD", "RGB ", 3, "colour", {0}, {1, 0, 0})},
        {"VMAD WGHT", vertexMapChunk("VMAD", "WGHT", 1, "w", {0}, {1})},
    };
    for (const auto& [what, skipped] : cases) {
        SCOPED_TRACE(what);
        const Parsed p = parse(lwo2({kPoints4, skipped, kTriangle}));
        ASSERT_TRUE(p.ok);
        ASSERT_EQ(p.object.meshes.size(), 1u);
        EXPECT_EQ(p.object.meshes[0].triangles, (Triangles{{0, 1, 2}}));
        EXPECT_TRUE(p.object.uvMaps.empty());
        EXPECT_TRUE(p.object.weightMaps.empty());
        EXPECT_TRUE(p.object.uvFixMaps.empty());
        EXPECT_TRUE(p.object.surfaces.empty());
        EXPECT_EQ(events(p.report), std::vector<std::string>{});
    }
}

TEST(LwoFormWalk, StopsBeforeATrailingEmptyChunkAndAtTheEndOfTheForm)
{
    const Bytes emptyPoints = chunk("PNTS", {});
    // A zero-length chunk that is not last is visited: it opens an empty mesh.
    const Parsed middle = parse(lwo2({emptyPoints, kPoints3, kTriangle}));
    ASSERT_TRUE(middle.ok);
    EXPECT_EQ(middle.object.meshes.size(), 2u);
    // As the last sub-chunk it starts where the next position equals the FORM's
    // length field, so the walk ends before it.
    const Parsed last = parse(lwo2({kPoints3, kTriangle, emptyPoints}));
    ASSERT_TRUE(last.ok);
    EXPECT_EQ(last.object.meshes.size(), 1u);
    // Chunks after the FORM are not part of the object.
    const Parsed after = parse(concat({lwo2({kPoints3, kTriangle}), surfChunk("After"), kPoints3}));
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(after.object.meshes.size(), 1u);
    EXPECT_TRUE(after.object.surfaces.empty());
    EXPECT_TRUE(after.report.events.empty());
}

TEST(LwoDamagedFiles, FailWithOneErrorNamingTheChunkAndStoreNothingAfterIt)
{
    const Bytes after = surfChunk("After");
    Bytes oneShort = lwo2({kPoints3, kTriangle});
    oneShort.pop_back();
    const Bytes nameNoZero = ByteWriter().id("TXUV").u16(2).raw({'u', 'v', 'm', 'a', 'p', 'x'}).take();
    struct Case {
        const char* what;
        Bytes bytes;
        std::string error;
    };
    const Case cases[] = {
        {"sub-chunk longer than its FORM",
         concat({lwo2({kPoints3, chunkWithLength("SURF", 40, ByteWriter().name("Skin").take())}), Bytes(64, 0)}),
         "chunk SURF at offset 56 reaches past the end of its parent chunk"},
        {"FORM one byte longer than the file", oneShort, "chunk FORM at offset 0 reaches past the end of the file"},
        {"FORM length near 4 GiB", chunkWithLength("FORM", 0xFFFFFFF8u, concat({ByteWriter().id("LWO2").take(), kPoints3})),
         "chunk FORM at offset 0 reaches past the end of the file"},
        {"FORM without its form type", chunkWithLength("FORM", 2, {'L', 'W'}),
         "chunk FORM at offset 0 is too short for its form type"},
        {"empty file", {}, "the file is 0 bytes long, too short for a chunk header"},
        {"seven bytes", {'F', 'O', 'R', 'M', 0, 0, 0}, "the file is 7 bytes long, too short for a chunk header"},
        {"surface name runs to the end of its chunk",
         lwo2({kPoints3, chunk("SURF", {'S', 'k', 'i', 'n'}), after}),
         "chunk SURF at offset 56 holds a surface name without its terminating zero"},
        {"VMAP name without zero", lwo2({kPoints3, chunk("VMAP", nameNoZero), after}),
         "chunk VMAP at offset 56 holds a map name without its terminating zero"},
        {"VMAP without dimension", lwo2({kPoints3, chunk("VMAP", {'T', 'X', 'U', 'V', 0}), after}),
         "chunk VMAP at offset 56 is too short for its map dimension"},
        {"VMAD without type", lwo2({kPoints3, chunk("VMAD", {}), kTriangle, after}),
         "chunk VMAD at offset 56 is too short for its map type"},
        {"POLS without type", lwo2({kPoints3, chunk("POLS", {'F', 'A', 'C'}), after}),
         "chunk POLS at offset 56 is too short for its polygon type"},
        {"PTAG without type", lwo2({kPoints3, chunk("PTAG", {'S', 'U'}), after}),
         "chunk PTAG at offset 56 is too short for its tag type"},
        {"polygon record cut off",
         lwo2({kPoints3, chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).take()), after}),
         "chunk POLS at offset 56 has a polygon record at offset 68 that is cut off by the end of the chunk"},
        {"four-byte index cut off",
         lwo2({kPoints3, chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).u16(0xFF00).take()), after}),
         "chunk POLS at offset 56 has a polygon record at offset 68 that is cut off by the end of the chunk"},
        {"quad cut off after a quad",
         lwo2({kPoints3, chunk("POLS", ByteWriter().id("FACE").u16(4).u32(1).u32(2).u16(4).u16(0).take()), after}),
         "chunk POLS at offset 56 has a polygon record at offset 78 that is cut off by the end of the chunk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = parse(c.bytes);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(events(p.report), (std::vector<std::string>{"error: obj.lwo: " + c.error}));
        EXPECT_TRUE(p.object.surfaces.empty());
        for (const LwoMesh& mesh : p.object.meshes) EXPECT_TRUE(mesh.triangles.empty());
    }
}

TEST(LwoWrongForm, OtherFormTypesShowTheMessageBoxThenFail)
{
    for (const char* type : {"LWOB", "lwo2", "LWO1", "ILBM"}) {
        SCOPED_TRACE(type);
        const Parsed p = parse(form(type, {kPoints3, kTriangle, surfChunk("Skin")}));
        EXPECT_FALSE(p.ok);
        const std::vector<std::string> seen = events(p.report);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0], "box: Whassuuup?? / Wrong File Format!");
        EXPECT_THAT(seen[1], StartsWith("error: obj.lwo: "));
        EXPECT_THAT(seen[1], HasSubstr(type));
        EXPECT_TRUE(p.object.meshes.empty());
        EXPECT_TRUE(p.object.surfaces.empty());
    }
}

TEST(LwoWrongForm, AFileThatDoesNotBeginWithFormFailsWithoutMessageBox)
{
    const Parsed p = parse(concat({kPoints3, lwo2({kPoints3, kTriangle})}));
    EXPECT_FALSE(p.ok);
    ASSERT_EQ(p.report.events.size(), 1u);
    EXPECT_EQ(p.report.events[0].kind, Event::Error);
    EXPECT_THAT(p.report.events[0].text, StartsWith("obj.lwo: "));
    EXPECT_THAT(p.report.events[0].text, HasSubstr("PNTS"));
    EXPECT_TRUE(p.object.meshes.empty());
}

TEST(LwoLoad, UnreadableFilesNameThePathAndTheReason)
{
    const testing::TempDir dir;
    const std::string missing = (dir / "missing.lwo").string();
    const std::string folder = dir.path().string();
    for (const std::string& path : {missing, folder}) {
        SCOPED_TRACE(path);
        LwoObject object;
        CaptureReporter report;
        EXPECT_FALSE(loadLwoObject(path, object, report));
        ASSERT_EQ(report.events.size(), 1u);
        EXPECT_EQ(report.events[0].kind, Event::Error);
        EXPECT_THAT(report.events[0].text, StartsWith("cannot read object file '" + path + "': "));
    }
}

} // namespace
} // namespace lwmd5
