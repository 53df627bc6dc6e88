// LWO3 objects (LightWave 2018 and later): the same chunks as LWO2, except
// that SURF, CLIP and ENVL are nested FORMs whose sub-chunks have 4-byte
// lengths. A FORM inside an LWO3 object is data: a SURF form gives the
// surface name at its offset 20 when its first sub-chunk is "    ", every
// other nested FORM is stepped over.

#include "app/pipelines.h"
#include "app/validation.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "scene/scene_reader.h"

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using testing::CaptureReporter;
using Event = CaptureReporter::Event;

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

std::vector<std::string> surfaceNames(const LwoObject& object)
{
    std::vector<std::string> names;
    for (const LwoSurface& surface : object.surfaces) names.push_back(surface.name);
    return names;
}

// Everything the reader stored, floats as bit patterns, so two objects
// compare whole and a difference shows where it is.
std::string describe(const LwoObject& object)
{
    std::ostringstream text;
    text << std::hex;
    auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
    for (const LwoMesh& mesh : object.meshes) {
        text << "mesh polygons " << mesh.polygonCount << "\n points";
        for (const auto& p : mesh.points) text << ' ' << bits(p[0]) << ',' << bits(p[1]) << ',' << bits(p[2]);
        text << "\n triangles";
        for (const auto& t : mesh.triangles) text << ' ' << t[0] << ',' << t[1] << ',' << t[2];
        text << "\n first triangles";
        for (const std::int32_t first : mesh.polygonFirstTriangle) text << ' ' << first;
        text << '\n';
    }
    for (const LwoUvMap& map : object.uvMaps) {
        text << "uv " << map.name;
        for (const auto& e : map.entries) text << ' ' << e.pointIndex << ':' << bits(e.u) << ',' << bits(e.v);
        text << '\n';
    }
    for (const LwoUvFixMap& map : object.uvFixMaps) {
        text << "uv fix " << map.name;
        for (const auto& e : map.entries) {
            text << ' ' << e.pointIndex << '/' << e.polygonIndex << ':' << bits(e.u) << ',' << bits(e.v);
        }
        text << '\n';
    }
    for (const LwoWeightMap& map : object.weightMaps) {
        text << "weights " << map.name;
        for (const auto& e : map.entries) text << ' ' << e.pointIndex << ':' << bits(e.weight);
        text << '\n';
    }
    for (const LwoSurface& surface : object.surfaces) text << "surface " << surface.name << '\n';
    return text.str();
}

// A surface as LWO3 stores it: the name chunk "    " (name and source name,
// each padded to even length) first, then sub-chunks of its own and nested
// forms; the points inside NODS would add a mesh if the reader went in.
Bytes lwo3Surface(std::string_view name, std::string_view source = "")
{
    return form("SURF", {chunk("    ", ByteWriter().name(name).name(source).take()),
                         chunk("VERS", ByteWriter().u32(0x06A4).take()),
                         form("NODS", {pntsChunk({{9, 9, 9}}), surfChunk("Inner")})});
}

Bytes clipForm()
{
    return form("CLIP", {chunk("    ", ByteWriter().u32(1).take()),
                         form("STIL", {chunk("    ", ByteWriter().name("images/skin.png").take())})});
}

Bytes envelopeForm()
{
    return form("ENVL", {chunk("    ", ByteWriter().u32(1).take()), chunk("PRE ", ByteWriter().u16(1).take())});
}

struct Surface {
    std::string name;
    std::string source;
};

// One object in both formats: the chunks, then its surfaces as SURF chunks
// (LWO2) or as nested SURF forms between a CLIP and an ENVL form (LWO3).
Bytes asLwo2(std::vector<Bytes> chunks, const std::vector<Surface>& surfaces)
{
    for (const Surface& s : surfaces) chunks.push_back(surfChunk(s.name, s.source));
    return form("LWO2", chunks);
}

Bytes asLwo3(std::vector<Bytes> chunks, const std::vector<Surface>& surfaces)
{
    chunks.push_back(clipForm());
    for (const Surface& s : surfaces) chunks.push_back(lwo3Surface(s.name, s.source));
    chunks.push_back(envelopeForm());
    return form("LWO3", chunks);
}

