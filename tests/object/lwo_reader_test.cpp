// The object reader on LWO2 and LWO3 objects built in memory and on real
// objects: what it stores, the messages it sends in file order, and how
// damaged files end.

#include "object/lwo_reader.h"

#include "lwo_builder.h"
#include "support/capture_reporter.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using Lines = std::vector<std::string>;

struct Parsed {
    bool ok = false;
    LwoObject object;
    Lines events; // every message in order, one line each; debug lines as they stand
};

Parsed parse(const Bytes& bytes)
{
    static const char* const kKinds[] = {"error: ", "warning: ", "box: ", ""};
    Parsed p;
    testing::CaptureReporter log;
    p.ok = parseLwoObject(bytes, p.object, log, "obj.lwo");
    for (const auto& e : log.events) {
        p.events.push_back(kKinds[e.kind] + e.title + (e.title.empty() ? "" : ": ") + e.text);
    }
    return p;
}

// What the reader stored but the points: one line per mesh ("points/polygons:
// triangles | first triangle of each polygon"), per map and per surface.
std::string dump(const LwoObject& object)
{
    std::ostringstream s;
    for (const LwoMesh& m : object.meshes) {
        s << m.pointCount() << '/' << m.polygonCount << ':';
        for (const auto& t : m.triangles) s << ' ' << t[0] << ',' << t[1] << ',' << t[2];
        s << " |";
        for (const std::int32_t first : m.polygonFirstTriangle) s << ' ' << first;
        s << '\n';
    }
    const auto maps = [&s](const char* kind, const auto& list, const auto& entry) {
        for (const auto& map : list) {
            s << kind << ' ' << map.name << ':';
            for (const auto& e : map.entries) entry(e);
            s << '\n';
        }
    };
    maps("uv", object.uvMaps, [&s](const LwoUvEntry& e) { s << ' ' << e.pointIndex << ' ' << e.u << ',' << e.v; });
    maps("fix", object.uvFixMaps, [&s](const LwoUvFixEntry& e) {
        s << ' ' << e.pointIndex << '/' << e.polygonIndex << ' ' << e.u << ',' << e.v;
    });
    maps("weight", object.weightMaps, [&s](const LwoWeightEntry& e) { s << ' ' << e.pointIndex << ' ' << e.weight; });
    for (const LwoSurface& surface : object.surfaces) s << "surface " << surface.name << '\n';
    return s.str();
}

const Bytes kPoints3 = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
const Bytes kTriangle = polsChunk({{0, 1, 2}});
const std::string kBox = "box: ERROR!!!: Check Geometry! Only 3 verts per poly!";
const std::string kWrongForm = "box: Whassuuup??: Wrong File Format!";

