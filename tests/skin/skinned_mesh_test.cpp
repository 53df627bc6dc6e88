#include "lwo_builder.h"
#include "object/lwo_reader.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"
#include "support/capture_reporter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace lwmd5 {
namespace {

using testing::CaptureReporter;
using ::testing::HasSubstr;

// The warning names `count` as a number of its own.
::testing::Matcher<const std::string&> namesCount(int count)
{
    const std::regex number("(^|[^0-9])" + std::to_string(count) + "([^0-9]|$)");
    return ::testing::Truly([number](const std::string& text) { return std::regex_search(text, number); });
}

using Point = std::array<float, 3>;
using Corners = std::array<std::int32_t, 3>;

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// One polygon per triangle, as the reader stores a mesh of triangles.
LwoMesh meshOf(std::vector<Point> points, std::vector<Corners> triangles)
{
    LwoMesh mesh;
    mesh.points = std::move(points);
    mesh.triangles = std::move(triangles);
    mesh.polygonCount = mesh.triangleCount();
    for (std::int32_t t = 0; t <= mesh.triangleCount(); ++t) mesh.polygonFirstTriangle.push_back(t);
    return mesh;
}

// Joints in model space as they stand: inverse bind transforms are plain
// translations, so every offset is exact.
Joint jointOf(const std::string& weightMap, Vec3 inverseShift = {})
{
    Joint joint;
    joint.name = "joint " + weightMap;
    joint.weightMapName = weightMap;
    identityTransform(joint.bindTransform);
    translationTransform(inverseShift, joint.inverseBindTransform);
    return joint;
}

LwoWeightMap weightMap(const std::string& name, std::vector<LwoWeightEntry> entries) { return {name, entries}; }

void runMeshStages(Scene& scene, CaptureReporter& report)
{
    buildMesh(scene, report);
    assignWeights(scene, report);
    applyUvFixes(scene, report);
}

using Weights = std::vector<std::pair<int, float>>;

// Vertex v's weights (joint, bias) in the list's order; biases bit for bit.
void expectWeights(const Md5Mesh& mesh, std::size_t v, const Weights& expected)
{
    const Md5Vertex& vertex = mesh.vertices.at(v);
    ASSERT_EQ(static_cast<std::size_t>(vertex.weightCount), expected.size()) << "vertex " << v;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const Md5Weight& w = mesh.weights.at(static_cast<std::size_t>(vertex.firstWeight) + k);
        EXPECT_EQ(w.joint, expected[k].first) << "vertex " << v << " weight " << k;
        if (std::isnan(expected[k].second)) {
            EXPECT_TRUE(std::isnan(w.bias)) << "vertex " << v << " weight " << k;
        } else {
            EXPECT_EQ(bits(w.bias), bits(expected[k].second)) << "vertex " << v << " weight " << k << ": " << w.bias;
        }
    }
}

std::vector<Corners> cornersOf(const Md5Mesh& mesh)
{
    std::vector<Corners> corners;
    for (const Md5Triangle& t : mesh.triangles) corners.push_back({t.corners[0], t.corners[1], t.corners[2]});
    return corners;
}

