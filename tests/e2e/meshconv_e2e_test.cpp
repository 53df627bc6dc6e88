#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

const char kBanner[] = "lw to md5mesh converter by Tarvel, v0.1\n\n";

// Debug lines reach stderr except on Windows, where the debugger takes them.
#ifdef _WIN32
constexpr bool kDebugLinesOnStderr = false;
#else
constexpr bool kDebugLinesOnStderr = true;
#endif

std::string debugOutput(const std::string& lines)
{
    return kDebugLinesOnStderr ? lines : std::string();
}

// ---- the object as its bytes say, read without the converter's reader

class BigEndian {
public:
    BigEndian(const std::string& bytes, std::size_t at) : bytes_(bytes), at_(at) {}
    std::uint32_t u8() { return static_cast<unsigned char>(bytes_.at(at_++)); }
    std::uint32_t u16() { const std::uint32_t high = u8(); return (high << 8) | u8(); }
    std::uint32_t u32() { const std::uint32_t high = u16(); return (high << 16) | u16(); }
    float f32() { const std::uint32_t bits = u32(); float f; std::memcpy(&f, &bits, 4); return f; }
    // LWO2's variable-length index: 0xFF first means four bytes.
    std::uint32_t index() { return static_cast<unsigned char>(bytes_.at(at_)) == 0xFF ? u32() & 0xFFFFFFu : u16(); }
    std::string text(std::size_t n) { at_ += n; return bytes_.substr(at_ - n, n); }
    std::string name()
    {
        const std::size_t end = bytes_.find('\0', at_);
        std::string s = bytes_.substr(at_, end - at_);
        at_ = end + 1 + ((end + 1 - at_) % 2);
        return s;
    }
    std::size_t at() const { return at_; }

private:
    const std::string& bytes_;
    std::size_t at_;
};

// The first layer's points and FACE polygons, the first TXUV map and the
// per-polygon entries of that name (the first entry for a corner wins).
struct SourceObject {
    std::vector<std::array<float, 3>> points;
    std::vector<std::vector<std::uint32_t>> polygons;
    std::string uvName;
    std::map<std::uint32_t, std::array<float, 2>> uv;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::array<float, 2>> fixes; // (polygon, point)
};

SourceObject readSourceObject(const std::string& bytes)
{
    SourceObject object;
    int layers = 0;
    bool faces = false;
    const std::size_t end = 8 + BigEndian(bytes, 4).u32();
    std::vector<std::tuple<std::string, std::size_t, std::size_t>> vmads;
    for (std::size_t at = 12; at + 8 <= end;) {
        BigEndian chunk(bytes, at);
        const std::string id = chunk.text(4);
        const std::size_t length = chunk.u32();
        const std::size_t stop = chunk.at() + length;
        if (id == "PNTS" && ++layers == 1) {
            while (chunk.at() + 12 <= stop) object.points.push_back({chunk.f32(), chunk.f32(), chunk.f32()});
        } else if (id == "POLS" && layers == 1 && !faces && chunk.text(4) == "FACE") {
            faces = true;
            while (chunk.at() < stop) {
                object.polygons.emplace_back(chunk.u16() & 0x3FFu);
                for (std::uint32_t& corner : object.polygons.back()) corner = chunk.index();
            }
        } else if (id == "VMAP" && object.uvName.empty() && chunk.text(4) == "TXUV") {
            chunk.u16();
            object.uvName = chunk.name();
            while (chunk.at() < stop) {
                const std::uint32_t point = chunk.index();
                object.uv.emplace(point, std::array<float, 2>{chunk.f32(), chunk.f32()});
            }
        } else if (id == "VMAD") {
            std::string type = chunk.text(4);
            vmads.emplace_back(std::move(type), chunk.at(), stop);
        }
        at = stop + (length & 1);
    }
    for (const auto& [type, start, stop] : vmads) {
        BigEndian chunk(bytes, start);
        chunk.u16();
        if (type != "TXUV" || chunk.name() != object.uvName) continue;
        while (chunk.at() < stop) {
            const std::uint32_t point = chunk.index();
            const std::uint32_t polygon = chunk.index();
            object.fixes.emplace(std::make_pair(polygon, point), std::array<float, 2>{chunk.f32(), chunk.f32()});
        }
    }
    return object;
}

// ---- the independent check of a written md5mesh

struct Corner {
    std::uint32_t polygon;
    std::uint32_t point;
};

// Polygons become fans (v0, vk, vk+1); fan triangles with a corner outside
// the points are left out.
std::vector<std::array<Corner, 3>> fanTriangles(const SourceObject& object)
{
    std::vector<std::array<Corner, 3>> triangles;
    for (std::uint32_t p = 0; p < object.polygons.size(); ++p) {
        const auto& c = object.polygons[p];
        for (std::size_t k = 1; k + 1 < c.size(); ++k) {
            if (std::max({c[0], c[k], c[k + 1]}) >= object.points.size()) continue;
            triangles.push_back({Corner{p, c[0]}, Corner{p, c[k]}, Corner{p, c[k + 1]}});
        }
    }
    return triangles;
}