// One object as LWO2 and as LWO3: every chunk kind the reader decodes, chunks
// and sub-types it steps over, two layers, quads, long indices, map names of
// 0, 6 and 7 letters (entries at data offsets 8, 14 and 14). LWO3 keeps its
// surfaces in nested SURF forms, named at the form's offset 20 when their
// first sub-chunk is "    ". Nested forms are data: entering any of them
// (NODS, CLIP, ENVL, LWO2) would add a mesh and a surface.
Bytes twin(bool lwo3)
{
    std::vector<Bytes> chunks = {
        uvMapChunk("", {{0, 0, 0}}), tagsChunk({"Skin", "Cloth"}), layrChunk(0, "body"),
        pntsChunk({{1.5f, -2, 0.25f}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}}), chunk("BBOX", Bytes(24, 0)),
        polsChunk({{0, 1, 2}, {0, 2, 3, 4}, {4, 3, 2}}),
        ptagChunk("SURF", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}}), // 40 data bytes
        ptagChunk("PART", {{0, 0}}), uvMapChunk("Texture", {{0, 0, 0.25f}, {1, 1.5f, -0.5f}, {4, 0, 1}}),
        vertexMapChunk("VMAP", "MORF", 3, "smile", {0, 1}, {1, 2, 3, 4, 5, 6}),
        vertexMapChunk("VMAP", "PICK", 0, "set", {0, 1, 2}, {}), weightMapChunk("Textur", {{1, 0}, {4, -0.5f}}, true),
        vertexMapChunk("VMAD", "RGB ", 3, "colour", {0}, {1, 0, 0}),
        uvFixMapChunk("Texture", {{2, 1, 0.75f, 0.25f}}, true), chunk("CLIP", ByteWriter().u32(1).id("STIL").take()),
        layrChunk(1, "cloth"), kPoints3, polsChunk({{0, 1, 2}, {2, 1, 0, 1}}), weightMapChunk("Bone2", {{0, 1}}),
        uvFixMapChunk("Texture", {{0, 0, 0, 0}, {1, 1, 0, 0}})};
    const std::vector<Bytes> inner = {kPoints3, kTriangle, surfChunk("Inner")};
    for (const char* name : {"Body", "Hat", "Eyes"}) {
        chunks.push_back(!lwo3 ? surfChunk(name, "Base")
                               : form("SURF", {chunk("    ", ByteWriter().name(name).name("Base").take()),
                                               form("NODS", inner)}));
    }
    if (!lwo3) return form("LWO2", chunks);
    for (const char* type : {"CLIP", "ENVL", "LWO2"}) chunks.push_back(form(type, inner));
    chunks.push_back(form("SURF", {chunk("VERS", Bytes(4, 0)), chunk("    ", ByteWriter().name("Skin").take())}));
    return form("LWO3", chunks);
}

TEST(LwoTwins, StoreWhatTheFileHoldsAndReportItInFileOrderAlikeAsLwo2AndLwo3)
{
    const Parsed two = parse(twin(false));
    const Parsed three = parse(twin(true));
    // Debug lines carry the number of point sets read so far.
    EXPECT_EQ(two.events, (Lines{"Mesh: 0\tUVs:1/1\n", kBox, "PTags: 36 - 9\n", "Mesh: 1\tUVs:3/3\n",
                                 "Mesh: 1\tWs:2/2\n", "Mesh: 1\tUVFIXs:1/1\n", kBox, "Mesh: 2\tWs:1/1\n",
                                 "Mesh: 2\tUVFIXs:2/2\n"}));
    // As the file holds it: v not flipped, weights of 0 and below kept.
    EXPECT_EQ(dump(two.object), "5/3: 0,1,2 0,2,3 0,3,4 4,3,2 | 0 1 3 4\n3/2: 0,1,2 2,1,0 2,0,1 | 0 1 3\n"
                                "uv : 0 0,0\nuv Texture: 0 0,0.25 1 1.5,-0.5 4 0,1\n"
                                "fix Texture: 2/1 0.75,0.25\nfix Texture: 0/0 0,0 1/1 0,0\n"
                                "weight Textur: 1 0 4 -0.5\nweight Bone2: 0 1\n"
                                "surface Body\nsurface Hat\nsurface Eyes\n");
    EXPECT_EQ(three.events, two.events);
    EXPECT_EQ(dump(three.object), dump(two.object));
}