TEST(BuildMesh, PositionsSwapYAndZAndScaleTexturesFlipV)
{
    Scene scene;
    scene.scaleFactor = 2.0f;
    scene.object.meshes = {meshOf({{1, 2, 3}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}, {3, 2, 1}}),
                           meshOf({{7, 7, 7}}, {})};
    scene.object.surfaces = {{"skin"}, {"cloth"}};
    scene.object.uvMaps = {{"uv", {{0, 0.3f, 0.25f}, {2, 0, 0}, {3, 0.1f, 0.1f}, {3, 0.5f, 0.125f}}},
                           {"other", {{1, 0.9f, 0.9f}}}};
    scene.joints = {jointOf("w")};
    CaptureReporter report;
    runMeshStages(scene, report);

    const Md5Mesh& mesh = scene.outputMeshes.at(0);
    EXPECT_EQ(mesh.shader, "skin");
    ASSERT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.vertices[0].position.x, 2.0f);
    EXPECT_EQ(mesh.vertices[0].position.y, 6.0f);
    EXPECT_EQ(mesh.vertices[0].position.z, 4.0f);
    struct Uv {
        float u, v;
    };
    // Point 1 has no entry; point 2's entry is (0, 0); point 3's second entry wins.
    const Uv expected[] = {{0.3f, 0.75f}, {0, 0}, {0, 1}, {0.5f, 0.875f}};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(bits(mesh.vertices[k].u), bits(expected[k].u)) << k;
        EXPECT_EQ(bits(mesh.vertices[k].v), bits(expected[k].v)) << k;
    }
    ASSERT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(mesh.triangles[1].corners[0], 3);
    EXPECT_EQ(mesh.triangles[1].corners[1], 2);
    EXPECT_EQ(mesh.triangles[1].corners[2], 1);
    EXPECT_TRUE(report.events.empty());
}

TEST(AssignWeights, GatherByJointThenMapThenNormaliseInDouble)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<std::string> jointMaps;
        std::vector<LwoWeightMap> maps;
        Weights expected;
    };
    const std::vector<Case> cases = {
        {"no map covers the point: joint 0", {"a", "b"}, {}, {{0, 1.0f}}},
        {"only zero weights: joint 0", {"a", "b"}, {weightMap("b", {{0, 0.0f}, {0, -0.0f}})}, {{0, 1.0f}}},
        {"joint order, not map order",
         {"a", "b"},
         {weightMap("b", {{0, 0.25f}}), weightMap("a", {{0, 0.5f}})},
         {{0, 0.6666667f}, {1, 0.33333334f}}},
        {"a zero sum keeps the biases", {"a", "b"}, {weightMap("a", {{0, 0.5f}}), weightMap("b", {{0, -0.5f}})},
         {{0, 0.5f}, {1, -0.5f}}},
        {"two joints share a map", {"a", "a"}, {weightMap("a", {{0, 0.3f}})}, {{0, 0.5f}, {1, 0.5f}}},
        {"a map no joint names is ignored", {"a", "b"}, {weightMap("z", {{0, 0.7f}}), weightMap("b", {{0, 0.4f}})},
         {{1, 1.0f}}},
        {"two maps of one name: map order within the joint",
         {"x", "y"},
         {weightMap("y", {{0, 0.25f}}), weightMap("x", {{0, 0.125f}}), weightMap("x", {{0, 0.125f}})},
         {{0, 0.25f}, {0, 0.25f}, {1, 0.5f}}},
        // Summed and scaled in float the last bits would be ...84 and ...bd.
        {"sum and reciprocal kept in double",
         {"a", "b"},
         {weightMap("a", {{0, 0.22f}}), weightMap("b", {{0, 0.63f}})},
         {{0, std::bit_cast<float>(0x3e848485u)}, {1, std::bit_cast<float>(0x3f3dbdbeu)}}},
        {"not a number is a weight", {"a", "b"}, {weightMap("b", {{0, nan}})}, {{1, nan}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        scene.object.meshes = {meshOf({{0, 0, 0}}, {})};
        scene.object.weightMaps = c.maps;
        for (const std::string& map : c.jointMaps) scene.joints.push_back(jointOf(map));
        CaptureReporter report;
        runMeshStages(scene, report);
        expectWeights(scene.outputMeshes[0], 0, c.expected);
        EXPECT_TRUE(report.events.empty());
    }
}

TEST(AssignWeights, WeightListIsGroupedByVertexWithOffsetsInEachJointsSpace)
{
    Scene scene;
    scene.object.meshes = {meshOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2}})};
    scene.object.weightMaps = {weightMap("a", {{2, 1.0f}, {0, 1.0f}}), weightMap("b", {{0, 1.0f}, {2, 3.0f}})};
    scene.joints = {jointOf("a", {-1, 0, 0}), jointOf("b", {0, -2, 0})};
    CaptureReporter report;
    runMeshStages(scene, report);

    // Vertex positions (1, 0, 0), (0, 0, 1), (0, 1, 0); vertex 1 falls back to joint 0.
    const Md5Mesh& mesh = scene.outputMeshes[0];
    expectWeights(mesh, 0, {{0, 0.5f}, {1, 0.5f}});
    expectWeights(mesh, 1, {{0, 1.0f}});
    expectWeights(mesh, 2, {{0, 0.25f}, {1, 0.75f}});
    EXPECT_EQ(mesh.vertices[2].firstWeight, 3);
    const Vec3 offsets[] = {{0, 0, 0}, {1, -2, 0}, {-1, 0, 1}, {-1, 1, 0}, {0, -1, 0}};
    ASSERT_EQ(mesh.weights.size(), std::size(offsets));
    for (std::size_t n = 0; n < mesh.weights.size(); ++n) {
        EXPECT_EQ(mesh.weights[n].offset.x, offsets[n].x) << n;
        EXPECT_EQ(mesh.weights[n].offset.y, offsets[n].y) << n;
        EXPECT_EQ(mesh.weights[n].offset.z, offsets[n].z) << n;
    }
}