// Root, and Arm as its child; their weight maps are named after them.
std::string twoBoneScene()
{
    const BoneSpec root{"Root", "Root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
    const BoneSpec arm{"Arm", "Arm", {0, 1, 0}, {0, -90, 0}, 1.0f, 0, restChannels(0, 1, 0)};
    return SceneTextBuilder().header(0, 1, 30, "obj.lwo").bone(root).bone(arm).text();
}

// What meshconv makes of the object between reading and writing, with the
// messages of every stage.
std::string convertToMd5Mesh(const LwoObject& object, CaptureReporter& report)
{
    Scene scene;
    parseScene(twoBoneScene(), scene, SceneFlavour::BonesOnly, report, "s.lws");
    scene.object = object;
    if (!validateInputs(scene, {"s.lws", "obj.lwo", false}, report)) return {};
    convertMesh(scene, report);
    return formatMd5Mesh(scene);
}

TEST(Lwo3Objects, ConvertExactlyLikeTheirLwo2Twins)
{
    const Bytes triangle = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    struct Case {
        const char* what;
        std::vector<Bytes> chunks;
        std::vector<Surface> surfaces;
        std::size_t meshes;
    };
    const Case cases[] = {
        {"one weighted triangle with a UV map",
         {tagsChunk({"Skin"}), layrChunk(0, "body"), triangle, polsChunk({{0, 1, 2}}), ptagChunk("SURF", {{0, 0}}),
          uvMapChunk("Texture", {{0, 0.0f, 0.0f}, {1, 1.0f, 0.0f}, {2, 0.0f, 0.25f}}),
          weightMapChunk("Root", {{0, 1.0f}, {1, 0.5f}, {2, 0.0f}}), weightMapChunk("Arm", {{1, 0.5f}, {2, 1.0f}})},
         {{"Skin", ""}},
         1},
        {"two layers, a quad, a UV fix, long indices, surfaces with source names",
         {layrChunk(0, "body"), pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}}),
          polsChunk({{0, 1, 2, 3}, {3, 2, 4}}, "FACE", 0, true),
          uvMapChunk("Texture", {{0, 0.0f, 0.0f}, {1, 1.0f, 0.0f}, {2, 1.0f, 1.0f}, {3, 0.0f, 1.0f}}),
          uvFixMapChunk("Texture", {{3, 1, 0.5f, 0.5f}}, true), weightMapChunk("Root", {{0, 1.0f}, {4, 0.25f}}, true),
          weightMapChunk("Arm", {{1, 1.0f}, {2, 1.0f}, {3, 1.0f}, {4, 0.75f}}), layrChunk(1, "hat"), triangle,
          polsChunk({{0, 1, 2}}), uvMapChunk("Hat", {{0, 0.5f, 0.5f}})},
         {{"Body", "Base"}, {"Hat", ""}, {"Eyes", "Base"}},
         2},
        {"no surface and no UV map", {triangle, polsChunk({{0, 1, 2}}), weightMapChunk("Root", {{0, 1.0f}})}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed two = parse(asLwo2(c.chunks, c.surfaces));
        const Parsed three = parse(asLwo3(c.chunks, c.surfaces));
        ASSERT_TRUE(two.ok);
        ASSERT_TRUE(three.ok);
        EXPECT_EQ(two.object.meshes.size(), c.meshes);
        EXPECT_EQ(surfaceNames(three.object).size(), c.surfaces.size());
        EXPECT_EQ(describe(three.object), describe(two.object));
        EXPECT_EQ(events(three.report), events(two.report));

        CaptureReporter twoStages;
        CaptureReporter threeStages;
        const std::string twoMesh = convertToMd5Mesh(two.object, twoStages);
        const std::string threeMesh = convertToMd5Mesh(three.object, threeStages);
        EXPECT_EQ(events(threeStages), events(twoStages));
        EXPECT_EQ(threeMesh, twoMesh);
        // The first surface becomes the shader: the LWO3 name reached the output.
        testing::Md5MeshFile md5;
        std::string error;
        ASSERT_TRUE(testing::readMd5Mesh(threeMesh, md5, error)) << error;
        EXPECT_EQ(md5.meshes.at(0).shader, c.surfaces.empty() ? "" : c.surfaces[0].name);
    }
}