double distance(const Md5Vec& a, const Md5Vec& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Rebuilds every vertex from the written joints and weights the way engines
// do and compares it, corner by corner, with the object point it came from,
// mapped to (s·x, s·z, s·y); also compares each corner's texture
// coordinates with the object's (v flipped). Returns the largest position
// difference as a fraction of the object's size.
double checkAgainstObject(const Md5MeshFile& md5, const SourceObject& object, double s)
{
    const Md5FileMesh& mesh = md5.meshes.at(0);
    const std::vector<Md5Vec> rebuilt = skinVertices(mesh, bindPose(md5));
    const std::vector<std::array<Corner, 3>> triangles = fanTriangles(object);
    EXPECT_EQ(mesh.triangles.size(), triangles.size());
    EXPECT_GE(rebuilt.size(), object.points.size());
    Md5Vec lo{1e30, 1e30, 1e30};
    Md5Vec hi{-1e30, -1e30, -1e30};
    std::vector<Md5Vec> expected;
    for (const auto& p : object.points) {
        expected.push_back({s * p[0], s * p[2], s * p[1]});
        lo = {std::min(lo.x, expected.back().x), std::min(lo.y, expected.back().y), std::min(lo.z, expected.back().z)};
        hi = {std::max(hi.x, expected.back().x), std::max(hi.y, expected.back().y), std::max(hi.z, expected.back().z)};
    }
    double worst = 0.0;
    for (std::size_t i = 0; i < std::min(rebuilt.size(), expected.size()); ++i) {
        worst = std::max(worst, distance(rebuilt[i], expected[i]));
    }
    int uvMismatches = 0;
    for (std::size_t t = 0; t < std::min(triangles.size(), mesh.triangles.size()); ++t) {
        for (std::size_t c = 0; c < 3; ++c) {
            const Corner corner = triangles[t][c];
            const auto vertex = static_cast<std::size_t>(mesh.triangles[t][c]);
            worst = std::max(worst, distance(rebuilt[vertex], expected[corner.point]));
            std::array<double, 2> uv{0.0, 0.0};
            const auto fix = object.fixes.find({corner.polygon, corner.point});
            const auto entry = object.uv.find(corner.point);
            if (fix != object.fixes.end()) {
                uv = {fix->second[0], 1.0 - fix->second[1]};
            } else if (entry != object.uv.end()) {
                uv = {entry->second[0], 1.0 - entry->second[1]};
            }
            const Md5FileVertex& written = mesh.vertices[vertex];
            if (std::abs(written.u - uv[0]) > 1e-6 || std::abs(written.v - uv[1]) > 1e-6) ++uvMismatches;
        }
    }
    EXPECT_EQ(uvMismatches, 0);
    const double size = distance(lo, hi);
    return size > 0.0 ? worst / size : worst;
}

fs::path examplePath(const std::string& name)
{
    return sourceDir() / "examples" / name;
}

// Debug lines of the example's object, from its design: 600 points, maps
// covering the points of the tubes each bone weights (pelvis: torso and
// legs; spine: torso, head and arms; head: torso and head; each limb bone
// its 110-point tube), 1176 triangles, 141 seam corners.
std::string exampleDebugLines()
{
    std::string lines = "Mesh: 1\tUVs:600/600\nMesh: 1\tWs:318/318\nMesh: 1\tWs:380/380\nMesh: 1\tWs:160/160\n";
    for (int limb = 0; limb < 8; ++limb) lines += "Mesh: 1\tWs:110/110\n";
    return lines + "PTags: 4704 - 1176\nMesh: 1\tUVFIXs:141/141\n";
}

TEST(MeshconvExample, WritesTheCommittedFileWhichRebuildsTheObject)
{
    TempDir dir;
    for (const char* name : {"character.lws", "character.lwo"}) fs::copy_file(examplePath(name), dir / name);
    const ProgramResult run = runProgram(meshconvPath(), {"character.lws", "character.lwo"}, dir.path(), "meshconv");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, platformText(kBanner));
    EXPECT_EQ(run.err, platformText(debugOutput(exampleDebugLines())));
    const std::string written = readFile(dir / "character.md5mesh");
    const std::string committed = platformText(readFile(examplePath("character.md5mesh")));
    EXPECT_TRUE(written == committed) << firstDifference(written, committed);

    Md5MeshFile md5;
    std::string error;
    ASSERT_TRUE(readMd5Mesh(written, md5, error)) << error;
    // forearm_L is listed before its parent in the scene and moves after it.
    const std::vector<std::string> names = {"origin", "ground",     "pelvis",    "spine",   "head",
                                            "upperarm_L", "forearm_L", "upperarm_R", "forearm_R", "thigh_L",
                                            "shin_L", "thigh_R",    "shin_R"};
    ASSERT_EQ(md5.joints.size(), names.size());
    for (std::size_t j = 0; j < names.size(); ++j) EXPECT_EQ(md5.joints[j].name, names[j]);
    const SourceObject object = readSourceObject(readFile(dir / "character.lwo"));
    ASSERT_EQ(object.points.size(), 600u);
    EXPECT_EQ(md5.meshes[0].vertices.size(), 600u + object.fixes.size()); // one split per seam corner
    EXPECT_LT(checkAgainstObject(md5, object, 1.0), 1e-4);

    // The same with the arguments swapped and a scale factor.
    const ProgramResult scaled =
        runProgram(meshconvPath(), {"character.lwo", "character.lws", "2.5"}, dir.path(), "meshconv");
    EXPECT_EQ(scaled.exitStatus, 0);
    ASSERT_TRUE(readMd5Mesh(readFile(dir / "character.md5mesh"), md5, error)) << error;
    EXPECT_LT(checkAgainstObject(md5, object, 2.5), 1e-4);
}