TEST(AssignWeights, OffsetAgainstTheUprightRootsBindTransform)
{
    Scene scene;
    scene.bones.resize(1);
    scene.bones[0].restPosition = {0, 1, 0};
    scene.bones[0].restDirection = {0, -90, 0};
    scene.bones[0].weightMapName = "root";
    scene.object.meshes = {meshOf({{0, 1, 0}}, {})};
    scene.object.weightMaps = {weightMap("root", {{0, 1.0f}})};
    buildJoints(scene);
    orderJoints(scene);
    computeBindTransforms(scene);
    CaptureReporter report;
    runMeshStages(scene, report);

    // The point where the root stands in the scene becomes the vertex (0, 0, 1).
    const Md5Mesh& mesh = scene.outputMeshes[0];
    EXPECT_EQ(mesh.vertices[0].position.z, 1.0f);
    ASSERT_EQ(mesh.weights.size(), 1u);
    EXPECT_EQ(mesh.weights[0].offset.x, 0.0f);
    EXPECT_EQ(mesh.weights[0].offset.y, 0.99999994f);
    EXPECT_EQ(mesh.weights[0].offset.z, -1.0000001f);
}

TEST(AssignWeights, NinthWeightKeepsTheEightLargestInSlotOrder)
{
    // Vertex 0: the smallest bias 2^-5 is held by slots 1, 3 and 5; the
    // latest of them goes. The eight kept add up to 1, so they stay exact.
    const float b[] = {0.0625f, 0.03125f, 0.5f, 0.03125f, 0.125f, 0.03125f, 0.0625f, 0.0625f, 0.125f};
    Scene scene;
    scene.object.meshes = {meshOf({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {})};
    for (int j = 0; j < 9; ++j) {
        const std::string name = "m" + std::to_string(j);
        scene.joints.push_back(jointOf(name));
        // Vertex 1: nine equal biases; vertex 2: eight, which is allowed.
        std::vector<LwoWeightEntry> entries = {{0, b[j]}, {1, 0.25f}};
        if (j < 8) entries.push_back({2, 0.25f});
        scene.object.weightMaps.push_back(weightMap(name, entries));
    }
    CaptureReporter report;
    runMeshStages(scene, report);

    const Md5Mesh& mesh = scene.outputMeshes[0];
    expectWeights(mesh, 0, {{0, b[0]}, {1, b[1]}, {2, b[2]}, {3, b[3]}, {4, b[4]}, {6, b[6]}, {7, b[7]}, {8, b[8]}});
    const Weights firstEight = {{0, 0.125f}, {1, 0.125f}, {2, 0.125f}, {3, 0.125f},
                                {4, 0.125f}, {5, 0.125f}, {6, 0.125f}, {7, 0.125f}};
    expectWeights(mesh, 1, firstEight);
    expectWeights(mesh, 2, firstEight);
    EXPECT_EQ(mesh.weights.size(), 24u);
    ASSERT_EQ(report.texts(CaptureReporter::Event::Warning).size(), 1u);
    EXPECT_THAT(report.texts(CaptureReporter::Event::Warning)[0], namesCount(2));
}

TEST(SkinnedMesh, EntriesOutsideTheMeshAreSkippedWithOneWarningPerMap)
{
    Scene scene;
    scene.object.meshes = {meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}})};
    scene.object.uvMaps = {{"uv", {{3, 0.5f, 0.5f}, {1, 0.25f, 0.25f}, {70000, 0, 0}}}};
    // Map "w" serves two joints and still warns once.
    scene.object.weightMaps = {weightMap("w", {{0, 1.0f}, {3, 1.0f}, {9, 1.0f}}), weightMap("v", {{5, 1.0f}})};
    scene.object.uvFixMaps = {{"uv", {{1, 0, 0.75f, 0.75f}, {3, 0, 0, 0}, {1, 1, 0, 0}, {0, 7, 0, 0}}}};
    scene.joints = {jointOf("w"), jointOf("w"), jointOf("v")};
    CaptureReporter report;
    runMeshStages(scene, report);

    const std::vector<std::string> warnings = report.texts(CaptureReporter::Event::Warning);
    ASSERT_EQ(warnings.size(), 4u);
    const char* maps[] = {"'uv'", "'w'", "'v'", "'uv'"};
    const int counts[] = {2, 2, 1, 3};
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        EXPECT_THAT(warnings[i], HasSubstr(maps[i])) << i;
        EXPECT_THAT(warnings[i], namesCount(counts[i])) << i;
    }
    const Md5Mesh& mesh = scene.outputMeshes[0];
    EXPECT_EQ(mesh.vertices[1].u, 0.25f);
    expectWeights(mesh, 0, {{0, 0.5f}, {1, 0.5f}});
    EXPECT_EQ(mesh.weights.size(), 4u);
    // The one good fix entry split corner 1.
    ASSERT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.triangles[0].corners[1], 3);
    EXPECT_EQ(mesh.vertices[3].u, 0.75f);
    EXPECT_EQ(mesh.vertices[3].v, 0.25f);
}