TEST(LwoObjects, HoldFansOfTheFirstFaceChunkAndWhatTheFormWalkReaches)
{
    const auto lwo2 = [](const std::vector<Bytes>& chunks) { return form("LWO2", chunks); };
    const Bytes five = pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 2, 0}});
    const auto dropped = [](int count) { // for the POLS chunk right behind `five`
        return "warning: obj.lwo: chunk POLS at offset 80 has " + std::to_string(count) +
               " triangles with a corner that is not a point of the mesh; they were dropped";
    };
    // FF 01 11 6F is 69999, FF 00 FF 00 65280, FF 00 00 01 a long 1; FE FF (65279) is short.
    const Bytes longPolygons = chunk("POLS", ByteWriter().id("FACE").u16(3).u32(0xFF01116F).u32(0xFF00FF00).u16(0)
                                                 .u16(3).u32(0xFF000001).u32(0xFF000002).u16(0xFEFF).take());
    const Bytes emptyPoints = chunk("PNTS", {});
    // 25 data bytes: two points and a stray byte; the next chunk follows at once, no pad byte.
    const Bytes oddPoints = chunk("PNTS", ByteWriter().f32(1).f32(2).f32(3).f32(4).f32(5).f32(6).u8(7).take());
    const std::tuple<const char*, Bytes, std::string, Lines> cases[] = {
        {"fans (v0, vk, vk+1), polygons under 3 corners, all six flag bits set",
         lwo2({five, polsChunk({{0, 1, 2}, {0, 1, 2, 3}, {4, 3, 2, 1, 0}, {0, 1}, {2}, {}}, "FACE", 0x3F)}),
         "5/6: 0,1,2 0,1,2 0,2,3 4,3,2 4,2,1 4,1,0 | 0 1 3 6 6 6 6\n", {kBox}},
        {"corners outside the points", lwo2({five, polsChunk({{0, 1, 5}, {0, 1, 2, 9}, {4, 3, 2}, {7, 8, 6}})}),
         "5/4: 0,1,2 4,3,2 | 0 0 1 2 2\n", {kBox, dropped(3)}},
        {"FACE before the points, PTCH, a second FACE",
         lwo2({kTriangle, five, polsChunk({{0, 1, 2, 3}}, "PTCH"), polsChunk({{3, 2, 1}}), polsChunk({{0, 1, 2, 3}})}),
         "5/1: 3,2,1 | 0 1\n", {"warning: obj.lwo: chunk POLS at offset 12 holds polygons before any point set "
                                "(PNTS chunk); they are ignored"}},
        // A FACE chunk that left its point set without triangles gives way to the next one.
        {"first FACE all outside, lines only, empty",
         lwo2({five, polsChunk({{0, 1, 9}}), polsChunk({{2, 1, 0}}), five, polsChunk({{0, 1}, {2}}),
               polsChunk({{2, 1, 0}}), five, polsChunk({}), polsChunk({{2, 1, 0}})}),
         "5/1: 2,1,0 | 0 1\n5/1: 2,1,0 | 0 1\n5/1: 2,1,0 | 0 1\n", {dropped(1), kBox}},
        // With every index long, dividing the bytes by the short record size
        // would count five weights: entries are counted by walking them.
        {"four-byte indices", lwo2({pntsChunk(std::vector<Point>(70000)), longPolygons,
                                    uvMapChunk("uv", {{69999, 0.5f, 0.25f}, {7, 1, 1}}),
                                    weightMapChunk("w", {{69997, 0.5f}, {1, 1}, {2, 1}, {0, 0}}, true),
                                    uvFixMapChunk("uv", {{69998, 70001, 0.75f, 0.5f}}, true)}),
         "70000/2: 69999,65280,0 1,2,65279 | 0 1 2\nuv uv: 69999 0.5,0.25 7 1,1\nfix uv: 69998/70001 0.75,0.5\n"
         "weight w: 69997 0.5 1 1 2 1 0 0\n",
         {"Mesh: 1\tUVs:2/2\n", "Mesh: 1\tWs:4/4\n", "Mesh: 1\tUVFIXs:1/1\n"}},
        {"the walk: empty chunks visited but for the last one, no pad byte after an odd length, nothing after the FORM",
         concat({lwo2({emptyPoints, oddPoints, surfChunk("Skin"), kPoints3, kTriangle, emptyPoints}), kPoints3}),
         "0/0: |\n2/0: |\n3/1: 0,1,2 | 0 1\nsurface Skin\n", {}},
        {"nested forms: LWO2 walked, LWO3 refused", lwo2({kPoints3, lwo2({kPoints3}), form("LWO3", {kPoints3})}),
         "3/0: |\n3/0: |\n", {kWrongForm}},
    };
    for (const auto& [what, bytes, object, events] : cases) {
        SCOPED_TRACE(what);
        const Parsed p = parse(bytes);
        EXPECT_TRUE(p.ok);
        EXPECT_EQ(dump(p.object), object);
        EXPECT_EQ(p.events, events);
    }
}