// One root bone over one triangle. Worked by hand: the root's bind rotation
// is the turn of 90 degrees about x (cos 90° as a float is -4.371139e-8),
// so its quaternion prints -0.707107 0 0, and each offset is the vertex
// position (x, z, y) turned back: (1, 3, 2) gives (1, 2, -3), (0, 0, 1)
// gives (0, 1, -4.4e-8), printed with its minus sign. The weights 1, 0.5
// and 2 normalise to 1; v is flipped.
std::string oneBoneScene()
{
    BoneSpec root{"root", "root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
    root.channels[0].keys = {KeySpec{0.0f, 0.0f, 3}, KeySpec{1.0f, 1.0f, 3}};
    return SceneTextBuilder().header(0, 2, 2, "tri.lwo").bone(root).text();
}

Bytes oneBoneObject()
{
    return form("LWO2", {pntsChunk({{1, 2, 3}, {0, 0, 0}, {0, 1, 0}}),
                         uvMapChunk("uv", {{0, 0.25f, 0.25f}, {1, 1, 0}, {2, 0, 1}}),
                         weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 2}}), polsChunk({{0, 1, 2}}), surfChunk("skin")});
}

const char kOneBoneMesh[] = "MD5Version 10\ncommandline \"\"\n\nnumJoints 1\nnumMeshes 1\n\njoints {\n"
                            "\t\"root\"\t-1 ( 0.000000 0.000000 0.000000 ) ( -0.707107 0.000000 0.000000 )\t// \n"
                            "}\n\nmesh {\n\t// meshes:  \n\tshader \"skin\"\n\n\tnumverts 3\n"
                            "\tvert 0 ( 0.250000 0.750000 ) 0 1\n\tvert 1 ( 1.000000 1.000000 ) 1 1\n"
                            "\tvert 2 ( 0.000000 0.000000 ) 2 1\n\n\tnumtris 1\n\ttri 0 0 1 2\n\n\tnumweights 3\n"
                            "\tweight 0 0 1.000000 ( 1.000000 2.000000 -3.000000 )\n"
                            "\tweight 1 0 1.000000 ( 0.000000 0.000000 0.000000 )\n"
                            "\tweight 2 0 1.000000 ( 0.000000 1.000000 -0.000000 )\n}\n\n";

TEST(MeshconvExactBytes, OneBoneOverOneTriangle)
{
    TempDir dir;
    dir.write("tri.lws", oneBoneScene());
    dir.write("tri.lwo", oneBoneObject());
    const ProgramResult run = runProgram(meshconvPath(), {"tri.lws", "tri.lwo"}, dir.path(), "meshconv");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, platformText(kBanner));
    EXPECT_EQ(run.err, platformText(debugOutput("Mesh: 1\tUVs:3/3\nMesh: 1\tWs:3/3\n")));
    EXPECT_EQ(readFile(dir / "tri.md5mesh"), platformText(kOneBoneMesh));
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

