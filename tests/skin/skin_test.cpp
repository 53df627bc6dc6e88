#include "app/validation.h"
#include "skin/skeleton.h"
#include "skin/skinned_mesh.h"
#include "support/capture_reporter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <sstream>
#include <tuple>
#include <utility>

namespace lwmd5 {
namespace {

using Floats = std::vector<float>;
using Strings = std::vector<std::string>;
using testing::CaptureReporter;

constexpr float kCos90 = -4.371139e-8f;
constexpr std::uint32_t kRoot = 0;

constexpr std::uint32_t parent(std::uint32_t bone) { return kParentIsBone | (bone << 16); }

// A bone as its scene lines give it: name, parent item, rest position and direction. Its weight map has its name.
struct BoneLine {
    const char* name;
    std::uint32_t parentItem;
    Vec3 position = {}, turn = {};
};

Scene sceneOf(const std::vector<BoneLine>& lines)
{
    Scene scene;
    for (const BoneLine& b : lines) {
        scene.bones.push_back(
            {.name = b.name, .parentItem = b.parentItem, .restPosition = b.position, .restDirection = b.turn,
             .weightMapName = b.name, .channels = {}});
    }
    return scene;
}

std::vector<Joint> skeletonOf(const std::vector<BoneLine>& lines, float scale = 1)
{
    const Scene scene = sceneOf(lines);
    return buildSkeleton(scene.bones, planJointOrder(scene.bones), scale);
}

TEST(Skeleton, BindPoseOfRootsTurnedBy90AboutXAndOfTheirChildren)
{
    const float twice = 2 * kCos90;
    const Floats x90 = {1, 0, 0, 0, kCos90, 1, 0, -1, kCos90};
    const Floats upright = {1, 0, 0, 0, -1, twice, 0, -twice, -1};
    const std::vector<BoneLine> pair = {{"root", kRoot}, {"child", parent(0), {0, 0, 1}}};
    const std::vector<BoneLine> up = {{"root", kRoot, {0, 1, 0}, {0, -90, 0}}, {"child", parent(0), {0, 0, 1}}};
    const std::vector<BoneLine> shifted = {{"root", kRoot, {1, 2, 3}}};
    const auto bind = &Joint::bindTransform;
    // Bones, scale factor, joint, transform, its rotation rows and translation.
    const std::tuple<std::vector<BoneLine>, float, std::size_t, Transform Joint::*, Floats, Floats> cases[] = {
        {pair, 1, 0, bind, x90, {0, 0, 0}},
        {pair, 1, 1, bind, x90, {0, 1, -kCos90}},
        {up, 1, 0, bind, upright, {0, 1, 0}},
        {up, 1, 1, bind, upright, {0, 0.99999994f, 1}},
        {shifted, 1, 0, bind, x90, {1, 2, -3}},
        {shifted, 1, 0, &Joint::inverseBindTransform, {1, 0, 0, 0, kCos90, -1, 0, 1, kCos90}, {-1, 3, 1.9999999f}},
        {shifted, 2, 0, bind, x90, {2, 4, -6}},
        {{{"self-parent", parent(0)}}, 1, 0, bind, x90, {0, 0, 0}},
    };
    for (const auto& [bones, scale, joint, field, rows, t] : cases) {
        const std::vector<Joint> built = skeletonOf(bones, scale);
        const Transform& m = built.at(joint).*field;
        EXPECT_EQ(Floats(&m.m[0][0], &m.m[0][0] + 9), rows) << bones[0].name << " " << joint;
        EXPECT_EQ((Floats{m.t.x, m.t.y, m.t.z}), t) << bones[0].name << " " << joint;
    }
    // The upright root stands at the scene's point (0, 1, 0), which becomes the vertex (0, 0, 1).
    LwoObject object;
    object.meshes.emplace_back().points = {{0, 1, 0}};
    object.weightMaps = {{"root", {{0, 1}}}};
    CaptureReporter report;
    const Md5Mesh mesh = buildSkinnedMesh(object, skeletonOf(up), MeshOptions{}, report);
    const Vec3 offset = mesh.weights.at(0).offset;
    EXPECT_EQ((Floats{offset.x, offset.y, offset.z}), (Floats{0, 0.99999994f, -1.0000001f}));
}

TEST(Skeleton, OrderPutsParentsFirstAndACycleStopsTheRunNamingItsBones)
{
    // Bones, then each joint's name and parent index after ordering, or the message that stops the run.
    const std::tuple<std::vector<BoneLine>, std::string> cases[] = {
        {{{"B", parent(1)}, {"A", kRoot}}, "A -1, B 0, "},
        {{{"C", parent(1)}, {"B", parent(2)}, {"A", kRoot}}, "A -1, B 0, C 1, "},
        {{{"A", parent(0)}, {"B", parent(0)}}, "A -1, B 0, "},
        // Only bits 16 to 27 of an item with the bone flag name a bone, and only one of the list.
        {{{"A", kRoot}, {"B", kParentIsObject | 1u << 16}, {"C", parent(40)}, {"D", parent(0) | kParentIsObject | 99}},
         "A -1, B -1, C -1, D 0, "},
        // The first of several bones of one name is everybody's parent: the parent names go round B C E D B twice
        // through the first B, as in a cycle, until the second B, a root, moves up.
        {{{"B", parent(1)}, {"C", parent(2)}, {"E", parent(4)}, {"B", kRoot}, {"D", parent(3)}},
         "B -1, D 0, E 1, C 2, B 3, "},
        // R is a root and D hangs from the cycle: neither is named.
        {{{"R", kRoot}, {"D", parent(2)}, {"A", parent(3)}, {"B", parent(4)}, {"C", parent(2)}},
         "walk.lws: the parents of the bones 'A', 'B', 'C' form a cycle, so no bone of them has a root"},
    };
    for (const auto& [bones, expected] : cases) {
        const Scene scene = sceneOf(bones);
        LwoObject object;
        object.meshes.emplace_back();
        CaptureReporter report;
        std::string layout;
        const std::string scenePath = "walk.lws", objectPath = "walk.lwo";
        if (const auto order = validateInputs({scene, object, scenePath, objectPath, false, false}, RunLimits{}, report)) {
            for (const Joint& j : buildSkeleton(scene.bones, *order, 1)) {
                layout += j.name + " " + std::to_string(j.parentIndex) + ", ";
            }
        }
        for (const std::string& error : report.texts(CaptureReporter::Event::Error)) layout += error;
        EXPECT_EQ(layout, expected);
    }
}

// For engines: an origin joint 0 parents every root (a sole root named origin at rest at the origin is kept),
// bones keep their order after it, and each joint stands where its bone stands, (x, z, y) of the scene's position
// times the scale; rotations map the same way, by exchanging rows and columns 1 and 2, which rounds nothing.
TEST(Skeleton, EngineSkeletonHasOneOriginRootAndJointsOnTheirBones)
{
    const std::vector<BoneLine> chain = {{"hips", kRoot, {0, 1, 0}, {0, -90, 0}},
                                         {"spine", parent(0), {0, 0, 0.5f}},
                                         {"arm", parent(1), {0, 0, 0.5f}, {90, 0, 0}}};
    const std::vector<BoneLine> twoRoots = {{"a", kRoot, {1, 0, 0}}, {"b", kRoot, {0, 2, 3}}, {"c", parent(1), {1, 0, 0}}};
    const std::vector<BoneLine> ownOrigin = {{"origin", kRoot}, {"hips", parent(0), {0, 1, 0}}};
    const std::vector<BoneLine> movedOrigin = {{"origin", kRoot, {0, 0.5f, 0}}, {"hips", parent(0), {0, 1, 0}}};
    // Bones and scale, then each joint: name, parent and bind position (rounded to 1e-6); whether the origin
    // was added, and whether a warning says two joints share its name.
    const std::tuple<std::vector<BoneLine>, float, std::string, bool> cases[] = {
        {chain, 1, "origin -1 (0 0 0), hips 0 (0 0 1), spine 1 (0 0 1.5), arm 2 (0 0 2), ", true},
        {chain, 2, "origin -1 (0 0 0), hips 0 (0 0 2), spine 1 (0 0 3), arm 2 (0 0 4), ", true},
        {twoRoots, 1, "origin -1 (0 0 0), a 0 (1 0 0), b 0 (0 3 2), c 2 (1 3 2), ", true},
        {ownOrigin, 1, "origin -1 (0 0 0), hips 0 (0 0 1), ", false},
        {movedOrigin, 1, "origin -1 (0 0 0), origin 0 (0 0 0.5), hips 1 (0 0 1.5), ", true},
    };
    for (const auto& [bones, scale, expected, added] : cases) {
        const Scene scene = sceneOf(bones);
        CaptureReporter report;
        const std::vector<Joint> joints = buildEngineSkeleton(scene.bones, planJointOrder(scene.bones), scale, report);
        std::ostringstream layout;
        for (const Joint& j : joints) {
            const auto round = [](float v) { return std::round(v * 1e6) / 1e6 + 0.0; };
            layout << j.name << ' ' << j.parentIndex << " (" << round(j.bindTransform.t.x) << ' '
                   << round(j.bindTransform.t.y) << ' ' << round(j.bindTransform.t.z) << "), ";
        }
        EXPECT_EQ(layout.str(), expected);
        EXPECT_EQ(joints.front().addedOrigin, added);
        const bool shared = added && bones.front().name == std::string("origin");
        EXPECT_EQ(report.texts(CaptureReporter::Event::Warning).size(), shared ? 1u : 0u);
    }
    // The arm's heading of 90 turns the scene's +z to +x; seen in md5 space, +y (the scene's z) goes to +x.
    Transform rotation;
    mapRotation(SceneMapping::Engine, {90, 0, 0}, rotation);
    Transform scene;
    headingPitchBankRotation(90, 0, 0, scene);
    EXPECT_EQ((Floats(&rotation.m[0][0], &rotation.m[0][0] + 9)),
              (Floats{scene.m[0][0], scene.m[0][2], scene.m[0][1], scene.m[2][0], scene.m[2][2], scene.m[2][1],
                      scene.m[1][0], scene.m[1][2], scene.m[1][1]}));
    Vec3 y{0, 1, 0};
    Vec3 turned;
    transformPoint(y, rotation, turned);
    EXPECT_EQ((Floats{turned.x, turned.y, turned.z}), (Floats{1, kCos90, 0}));
}

// Points with 5 to 8 weights, kept to N by --max-weights (and to 4 by the BFG engine): the N largest stay, the
// earlier of equal ones wins, their order is kept, and they are normalised to sum 1.
TEST(SkinnedMesh, MaxWeightsKeepsTheLargestAndNormalises)
{
    LwoObject object;
    object.meshes.emplace_back().points.resize(4);
    std::vector<Joint> joints;
    // Point k has 5 + k weights; point 3's eight weights hold a tie at the fourth place (0.3 at slots 3 and 6).
    const std::vector<std::vector<float>> weights = {{0.1f, 0.5f, 0.2f, 0.4f, 0.3f},
                                                     {0.6f, 0.05f, 0.6f, 0.1f, 0.2f, 0.9f},
                                                     {1, 2, 3, 4, 5, 6, 7},
                                                     {0.9f, 0.1f, 0.8f, 0.3f, 0.7f, 0.2f, 0.3f, 0.05f}};
    for (int j = 0; j < 8; ++j) {
        joints.emplace_back().weightMapName = "w" + std::to_string(j);
        LwoWeightMap& map = object.weightMaps.emplace_back();
        map.name = joints.back().weightMapName;
        for (std::int32_t point = 0; point < 4; ++point) {
            if (static_cast<std::size_t>(j) < weights[static_cast<std::size_t>(point)].size()) {
                map.entries.push_back({point, weights[static_cast<std::size_t>(point)][static_cast<std::size_t>(j)]});
            }
        }
    }
    // Per limit, each point's kept joints.
    const std::pair<int, std::vector<std::vector<int>>> limits[] = {
        {4, {{1, 2, 3, 4}, {0, 2, 4, 5}, {3, 4, 5, 6}, {0, 2, 3, 4}}},
        {1, {{1}, {5}, {6}, {0}}},
        {8, {{0, 1, 2, 3, 4}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6}, {0, 1, 2, 3, 4, 5, 6, 7}}},
    };
    for (const auto& [limit, kept] : limits) {
        CaptureReporter report;
        const Md5Mesh mesh = assignWeights(Md5Mesh{"", std::vector<Md5Vertex>(4), {}, {}}, joints, object, limit, report);
        for (std::size_t v = 0; v < 4; ++v) {
            const Md5Vertex& vertex = mesh.vertices[v];
            std::vector<int> joined;
            double sum = 0.0;
            for (int w = vertex.firstWeight; w < vertex.firstWeight + vertex.weightCount; ++w) {
                joined.push_back(mesh.weights[static_cast<std::size_t>(w)].joint);
                sum += mesh.weights[static_cast<std::size_t>(w)].bias;
            }
            EXPECT_EQ(joined, kept[v]) << limit << " " << v;
            EXPECT_NEAR(sum, 1.0, 1e-6) << limit << " " << v;
        }
        EXPECT_EQ(report.texts(CaptureReporter::Event::Warning),
                  limit == 8 ? Strings{}
                             : Strings{"4 vertices have more than " + std::to_string(limit) + " weights; the " +
                                       std::to_string(limit) + " largest of each are kept"});
    }
}

// Six points: 0 to 3 form a quad split into the triangles (0 1 2) and (0 2 3); the maps name points 6 and up,
// and polygon 1, which the mesh has not.
TEST(SkinnedMesh, WeightsNormalisedInDoubleAndFixesOnEveryTriangleOfThePolygon)
{
    LwoObject object;
    LwoMesh& quad = object.meshes.emplace_back();
    quad.points.resize(6);
    quad.triangles = {{0, 1, 2}, {0, 2, 3}};
    quad.polygonFirstTriangle = {0, 2};
    std::vector<Joint> joints;
    for (const char* map : {"a", "b", "m0", "m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8", "s", "s"}) {
        joints.emplace_back().weightMapName = map;
    }
    object.weightMaps = {{"b", {{0, 0.0f}, {1, 0.25f}, {2, -0.5f}, {5, 0.63f}, {99, 1}}},
                               {"a", {{0, -0.0f}, {1, 0.5f}, {2, 0.5f}, {5, 0.22f}}},
                               {"s", {{4, 0.3f}, {-1, 1}, {6, 1}}}};
    // The smallest bias 2^-5 of vertex 3 is held by slots 1, 3 and 5 of nine: the latest of them goes.
    const float nine[] = {0.0625f, 0.03125f, 0.5f, 0.03125f, 0.125f, 0.03125f, 0.0625f, 0.0625f, 0.125f};
    for (int j = 0; j < 9; ++j) object.weightMaps.push_back({"m" + std::to_string(j), {{3, nine[j]}}});
    object.uvMaps = {{"uv", {{6, 0.5f, 0.5f}, {1, 0.25f, 0.25f}, {-1}}}};
    // A fix entry names a polygon: corner 2 is split in both triangles. Names differ in case: no fix.
    object.uvFixMaps = {{"uv", {{2, 0, 0.75f, 0.75f}, {6, 0}, {1, 1}, {0, -1}}}, {"UV", {{0}}}, {"uv", {{0, 7}}}};
    CaptureReporter report;
    const Md5Mesh mesh = buildSkinnedMesh(object, joints, MeshOptions{}, report);
    std::vector<std::pair<int, float>> weights;
    for (const Md5Weight& w : mesh.weights) weights.emplace_back(w.joint, w.bias);
    EXPECT_EQ(weights, (std::vector<std::pair<int, float>>{
                           {0, 1},                            // weights of exactly 0 only: the first joint
                           {0, 0.6666667f}, {1, 0.33333334f}, // joint order, not map order
                           {0, 0.5f}, {1, -0.5f},             // a zero sum keeps the biases
                           {2, nine[0]}, {3, nine[1]}, {4, nine[2]}, {5, nine[3]}, {6, nine[4]}, {8, nine[6]},
                           {9, nine[7]}, {10, nine[8]},
                           {11, 0.5f}, {12, 0.5f}, // two joints share a map
                           // Summed and scaled in float the last bits would be ...84 and ...bd.
                           {0, std::bit_cast<float>(0x3e848485u)}, {1, std::bit_cast<float>(0x3f3dbdbeu)}}));
    EXPECT_EQ((std::vector<int>{mesh.triangles[0].corners[2], mesh.triangles[1].corners[1]}), (std::vector<int>{6, 7}));
    std::vector<Floats> uvs;
    for (const Md5Vertex& v : mesh.vertices) uvs.push_back({v.u, v.v, static_cast<float>(v.firstWeight)});
    EXPECT_EQ(uvs, (std::vector<Floats>{{0, 0, 0}, {0.25f, 0.75f, 1}, {0, 0, 3}, {0, 0, 5}, {0, 0, 13}, {0, 0, 15},
                                        {0.75f, 0.25f, 3}, {0.75f, 0.25f, 3}}));
    // One warning per map, however many joints use it.
    EXPECT_EQ(report.texts(CaptureReporter::Event::Warning),
              (Strings{"2 entries of UV map 'uv' name no point of the mesh; skipped",
                       "1 entries of weight map 'b' name no point of the mesh; skipped",
                       "2 entries of weight map 's' name no point of the mesh; skipped",
                       "1 vertices have more than 8 weights; the 8 largest of each are kept",
                       "3 entries of UV fix map 'uv' name no point or polygon of the mesh; skipped",
                       "1 entries of UV fix map 'uv' name no point or polygon of the mesh; skipped"}));
}

} // namespace
} // namespace lwmd5