TEST(LwoDamagedFiles, FailWithOneErrorNamingTheChunkAndItsOffset)
{
    // The FORM header and type (12 bytes) and three points (44): the chunk in question is at 56.
    const auto at56 = [](const Bytes& chunk) { return form("LWO2", {kPoints3, chunk, kTriangle}); };
    const auto error = [](const std::string& text) { return "error: obj.lwo: " + text; };
    const std::string cut = error("chunk POLS at offset 56 has a polygon record at offset 68 that is cut off by the "
                                  "end of the chunk");
    const std::pair<Bytes, Lines> cases[] = {
        {form("LWOB", {kPoints3, kTriangle}),
         {kWrongForm, error("form type LWOB is not LWO2 or LWO3; nothing was read")}},
        {chunkWithLength("FORM", 57, concat({ByteWriter().id("LWO2").take(), kPoints3})),
         {error("chunk FORM at offset 0 reaches past the end of the file")}},
        {concat({form("LWO2", {kPoints3, chunkWithLength("SURF", 40, {'S', 0})}), Bytes(64, 0)}),
         {error("chunk SURF at offset 56 reaches past the end of its parent chunk")}},
        {at56(chunk("SURF", {'S', 'k', 'i', 'n'})),
         {error("chunk SURF at offset 56 holds a surface name without its terminating zero")}},
        {at56(chunk("VMAP", {'T', 'X', 'U', 'V', 0, 2, 'u', 'v'})),
         {error("chunk VMAP at offset 56 holds a map name without its terminating zero")}},
        {at56(chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).take())), {cut}},
        {at56(chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).u16(0xFF00).take())), {cut}},
        {form("LWO3", {kPoints3, chunk("FORM", ByteWriter().id("SURF").id("    ").u32(4).id("Skin").take())}),
         {error("chunk FORM at offset 56 holds a surface name without its terminating zero")}},
        // Maps of the wrong dimension are skipped with a warning; the walk goes on.
        {at56(vertexMapChunk("VMAP", "TXUV", 3, "m", {0}, {1, 2, 3})),
         {"warning: obj.lwo: chunk VMAP at offset 56 TXUV map 'm' has dimension 3, not 2; it is skipped"}},
        {at56(vertexMapChunk("VMAP", "WGHT", 2, "m", {0}, {1, 2})),
         {"warning: obj.lwo: chunk VMAP at offset 56 WGHT map 'm' has dimension 2, not 1; it is skipped"}},
        {at56(vertexMapChunk("VMAD", "TXUV", 1, "m", {0, 0}, {1})),
         {"warning: obj.lwo: chunk VMAD at offset 56 TXUV map 'm' has dimension 1, not 2; it is skipped"}},
    };
    for (const auto& [bytes, events] : cases) {
        SCOPED_TRACE(events.back());
        const Parsed p = parse(bytes);
        EXPECT_EQ(p.events, events);
        EXPECT_EQ(p.ok, events.back().rfind("error: ", 0) != 0);
        EXPECT_EQ(p.object.totalPolygons() > 0, p.ok); // nothing is stored behind a damaged chunk
    }
}