TEST(ApplyUvFixes, SplitsTheCornersThatTheFixEntriesName)
{
    struct Case {
        const char* name;
        std::vector<LwoUvFixMap> maps;
        std::vector<Corners> triangles;
        std::size_t vertexCount;
    };
    const std::vector<Case> cases = {
        {"three corners in entry order", {{"uv", {{0, 0, 0.1f, 0.1f}, {1, 0, 0.2f, 0.2f}, {2, 0, 0.3f, 0.3f}}}},
         {{4, 5, 6}, {2, 1, 3}}, 7},
        {"entries out of corner order", {{"uv", {{2, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}}}}, {{5, 6, 4}, {2, 1, 3}}, 7},
        {"point not a corner of the triangle", {{"uv", {{3, 0, 0, 0}}}}, {{0, 1, 2}, {2, 1, 3}}, 4},
        {"second entry for the same corner", {{"uv", {{1, 0, 0, 0}, {1, 0, 0, 0}}}}, {{0, 4, 2}, {2, 1, 3}}, 5},
        {"map name differs in case", {{"UV", {{1, 0, 0, 0}}}}, {{0, 1, 2}, {2, 1, 3}}, 4},
        {"map of another UV map", {{"uv2", {{1, 0, 0, 0}}}}, {{0, 1, 2}, {2, 1, 3}}, 4},
        {"one shared point, a vertex per triangle", {{"uv", {{1, 1, 0, 0}, {1, 0, 0, 0}}}}, {{0, 5, 2}, {2, 4, 3}}, 6},
        {"every map of the name, in order", {{"uv", {{2, 1, 0, 0}}}, {"uv2", {{0, 0, 0, 0}}}, {"uv", {{0, 0, 0, 0}}}},
         {{5, 1, 2}, {4, 1, 3}}, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        scene.object.meshes = {meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {2, 1, 3}})};
        scene.object.uvMaps = {{"uv", {{0, 0.5f, 0.5f}}}, {"uv2", {}}};
        scene.object.uvFixMaps = c.maps;
        scene.object.weightMaps = {weightMap("a", {{0, 1.0f}, {1, 1.0f}, {2, 1.0f}, {3, 1.0f}})};
        scene.joints = {jointOf("a")};
        CaptureReporter report;
        runMeshStages(scene, report);
        const Md5Mesh& mesh = scene.outputMeshes[0];
        EXPECT_EQ(mesh.vertices.size(), c.vertexCount);
        EXPECT_EQ(cornersOf(mesh), c.triangles);
        EXPECT_EQ(mesh.weights.size(), 4u);
        EXPECT_TRUE(report.events.empty());
    }
}

