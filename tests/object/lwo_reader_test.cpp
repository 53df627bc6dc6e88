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
#include <array>
#include <filesystem>
#include <sstream>
#include <tuple>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using Lines = std::vector<std::string>;

// One parse of `bytes` as obj.lwo: its result, the object, and every message in order, one line each (debug
// lines as they stand).
struct Parsed {
    explicit Parsed(const Bytes& bytes)
    {
        std::optional<LwoObject> read = parseLwoObject(bytes, log, "obj.lwo");
        ok = read.has_value();
        if (read) object = std::move(*read);
        static const char* const kKinds[] = {"error: ", "warning: ", "box: ", ""};
        for (const auto& e : log.events) {
            events.push_back(kKinds[e.kind] + e.title + (e.title.empty() ? "" : ": ") + e.text);
        }
    }
    LwoObject object;
    testing::CaptureReporter log;
    bool ok = false;
    Lines events;
};

// What the reader stored but the points: one line per mesh ("points/polygons:
// triangles | first triangle of each polygon"), per map and per surface.
std::string dump(const LwoObject& object)
{
    std::ostringstream s;
    for (const LwoMesh& m : object.meshes) {
        s << m.pointCount() << '/' << m.polygonCount() << ':';
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
// The warning after the box: what became of the polygons that are not triangles.
std::string split(const std::string& what) { return "warning: obj.lwo: " + what + "; the conversion goes on"; }
const std::string kQuadSplit = split("1 polygon of more than three corners became 2 triangles");
const std::string kCubeSplit = split("6 polygons of more than three corners became 12 triangles");
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

// Each object, what the reader stored and the messages it sent. A damaged file
// ends with one error line naming the chunk and its offset, and no object.
// The programs' runs on many more damaged files (an LWOB form
// among them) are in the hostile-input table.
TEST(LwoReader, StoresWhatTheFileHoldsAndReportsItInFileOrderOrEndsWithOneError)
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
    // The FORM header and type (12 bytes) and three points (44): the chunk in question is at 56.
    const auto at56 = [](const Bytes& chunk) { return form("LWO2", {kPoints3, chunk, kTriangle}); };
    // Debug lines carry the number of point sets read so far.
    const Lines twinEvents = {"Mesh: 0\tUVs:1/1\n", kBox,       kQuadSplit, "PTags: 36 - 9\n", "Mesh: 1\tUVs:3/3\n",
                              "Mesh: 1\tWs:2/2\n", "Mesh: 1\tUVFIXs:1/1\n", kBox, kQuadSplit, "Mesh: 2\tWs:1/1\n",
                              "Mesh: 2\tUVFIXs:2/2\n"};
    // As the file holds it: v not flipped, weights of 0 and below kept.
    const std::string twinObject = "5/3: 0,1,2 0,2,3 0,3,4 4,3,2 | 0 1 3 4\n3/2: 0,1,2 2,1,0 2,0,1 | 0 1 3\n"
                                   "uv : 0 0,0\nuv Texture: 0 0,0.25 1 1.5,-0.5 4 0,1\nfix Texture: 2/1 0.75,0.25\n"
                                   "fix Texture: 0/0 0,0 1/1 0,0\nweight Textur: 1 0 4 -0.5\nweight Bone2: 0 1\n"
                                   "surface Body\nsurface Hat\nsurface Eyes\n";
    const std::tuple<Bytes, std::string, Lines> cases[] = {
        {twin(false), twinObject, twinEvents}, {twin(true), twinObject, twinEvents},
        // Fans (v0, vk, vk+1), polygons under 3 corners, all six flag bits set.
        {lwo2({five, polsChunk({{0, 1, 2}, {0, 1, 2, 3}, {4, 3, 2, 1, 0}, {0, 1}, {2}, {}}, "FACE", 0x3F)}),
         "5/6: 0,1,2 0,1,2 0,2,3 4,3,2 4,2,1 4,1,0 | 0 1 3 6 6 6 6\n",
         {kBox, split("2 polygons of more than three corners became 5 triangles, and 3 polygons of fewer than three "
                      "corners (lines or points) were left out")}},
        // Corners outside the points.
        {lwo2({five, polsChunk({{0, 1, 5}, {0, 1, 2, 9}, {4, 3, 2}, {7, 8, 6}})}), "5/4: 0,1,2 4,3,2 | 0 0 1 2 2\n",
         {kBox, kQuadSplit, dropped(3)}},
        // FACE before the points, then PTCH and a second FACE after them.
        {lwo2({kTriangle, five, polsChunk({{0, 1, 2, 3}}, "PTCH"), polsChunk({{3, 2, 1}}), polsChunk({{0, 1, 2, 3}})}),
         "5/1: 3,2,1 | 0 1\n", {"warning: obj.lwo: chunk POLS at offset 12 holds polygons before any point set "
                                "(PNTS chunk); they are ignored"}},
        // A FACE chunk that left its point set without triangles (all outside, lines only, empty) gives way to the
        // next one.
        {lwo2({five, polsChunk({{0, 1, 9}}), polsChunk({{2, 1, 0}}), five, polsChunk({{0, 1}, {2}}),
               polsChunk({{2, 1, 0}}), five, polsChunk({}), polsChunk({{2, 1, 0}})}),
         "5/1: 2,1,0 | 0 1\n5/1: 2,1,0 | 0 1\n5/1: 2,1,0 | 0 1\n", {dropped(1), kBox, split("2 polygons of fewer than three corners (lines or points) were left out")}},
        // Four-byte indices. With every index long, dividing the bytes by the short record size would count five
        // weights: entries are counted by walking them.
        {lwo2({pntsChunk(std::vector<Point>(70000)), longPolygons, uvMapChunk("uv", {{69999, 0.5f, 0.25f}, {7, 1, 1}}),
               weightMapChunk("w", {{69997, 0.5f}, {1, 1}, {2, 1}, {0, 0}}, true),
               uvFixMapChunk("uv", {{69998, 70001, 0.75f, 0.5f}}, true)}),
         "70000/2: 69999,65280,0 1,2,65279 | 0 1 2\nuv uv: 69999 0.5,0.25 7 1,1\nfix uv: 69998/70001 0.75,0.5\n"
         "weight w: 69997 0.5 1 1 2 1 0 0\n",
         {"Mesh: 1\tUVs:2/2\n", "Mesh: 1\tWs:4/4\n", "Mesh: 1\tUVFIXs:1/1\n"}},
        // The walk: empty chunks visited but for the last one, no pad byte after an odd length, nothing after the FORM.
        {concat({lwo2({emptyPoints, oddPoints, surfChunk("Skin"), kPoints3, kTriangle, emptyPoints}), kPoints3}),
         "0/0: |\n2/0: |\n3/1: 0,1,2 | 0 1\nsurface Skin\n", {}},
        // Nested forms: LWO2 walked, LWO3 refused.
        {lwo2({kPoints3, lwo2({kPoints3}), form("LWO3", {kPoints3})}), "3/0: |\n3/0: |\n", {kWrongForm}},
        // A long index cut by the end of the polygon chunk.
        {at56(chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).u16(0xFF00).take())), "",
         {"error: obj.lwo: chunk POLS at offset 56 has a polygon record at offset 68 that is cut off by the end of "
          "the chunk"}},
        {form("LWO3", {kPoints3, chunk("FORM", ByteWriter().id("SURF").id("    ").u32(4).id("Skin").take())}),
         "", {"error: obj.lwo: chunk FORM at offset 56 holds a surface name without its terminating zero"}},
        // A map of the wrong dimension is skipped with a warning; the walk goes on.
        {at56(vertexMapChunk("VMAD", "TXUV", 1, "m", {0, 0}, {1})), "3/1: 0,1,2 | 0 1\n",
         {"warning: obj.lwo: chunk VMAD at offset 56 TXUV map 'm' has dimension 1, not 2; it is skipped"}},
    };
    for (const auto& [bytes, object, events] : cases) {
        const Parsed p(bytes);
        EXPECT_EQ(dump(p.object), object);
        EXPECT_EQ(p.events, events);
        EXPECT_EQ(p.ok, p.log.texts(testing::CaptureReporter::Event::Error).empty()) << object;
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
        SCOPED_TRACE(n);
        Bytes bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(std::min(n, whole.size())));
        if (n >= whole.size()) {
            std::uint8_t& byte = bytes[(n - whole.size()) / 4];
            byte = static_cast<std::uint8_t>(std::array{byte + 1, byte - 1, 0, 0xFF}[(n - whole.size()) % 4]);
        }
        const Parsed p(bytes);
        ASSERT_EQ(p.log.texts(testing::CaptureReporter::Event::Error).size(), p.ok ? 0u : 1u);
        ASSERT_FALSE(p.ok && n < whole.size());
        parsed += p.ok;
        for (const LwoMesh& m : p.object.meshes) {
            for (const auto& t : m.triangles) ASSERT_LT(std::ranges::max(t), m.pointCount());
        }
    }
    EXPECT_GT(parsed, 0u); // not every change is fatal
}