// Every prefix of a valid object fails; every single-byte change (+1, -1, to
// 0x00, to 0xFF) parses or fails. Either way with at most one error line, and
// a parsed object holds only triangles inside their point set. Each input is a
// vector of exactly its size, so the sanitizers see any read past it.
TEST(LwoRobustness, PrefixesAndSingleByteChangesFailCleanlyOrParseIntoAUsableObject)
{
    const Bytes whole = twin(true);
    std::size_t parsed = 0;
    for (std::size_t n = 0; n < 5 * whole.size(); ++n) { // the prefixes of n bytes, then the changes
        Bytes bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(std::min(n, whole.size())));
        if (n >= whole.size()) {
            std::uint8_t& byte = bytes[(n - whole.size()) / 4];
            const int changes[] = {1, -1, -byte, 0xFF - byte};
            byte = static_cast<std::uint8_t>(byte + changes[(n - whole.size()) % 4]);
        }
        const Parsed p = parse(bytes);
        const auto isError = [](const std::string& e) { return e.rfind("error: ", 0) == 0; };
        ASSERT_EQ(std::count_if(p.events.begin(), p.events.end(), isError), p.ok ? 0 : 1) << "input " << n;
        ASSERT_FALSE(p.ok && n < whole.size()) << "input " << n;
        parsed += p.ok;
        for (const LwoMesh& m : p.object.meshes) {
            for (const auto& t : m.triangles) ASSERT_LT(std::ranges::max(t), m.pointCount()) << "input " << n;
        }
    }
    EXPECT_GT(parsed, 0u); // not every change is fatal
}

// Objects written by other tools. The expected figures come from a separate
// walk over their chunks: points from the PNTS lengths, polygons and fan
// triangles from the FACE records, map entries by walking each map's records.
TEST(RealObjects, ReadTheirPointSetsAndMessagesOrFailWithTheirMessage)
{
    const std::filesystem::path dir = testing::realDataDir();
    if (dir.empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    const std::string ptags = "PTags: 24 - 6\n";
    // Points/polygons/triangles of each point set; no figures: the file fails.
    const std::tuple<const char*, std::string, Lines> cases[] = {
        {"cube_quads.lwo", "8/6/12 ", {kBox, ptags}},
        {"ngon_143.lwo", "133/1/141 ", {kBox, "PTags: 4 - 1\n"}},
        {"layers_and_weights.lwo", "8/6/12 266/288/528 8/6/12 8/6/12 ",
         {kBox, ptags, "Mesh: 2\tWs:266/266\n", "Mesh: 2\tWs:266/266\n", kBox, "PTags: 1152 - 288\n", kBox, ptags,
          kBox, ptags}},
        {"two_layers_uv.lwo", "798/864/1584 8/6/12 ", {kBox, "PTags: 3456 - 864\n", "Mesh: 2\tUVs:8/8\n", kBox, ptags}},
        {"two_uv_maps_with_vmad.lwo", "8/6/12 ",
         {"Mesh: 1\tUVs:8/8\n", "Mesh: 1\tUVs:8/8\n", kBox, ptags, "Mesh: 1\tUVFIXs:2/2\n", "Mesh: 1\tUVFIXs:2/2\n"}},
        // RGB maps (VMAP and VMAD) are skipped; one 24-gon among triangles and quads.
        {"vertex_colors_24gon.lwo", "1628/1735/3202 ", {"Mesh: 1\tUVs:266/266\n", kBox, "PTags: 6940 - 1735\n"}},
        {"patches_only.lwo", "26/0/0 ", {"PTags: 96 - 24\n"}},
        {"lwo3_box_uv.lwo", "8/6/12 ", {"Mesh: 1\tUVs:8/8\n", kBox, ptags}},
        {"lwob_form.lwo", "", {kWrongForm, "error: obj.lwo: form type LWOB is not LWO2 or LWO3; nothing was read"}},
        {"empty.lwo", "", {"error: obj.lwo: the file is 0 bytes long, too short for a chunk header"}},
    };
    for (const auto& [file, figures, events] : cases) {
        SCOPED_TRACE(file);
        const std::string bytes = testing::readFile(dir / "objects" / file);
        const Parsed p = parse(Bytes(bytes.begin(), bytes.end()));
        std::string meshes;
        for (const LwoMesh& m : p.object.meshes) {
            meshes += std::to_string(m.pointCount()) + '/' + std::to_string(m.polygonCount) + '/' +
                      std::to_string(m.triangleCount()) + ' ';
        }
        EXPECT_EQ(p.ok, !figures.empty());
        EXPECT_EQ(meshes, figures);
        EXPECT_EQ(p.events, events);
    }
}

} // namespace
} // namespace lwmd5