TEST(Lwo3NestedForms, OnlyASurfaceFormWithItsNameChunkGivesASurfaceAndNoneIsEntered)
{
    const Bytes points = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const Bytes triangle = polsChunk({{0, 1, 2}});
    const Bytes namedSkin = chunk("    ", ByteWriter().name("Skin").name("").take());
    struct Case {
        const char* what;
        Bytes nested;
        std::vector<std::string> surfaces;
    };
    const Case cases[] = {
        {"CLIP form", clipForm(), {}},
        {"ENVL form", envelopeForm(), {}},
        {"SURF form whose first chunk is not the name chunk",
         form("SURF", {chunk("VERS", ByteWriter().u32(1).take()), namedSkin}), {}},
        {"SURF form holding only its type", form("SURF", {}), {}},
        {"FORM without a form type", chunk("FORM", {'S', 'U'}), {}},
        {"LWO2 form: data, not a second object", form("LWO2", {points, triangle, surfChunk("Inner")}), {}},
        {"LWOB form: no message box", form("LWOB", {points}), {}},
        {"SURF form with points and a SURF chunk in a nested form", lwo3Surface("Skin"), {"Skin"}},
        {"name of odd length with its pad byte", form("SURF", {chunk("    ", ByteWriter().name("Eye").take())}),
         {"Eye"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = parse(form("LWO3", {points, c.nested, triangle, surfChunk("Last")}));
        ASSERT_TRUE(p.ok) << ::testing::PrintToString(events(p.report));
        EXPECT_TRUE(p.report.events.empty()) << ::testing::PrintToString(events(p.report));
        ASSERT_EQ(p.object.meshes.size(), 1u);
        // The walk went on behind the nested form: the triangle and the last surface.
        EXPECT_EQ(p.object.meshes[0].triangleCount(), 1);
        std::vector<std::string> expected = c.surfaces;
        expected.push_back("Last");
        EXPECT_EQ(surfaceNames(p.object), expected);
    }
}

TEST(Lwo2NestedForms, AreWalkedWhenLwo2AndRefusedWithTheMessageBoxOtherwise)
{
    const Bytes points = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const Bytes triangle = polsChunk({{0, 1, 2}});
    struct Case {
        const char* what;
        Bytes nested;
        std::size_t meshes;
        std::vector<std::string> surfaces;
        bool messageBox;
    };
    const Case cases[] = {
        {"LWO2 form", form("LWO2", {points, triangle, surfChunk("Inner")}), 2, {"Inner", "Last"}, false},
        {"LWO3 form", form("LWO3", {points, triangle}), 1, {"Last"}, true},
        {"a surface as LWO3 writes it", lwo3Surface("Skin"), 1, {"Last"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = parse(form("LWO2", {points, triangle, c.nested, surfChunk("Last")}));
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(events(p.report), c.messageBox ? std::vector<std::string>{"box: Whassuuup?? / Wrong File Format!"}
                                                 : std::vector<std::string>{});
        EXPECT_EQ(p.object.meshes.size(), c.meshes);
        EXPECT_EQ(surfaceNames(p.object), c.surfaces);
    }
}

TEST(Lwo3DamagedFiles, FailWithOneErrorLine)
{
    const Bytes points = pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const Bytes triangle = polsChunk({{0, 1, 2}});
    const Bytes surfaceBody = ByteWriter().id("SURF").id("    ").u32(6).name("Skin").u16(0).take();
    Bytes cutInsideSurface = form("LWO3", {points, triangle, lwo3Surface("Skin")});
    cutInsideSurface.resize(cutInsideSurface.size() - 20);
    struct Case {
        const char* what;
        Bytes bytes;
        std::string error;
    };
    // FORM header and type take 12 bytes, the PNTS chunk 44: the nested form is at 56.
    const Case cases[] = {
        {"nested form longer than its parent",
         concat({form("LWO3", {points, chunkWithLength("FORM", 200, surfaceBody)}), Bytes(256, 0)}),
         "chunk FORM at offset 56 reaches past the end of its parent chunk"},
        {"surface name without its zero inside the nested form",
         form("LWO3", {points, chunk("FORM", ByteWriter().id("SURF").id("    ").u32(4).id("Skin").take())}),
         "chunk FORM at offset 56 holds a surface name without its terminating zero"},
        {"file cut inside a nested form", cutInsideSurface, "chunk FORM at offset 0 reaches past the end of the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Parsed p = parse(c.bytes);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(events(p.report), std::vector<std::string>{"error: obj.lwo: " + c.error});
        EXPECT_TRUE(p.object.surfaces.empty());
    }

    // Every prefix fails with one error line; every single-byte change parses
    // or fails with one error line. Each copy has exactly its size, so the
    // sanitizers see any read past it.
    const Bytes whole = asLwo3({points, triangle, uvMapChunk("Texture", {{0, 0.0f, 0.0f}})}, {{"Skin", "Base"}});
    auto check = [](const Bytes& bytes, bool mustFail) {
        const Parsed p = parse(bytes);
        std::size_t errors = 0;
        for (const Event& e : p.report.events) errors += e.kind == Event::Error;
        EXPECT_TRUE(!mustFail || !p.ok);
        EXPECT_EQ(errors, p.ok ? 0u : 1u);
        return !::testing::Test::HasFailure();
    };
    for (std::size_t size = 0; size < whole.size(); ++size) {
        ASSERT_TRUE(check(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)), true))
            << "prefix of " << size << " bytes";
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const int change : {1, -1, 0x100, 0x1FF}) {
            Bytes mutated = whole;
            mutated[at] = change >= 0x100 ? static_cast<std::uint8_t>(change - 0x100)
                                          : static_cast<std::uint8_t>(mutated[at] + change);
            ASSERT_TRUE(check(mutated, false)) << "byte " << at << " changed by " << change;
        }
    }
}

// ---- lwo3_box_uv.lwo, saved by LightWave: the expected figures come from a
// separate walk over its bytes (PNTS of 96 bytes, six FACE records of four
// corners, a TXUV map "Texture" of 8 records, PTAG SURF of 28 bytes, six
// nested SURF forms named at their offset 20, a CLIP form).

fs::path realBox()
{
    const fs::path root = testing::realDataDir();
    return root.empty() ? root : root / "objects" / "lwo3_box_uv.lwo";
}

const std::array<std::array<float, 3>, 8> kBoxPoints = {{{-0.5f, -0.5f, -0.5f},
                                                         {0.5f, -0.5f, -0.5f},
                                                         {0.5f, -0.5f, 0.5f},
                                                         {-0.5f, -0.5f, 0.5f},
                                                         {-0.5f, 0.5f, -0.5f},
                                                         {0.5f, 0.5f, -0.5f},
                                                         {0.5f, 0.5f, 0.5f},
                                                         {-0.5f, 0.5f, 0.5f}}};

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < 4; ++k) value = (value << 8) | static_cast<unsigned char>(bytes.at(at + k));
    return value;
}