// A quad, a two-corner polygon (dropped) and a triangle, read from LWO2
// bytes: a fix entry names a polygon of the file, not a triangle.
TEST(ApplyUvFixes, EntryOnAPolygonSplitIntoAFanAppliesToEachOfItsTriangles)
{
    using namespace authoring;
    const Bytes bytes = form(
        "LWO2", {pntsChunk({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}}),
                 polsChunk({{0, 1, 2, 3}, {0, 1}, {1, 4, 2}}),
                 uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}, {4, 1, 0}}),
                 uvFixMapChunk("uv", {{0, 0, 0.5f, 0.5f}, {2, 0, 0.25f, 0.25f}, {0, 1, 0.75f, 0.75f}, {4, 2, 1, 1}}),
                 weightMapChunk("w", {{2, 0.5f}, {4, 1}})});
    Scene scene;
    CaptureReporter report;
    ASSERT_TRUE(parseLwoObject(bytes, scene.object, report, "fan.lwo"));
    scene.joints = {jointOf("none"), jointOf("w")};
    const std::size_t eventsAfterReading = report.events.size();
    runMeshStages(scene, report);

    // Fan (0 1 2) (0 2 3), then the triangle (1 4 2).
    const Md5Mesh& mesh = scene.outputMeshes[0];
    EXPECT_EQ(cornersOf(mesh), (std::vector<Corners>{{5, 1, 7}, {6, 8, 3}, {1, 9, 2}}));
    // A split vertex is its source with the entry's coordinates; the source
    // keeps its own, and the weight list is not touched.
    ASSERT_EQ(mesh.vertices.size(), 10u);
    const struct {
        std::size_t source;
        float u, v;
    } splits[] = {{0, 0.5f, 0.5f}, {0, 0.5f, 0.5f}, {2, 0.25f, 0.75f}, {2, 0.25f, 0.75f}, {4, 1, 0}};
    for (std::size_t n = 5; n < 10; ++n) {
        SCOPED_TRACE(n);
        const Md5Vertex& split = mesh.vertices[n];
        const Md5Vertex& source = mesh.vertices[splits[n - 5].source];
        EXPECT_EQ(bits(split.u), bits(splits[n - 5].u));
        EXPECT_EQ(bits(split.v), bits(splits[n - 5].v));
        EXPECT_EQ(split.firstWeight, source.firstWeight);
        EXPECT_EQ(split.weightCount, source.weightCount);
        EXPECT_EQ(split.position.x, source.position.x);
        EXPECT_EQ(split.position.z, source.position.z);
    }
    EXPECT_EQ(mesh.vertices[2].u, 1.0f);
    EXPECT_EQ(mesh.vertices[2].v, 0.0f);
    EXPECT_EQ(mesh.weights.size(), 5u);
    EXPECT_EQ(report.events.size(), eventsAfterReading);
}

} // namespace
} // namespace lwmd5