TEST(MeshconvObjects, ReportWhatTheyHoldInFileOrderAndConvert)
{
    const std::vector<Point> square = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 0.5f}};
    const Bytes uv = uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}, {4, 0.5f, 0.5f}});
    const Bytes weights = weightMapChunk("root", {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 0.5f}});
    const char* box = "meshconv: ERROR!!!: Check Geometry! Only 3 verts per poly!";
    struct Case {
        const char* what;
        Bytes object;
        // stderr in order: debug lines and message boxes exactly; warnings
        // as "meshconv: warning: " followed by a word they must hold
        std::vector<std::string> err;
        int triangles;
    };
    const std::vector<Case> cases = {
        {"a quad and a pentagon become fans; skipped chunks and map types print nothing",
         form("LWO2", {tagsChunk({"skin"}), layrChunk(0, "body"), pntsChunk(square), chunk("BBOX", Bytes(24, 0)),
                       polsChunk({{0, 1, 2, 3}, {3, 2, 4}, {0, 1, 2, 4, 3}}), ptagChunk("PART", {{0, 0}}),
                       vertexMapChunk("VMAP", "PICK", 0, "set", {0, 1}, {}), uv,
                       vertexMapChunk("VMAP", "MORF", 3, "smile", {4}, {0, 0.1f, 0}), weights,
                       uvFixMapChunk("uv", {{3, 0, 0.9f, 0.9f}, {4, 2, 0.75f, 0.25f}}), surfChunk("skin")}),
         {box, "Mesh: 1\tUVs:5/5", "Mesh: 1\tWs:5/5", "Mesh: 1\tUVFIXs:2/2"},
         6},
        {"no surface and no UV map: warned, converted with an empty shader and (0, 0)",
         form("LWO2", {pntsChunk({square[0], square[1], square[2]}), polsChunk({{0, 1, 2}}), weights}),
         {"Mesh: 1\tWs:5/5", "meshconv: warning: no surface", "meshconv: warning: no UV map",
          "meshconv: warning: entries of weight map 'root'"},
         1},
    };
    const std::string warning = "meshconv: warning: ";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool boxes = std::find(c.err.begin(), c.err.end(), box) != c.err.end();
        if (boxes && !kDebugLinesOnStderr) continue; // on Windows a message box would wait for a click
        TempDir dir;
        dir.write("tri.lws", oneBoneScene());
        const fs::path object = dir.write("obj.lwo", c.object);
        const ProgramResult run = runProgram(meshconvPath(), {"tri.lws", "obj.lwo"}, dir.path(), "meshconv");
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, platformText(kBanner));
        std::vector<std::string> expected;
        for (const std::string& line : c.err) {
            if (line.rfind("meshconv: ", 0) == 0 || kDebugLinesOnStderr) expected.push_back(line);
        }
        const std::vector<std::string> got = splitLines(run.err);
        ASSERT_EQ(got.size(), expected.size()) << run.err;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (expected[i].rfind(warning, 0) != 0) {
                EXPECT_EQ(got[i], expected[i]);
            } else {
                EXPECT_EQ(got[i].rfind(warning, 0), 0u) << got[i];
                EXPECT_NE(got[i].find(expected[i].substr(warning.size())), std::string::npos) << got[i];
            }
        }
        Md5MeshFile md5;
        std::string error;
        ASSERT_TRUE(readMd5Mesh(readFile(dir / "tri.md5mesh"), md5, error)) << error;
        EXPECT_EQ(md5.meshes[0].triangles.size(), static_cast<std::size_t>(c.triangles));
        EXPECT_LT(checkAgainstObject(md5, readSourceObject(readFile(object)), 1.0), 1e-4);
    }
}

TEST(Md5Reader, RejectsWhatEnginesRefuse)
{
    Md5MeshFile md5;
    std::string error;
    ASSERT_TRUE(readMd5Mesh(kOneBoneMesh, md5, error)) << error;
    struct Damage {
        const char* from;
        const char* to;
        const char* reason;
    };
    const Damage damages[] = {
        {"MD5Version 10", "MD5Version 11", "not 10"},
        {"\t-1 ( 0.0", "\t0 ( 0.0", "does not come before"},
        {"numverts 3", "numverts 4", "expected 'vert'"},
        {"vert 1 ( 1.000000 1.000000 ) 1 1", "vert 1 ( 1.000000 1.000000 ) 1 0", "vertex 1 has weights"},
        {"vert 2 ( 0.000000 0.000000 ) 2 1", "vert 2 ( 0.000000 0.000000 ) 2 2", "vertex 2 has weights"},
        {"tri 0 0 1 2", "tri 0 0 1 3", "names vertex 3"},
        {"weight 2 0 ", "weight 2 1 ", "names joint 1"},
        {"weight 1 0 1.000000", "weight 1 0 nan", "not a finite number"},
        {"}\n\n", "}\n\n}", "after the end"},
    };
    for (const Damage& d : damages) {
        std::string text = kOneBoneMesh;
        const std::size_t at = text.rfind(d.from);
        ASSERT_NE(at, std::string::npos) << d.from;
        text.replace(at, std::string(d.from).size(), d.to);
        EXPECT_FALSE(readMd5Mesh(text, md5, error)) << d.to;
        EXPECT_NE(error.find(d.reason), std::string::npos) << d.to << ": " << error;
    }
}

} // namespace
} // namespace lwmd5