// The LWO2 twin of an LWO3 file: form type LWO2, each nested SURF form
// replaced by a SURF chunk of the name at its offset 20, other nested forms
// dropped, every other chunk kept byte for byte.
Bytes lwo2Twin(const std::string& lwo3)
{
    std::vector<Bytes> chunks;
    const std::size_t end = 8 + bigEndian32(lwo3, 4);
    for (std::size_t at = 12; at + 8 <= end;) {
        const std::size_t next = at + 8 + bigEndian32(lwo3, at + 4);
        if (lwo3.compare(at, 4, "FORM") != 0) {
            chunks.emplace_back(lwo3.begin() + static_cast<std::ptrdiff_t>(at),
                                lwo3.begin() + static_cast<std::ptrdiff_t>(next));
        } else if (lwo3.compare(at + 8, 8, "SURF    ") == 0) {
            chunks.push_back(surfChunk(lwo3.c_str() + at + 20));
        }
        at = next;
    }
    return form("LWO2", chunks);
}

TEST(RealLwo3, BoxLoadsItsPointsQuadsUvMapAndSixSurfaces)
{
    const fs::path box = realBox();
    if (box.empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    LwoObject object;
    CaptureReporter report;
    ASSERT_TRUE(loadLwoObject(box.string(), object, report));
    // In file order: the VMAP (offset 260), the POLS chunk of quads (362), the PTAG (470).
    EXPECT_EQ(events(report), (std::vector<std::string>{"debug: Mesh: 1\tUVs:8/8\n",
                                                        "box: ERROR!!! / Check Geometry! Only 3 verts per poly!",
                                                        "debug: PTags: 24 - 6\n"}));
    ASSERT_EQ(object.meshes.size(), 1u);
    const LwoMesh& mesh = object.meshes[0];
    ASSERT_EQ(mesh.points.size(), kBoxPoints.size());
    for (std::size_t p = 0; p < kBoxPoints.size(); ++p) EXPECT_EQ(mesh.points[p], kBoxPoints[p]) << p;
    const int quads[6][4] = {{0, 1, 2, 3}, {0, 4, 5, 1}, {1, 5, 6, 2}, {3, 2, 6, 7}, {0, 3, 7, 4}, {4, 7, 6, 5}};
    std::vector<std::array<std::int32_t, 3>> fans;
    for (const auto& q : quads) {
        fans.push_back({q[0], q[1], q[2]});
        fans.push_back({q[0], q[2], q[3]});
    }
    EXPECT_EQ(mesh.polygonCount, 6);
    EXPECT_EQ(mesh.triangles, fans);
    ASSERT_EQ(object.uvMaps.size(), 1u);
    EXPECT_EQ(object.uvMaps[0].name, "Texture");
    const float uv[8][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}};
    ASSERT_EQ(object.uvMaps[0].entries.size(), 8u);
    for (std::size_t k = 0; k < 8; ++k) {
        const LwoUvEntry& e = object.uvMaps[0].entries[k];
        EXPECT_EQ(e.pointIndex, static_cast<std::int32_t>(k));
        EXPECT_EQ(e.u, uv[k][0]);
        EXPECT_EQ(e.v, uv[k][1]);
    }
    EXPECT_EQ(surfaceNames(object), (std::vector<std::string>{"Back", "Bottom", "Front", "Left", "Right", "Top"}));
    EXPECT_TRUE(object.weightMaps.empty());
    EXPECT_TRUE(object.uvFixMaps.empty());
}