// Objects written by other tools. The expected figures come from a separate
// walk over their chunks: points from the PNTS lengths, polygons and fan
// triangles from the FACE records, map entries by walking each map's records.
// The programs' runs on every one of them (the LWOB and the empty file, the
// 143-gon and the two layers with a UV map among them) are end-to-end tests.
TEST(RealObjects, ReadTheirPointSetsAndMessages)
{
    const std::filesystem::path dir = testing::realDataDir();
    if (dir.empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    const std::string ptags = "PTags: 24 - 6\n";
    // Points/polygons/triangles of each point set.
    const std::tuple<const char*, std::string, Lines> cases[] = {
        {"layers_and_weights.lwo", "8/6/12 266/288/528 8/6/12 8/6/12 ",
         {kBox, kCubeSplit, ptags, "Mesh: 2\tWs:266/266\n", "Mesh: 2\tWs:266/266\n", kBox,
          split("240 polygons of more than three corners became 480 triangles"), "PTags: 1152 - 288\n", kBox,
          kCubeSplit, ptags, kBox, kCubeSplit, ptags}},
        {"two_uv_maps_with_vmad.lwo", "8/6/12 ",
         {"Mesh: 1\tUVs:8/8\n", "Mesh: 1\tUVs:8/8\n", kBox, kCubeSplit, ptags, "Mesh: 1\tUVFIXs:2/2\n",
          "Mesh: 1\tUVFIXs:2/2\n"}},
        // RGB maps (VMAP and VMAD) are skipped; one 24-gon among triangles and quads.
        {"vertex_colors_24gon.lwo", "1628/1735/3202 ", {"Mesh: 1\tUVs:266/266\n", kBox,
                                                split("1447 polygons of more than three corners became 2914 triangles"),
                                                "PTags: 6940 - 1735\n"}},
        {"patches_only.lwo", "26/0/0 ", {"PTags: 96 - 24\n"}},
        {"lwo3_box_uv.lwo", "8/6/12 ", {"Mesh: 1\tUVs:8/8\n", kBox, kCubeSplit, ptags}},
    };
    for (const auto& [file, figures, events] : cases) {
        const std::string bytes = testing::readFile(dir / "objects" / file);
        const Parsed p{Bytes(bytes.begin(), bytes.end())};
        std::ostringstream meshes;
        for (const LwoMesh& m : p.object.meshes) {
            meshes << m.pointCount() << '/' << m.polygonCount() << '/' << m.triangleCount() << ' ';
        }
        EXPECT_EQ(meshes.str(), figures) << file;
        EXPECT_EQ(p.events, events) << file; // also: no error line, so the object was read
    }
}

} // namespace
} // namespace lwmd5