TEST(RealLwo3, MeshconvWritesTheBoxAsItWritesItsLwo2Twin)
{
    const fs::path box = realBox();
    if (box.empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    const testing::TempDir dir;
    fs::copy_file(box, dir / "box.lwo");
    dir.write("twin.lwo", lwo2Twin(testing::readFile(box)));
    const BoneSpec root{"root", "root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
    for (const char* name : {"box", "twin"}) {
        dir.write(std::string(name) + ".lws",
                  SceneTextBuilder().header(0, 1, 30, std::string(name) + ".lwo").bone(root).text());
    }
    const auto lwo3Run = testing::runProgram(testing::meshconvPath(), {"box.lws", "box.lwo"}, dir.path(), "meshconv");
    const auto lwo2Run = testing::runProgram(testing::meshconvPath(), {"twin.lwo", "twin.lws"}, dir.path(), "meshconv");
    EXPECT_EQ(lwo3Run.exitStatus, 0) << lwo3Run.err;
    EXPECT_EQ(lwo2Run.exitStatus, 0) << lwo2Run.err;
#ifdef _WIN32
    // The message box and the debug lines go to the desktop and the debugger.
    const std::string expectedErr;
#else
    const std::string expectedErr =
        "Mesh: 1\tUVs:8/8\nmeshconv: ERROR!!!: Check Geometry! Only 3 verts per poly!\nPTags: 24 - 6\n";
#endif
    EXPECT_EQ(lwo3Run.err, expectedErr);
    EXPECT_EQ(lwo2Run.err, expectedErr);
    const std::string written = testing::readFile(dir / "box.md5mesh");
    EXPECT_EQ(written, testing::readFile(dir / "twin.md5mesh"));

    // Independently of the twin: the box itself, rebuilt from the written
    // joints and weights, shaded with its first surface.
    testing::Md5MeshFile md5;
    std::string error;
    ASSERT_TRUE(testing::readMd5Mesh(written, md5, error)) << error;
    const testing::Md5FileMesh& mesh = md5.meshes.at(0);
    EXPECT_EQ(mesh.shader, "Back");
    EXPECT_EQ(mesh.triangles.size(), 12u);
    const std::vector<testing::Md5Vec> rebuilt = testing::skinVertices(mesh, testing::bindPose(md5));
    ASSERT_EQ(rebuilt.size(), kBoxPoints.size());
    for (std::size_t p = 0; p < kBoxPoints.size(); ++p) {
        // Object points (x, y, z) are md5 positions (x, z, y).
        const auto& q = kBoxPoints[p];
        EXPECT_NEAR(rebuilt[p].x, q[0], 1e-5) << p;
        EXPECT_NEAR(rebuilt[p].y, q[2], 1e-5) << p;
        EXPECT_NEAR(rebuilt[p].z, q[1], 1e-5) << p;
    }
}

} // namespace
} // namespace lwmd5
