// The converters' --engine output read back as id Tech 4 reads it (w = -sqrt,
// q·v·q⁻¹, child = parent ∘ local) on rigs the default rules do not suit: one
// root joint "origin", joints where their bones stand, a frame of the rest
// values equal to the bind pose, the bind mesh on the object's points, bounds
// that are the posed mesh's model-space boxes, a mesh per surface, every layer.

#include "inspect/pose_checks.h"
#include "lwo_builder.h"
#include "md5/md5_pose.h"
#include "md5/md5_reader.h"
#include "object/lwo_reader.h"
#include "platform/report.h"
#include "scene/scene_reader.h"
#include "scene_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

// ---- the scene's own composition, in double: what the joints must show

using Rows = std::array<std::array<double, 3>, 3>;

struct ScenePose {
    Rows rotation{};
    std::array<double, 3> position{};
};

Rows multiply(const Rows& a, const Rows& b)
{
    Rows c{};
    for (int r = 0; r < 3; ++r) {
        for (int k = 0; k < 3; ++k) {
            for (int col = 0; col < 3; ++col) c[r][col] += a[r][k] * b[k][col];
        }
    }
    return c;
}

// Heading about y, pitch about x, bank about z, applied bank first (row vectors): the scene's own convention.
Rows headingPitchBank(double h, double p, double b)
{
    const double d = 3.14159265358979323846 / 180.0;
    const double ch = std::cos(h * d), sh = std::sin(h * d), cp = std::cos(p * d), sp = std::sin(p * d);
    const double cb = std::cos(b * d), sb = std::sin(b * d);
    const Rows heading{{{ch, 0, -sh}, {0, 1, 0}, {sh, 0, ch}}};
    const Rows pitch{{{1, 0, 0}, {0, cp, sp}, {0, -sp, cp}}};
    const Rows bank{{{cb, sb, 0}, {-sb, cb, 0}, {0, 0, 1}}};
    return multiply(bank, multiply(pitch, heading));
}

// Bone i's pose in the scene at rest: its own turn and position, then its parent's pose (a parent may come later
// in the file).
ScenePose restPose(const std::vector<Bone>& bones, std::size_t i)
{
    const Bone& bone = bones[i];
    ScenePose pose;
    pose.rotation = headingPitchBank(bone.restDirection.x, bone.restDirection.y, bone.restDirection.z);
    pose.position = {bone.restPosition.x, bone.restPosition.y, bone.restPosition.z};
    const std::size_t parent = parentBoneNumber(bone.parentItem);
    if ((bone.parentItem & kParentIsBone) == 0 || parent >= bones.size() || parent == i) return pose;
    const ScenePose above = restPose(bones, parent);
    ScenePose world;
    world.rotation = multiply(pose.rotation, above.rotation);
    for (int c = 0; c < 3; ++c) {
        world.position[c] = above.position[c];
        for (int k = 0; k < 3; ++k) world.position[c] += pose.position[k] * above.rotation[k][c];
    }
    return world;
}

std::map<std::string, ScenePose> restPoses(const Scene& scene)
{
    std::map<std::string, ScenePose> poses;
    for (std::size_t i = 0; i < scene.bones.size(); ++i) poses[scene.bones[i].name] = restPose(scene.bones, i);
    return poses;
}

// ---- the rigs

// One key per channel holding the bone's rest values, so that every frame shows the rest pose.
ChannelSpecs restKeys(const std::array<float, 3>& position, const std::array<float, 3>& direction)
{
    ChannelSpecs channels = restChannels(position[0], position[1], position[2]);
    for (int c = 0; c < 3; ++c) {
        channels[static_cast<std::size_t>(3 + c)].keys[0].value =
            static_cast<float>(direction[static_cast<std::size_t>(c)] * 3.14159265358979323846 / 180.0);
    }
    return channels;
}

BoneSpec bone(const char* name, int parent, std::array<float, 3> position, std::array<float, 3> direction = {})
{
    return {.name = name, .weightMapName = name, .restPosition = position, .restDirection = direction,
            .parentBone = parent, .channels = restKeys(position, direction)};
}

// A small triangle around a point of the scene, its three points weighted by one bone each.
struct Patch {
    Point centre;
    std::vector<std::string> bones; // one per corner
    std::uint16_t surface = 0;      // index into the object's tags
};

struct Layer {
    std::vector<Patch> patches;
};

// The object: its tags (and surfaces, in this order), then each layer's points, weight maps, triangles and
// their surface tags; a UV map in the first layer.
Bytes objectOf(const std::vector<std::string>& surfaces, const std::vector<Layer>& layers)
{
    std::vector<Bytes> chunks = {tagsChunk(surfaces)};
    for (std::size_t l = 0; l < layers.size(); ++l) {
        chunks.push_back(layrChunk(static_cast<std::uint16_t>(l), "layer"));
        std::vector<Point> points;
        std::map<std::string, std::vector<WeightEntry>> weights;
        std::vector<std::vector<std::uint32_t>> triangles;
        std::vector<std::pair<std::uint32_t, std::uint16_t>> tags;
        std::vector<UvEntry> uvs;
        for (const Patch& patch : layers[l].patches) {
            const auto first = static_cast<std::uint32_t>(points.size());
            const std::array<Point, 3> corners = {Point{patch.centre[0] + 0.1f, patch.centre[1], patch.centre[2]},
                                                  Point{patch.centre[0], patch.centre[1] + 0.1f, patch.centre[2]},
                                                  Point{patch.centre[0], patch.centre[1], patch.centre[2] + 0.1f}};
            for (std::uint32_t c = 0; c < 3; ++c) {
                points.push_back(corners[c]);
                weights[patch.bones[c]].push_back({first + c, 1.0f});
                uvs.push_back({first + c, 0.25f * static_cast<float>(c), 0.5f});
            }
            tags.emplace_back(static_cast<std::uint32_t>(triangles.size()), patch.surface);
            triangles.push_back({first, first + 1, first + 2});
        }
        chunks.push_back(pntsChunk(points));
        if (l == 0) chunks.push_back(uvMapChunk("uv", uvs));
        for (const auto& [name, entries] : weights) chunks.push_back(weightMapChunk(name, entries));
        chunks.push_back(polsChunk(triangles));
        chunks.push_back(ptagChunk("SURF", tags));
    }
    for (const std::string& surface : surfaces) chunks.push_back(surfChunk(surface));
    return form("LWO2", chunks);
}

struct Rig {
    std::string name;
    std::string scene;
    Bytes object;
    std::vector<std::string> shaders; // the meshes expected, in order
    bool restFrameZero;               // frame 0 holds every bone's rest values
};

std::string sceneOf(const std::vector<BoneSpec>& bones, int lastFrame = 4)
{
    SceneTextBuilder scene;
    scene.header(0, lastFrame, 24, "rig.lwo");
    for (const BoneSpec& b : bones) scene.bone(b);
    return scene.text();
}

std::vector<Rig> rigs()
{
    std::vector<Rig> made;
    // Pointing up, then 0.5 along it, then turned by a heading of 90: the default rules put the first joint off its
    // bone and turn the second by 90 degrees.
    made.push_back({"chain",
                    sceneOf({bone("hips", -1, {0, 1, 0}, {0, -90, 0}), bone("spine", 0, {0, 0, 0.5f}),
                             bone("arm", 1, {0, 0, 0.5f}, {90, 0, 0})}),
                    objectOf({"skin"}, {{{{{0, 1, 0}, {"hips", "hips", "spine"}}, {{0, 1.5f, 0}, {"spine", "arm", "spine"}},
                                          {{0, 2, 0}, {"arm", "arm", "arm"}}}}}),
                    {"skin"}, true});
    // Two root bones, two surfaces across two layers.
    made.push_back({"two roots, two surfaces, two layers",
                    sceneOf({bone("left", -1, {-1, 0.5f, 0.25f}, {30, 10, 0}), bone("right", -1, {1, 0.5f, 0}, {-45, 0, 20}),
                             bone("hand", 1, {0, 0, 0.75f}, {0, 0, 60})}),
                    objectOf({"skin", "cloth"},
                             {{{{{-1, 0.5f, 0.25f}, {"left", "left", "left"}, 0}, {{1, 0.5f, 0}, {"right", "hand", "right"}, 1}}},
                              {{{{1.3f, 0.4f, 0.6f}, {"hand", "hand", "hand"}, 0}, {{-1, 0.8f, 0}, {"left", "left", "right"}, 1}}}}),
                    {"models/rig/skin", "models/rig/cloth"}, true});
    // A root that moves away from its rest place and turns, its child following.
    BoneSpec walker = bone("walker", -1, {0.5f, 0, 0}, {0, 0, 0});
    walker.channels[0].keys = {KeySpec{0.5f, 0.0f, 3}, KeySpec{2.5f, 1.0f, 3}};
    walker.channels[3].keys = {KeySpec{0.0f, 0.0f, 3}, KeySpec{1.5f, 1.0f, 3}};
    made.push_back({"moving root", sceneOf({walker, bone("head", 0, {0, 1, 0}, {0, 0, 15})}, 24),
                    objectOf({"skin"}, {{{{{0.5f, 0, 0}, {"walker", "walker", "head"}}, {{0.5f, 1, 0}, {"head", "head", "head"}}}}}),
                    {"skin"}, true});
    // The bundled character as it walks, and its bones held at rest: its first bone, "origin", rests at the
    // origin without a turn and stays joint 0.
    const std::string walk = readFile(sourceDir() / "examples" / "character.lws");
    const std::string characterObject = readFile(sourceDir() / "examples" / "character.lwo");
    const Bytes character(characterObject.begin(), characterObject.end());
    made.push_back({"example", walk, character, {"models/rig/models/example/character"}, false});
    SilentReporter silent;
    std::vector<BoneSpec> atRest;
    for (const Bone& b : parseScene(walk, SceneFlavour::BonesOnly, silent, "character.lws").bones) {
        const bool child = (b.parentItem & kParentIsBone) != 0;
        const std::array<float, 3> position{b.restPosition.x, b.restPosition.y, b.restPosition.z};
        const std::array<float, 3> direction{b.restDirection.x, b.restDirection.y, b.restDirection.z};
        BoneSpec rested = bone(b.name.c_str(), child ? static_cast<int>(parentBoneNumber(b.parentItem)) : -1, position,
                             direction);
        rested.weightMapName = b.weightMapName;
        atRest.push_back(rested);
    }
    made.push_back({"example at rest", sceneOf(atRest), character, {"models/rig/models/example/character"}, true});
    return made;
}

// ---- reading the output back

std::vector<Vec3d> skinned(const Md5FileMesh& mesh, const JointPose& pose)
{
    std::vector<Vec3d> vertices;
    skinVertices(mesh, pose, vertices);
    return vertices;
}

// The md5 files the converters wrote for the scene at `scenePath`, checked against the scene.
void checkEngineOutput(const fs::path& scenePath, float scale, const std::vector<std::string>& shaders,
                       bool restFrameZero)
{
    SilentReporter silent;
    const std::optional<Scene> scene = readScene(scenePath.string(), silent, 1);
    ASSERT_TRUE(scene);
    Md5ModelFile model;
    Md5AnimFile anim;
    ASSERT_FALSE(parseMd5Model(readFile(fs::path(scenePath).replace_extension(".md5mesh")), model));
    ASSERT_FALSE(parseMd5Anim(readFile(fs::path(scenePath).replace_extension(".md5anim")), anim));

    // One root, the origin joint 0, at the model origin without a turn; the animation says the same.
    ASSERT_FALSE(model.joints.empty());
    EXPECT_EQ(model.joints[0].name, "origin");
    EXPECT_EQ(std::count_if(model.joints.begin(), model.joints.end(), [](const Md5FileJoint& j) { return j.parent < 0; }),
              1);
    EXPECT_EQ(length(model.joints[0].position), 0.0);
    EXPECT_EQ(std::count_if(anim.hierarchy.begin(), anim.hierarchy.end(),
                            [](const Md5HierarchyEntry& j) { return j.parent < 0; }),
              1);

    // Each joint where its bone stands: the scene's position mapped as the object's points are, (x, z, y).
    const std::map<std::string, ScenePose> poses = restPoses(*scene);
    double size = 1.0;
    for (const auto& [name, pose] : poses) size = std::max(size, std::hypot(pose.position[0], pose.position[1], pose.position[2]));
    for (const Md5FileJoint& joint : model.joints) {
        const auto found = poses.find(joint.name);
        if (found == poses.end()) continue; // the origin joint
        const auto& p = found->second.position;
        const Vec3d expected{scale * p[0], scale * p[2], scale * p[1]};
        EXPECT_LT(length(joint.position - expected), 1e-5 * size * scale) << joint.name;
    }

    // A frame of the rest values is the bind pose.
    if (restFrameZero) {
        const PoseDistance distance = compareWithBindPose(model, anim, 0);
        EXPECT_LT(distance.position, 1e-5 * size * scale) << model.joints[distance.positionJoint].name;
        EXPECT_LT(distance.degrees, 0.01) << model.joints[distance.angleJoint].name;
    }

    // One mesh per surface, each with its shader.
    std::vector<std::string> written;
    for (const Md5FileMesh& mesh : model.meshes) written.push_back(mesh.shader);
    EXPECT_EQ(written, shaders);

    // Every bounds line is the posed mesh's box in model space, to the printed digits.
    const BoundsCheck bounds = classifyBounds(model, anim);
    EXPECT_LT(bounds.worstModel, 2e-6 * size * scale + 2e-6) << "frame " << bounds.worstModelFrame;
}

// Each mesh's triangles, skinned in the bind pose, against the object's polygons of its surface, layer after
// layer: corner by corner on the object's points mapped (x, z, y) and scaled.
void checkBindMesh(const Md5ModelFile& model, const LwoObject& object, float scale)
{
    const JointPose bind = bindPose(model);
    std::size_t triangles = 0;
    for (const LwoMesh& layer : object.meshes) triangles += layer.triangles.size();
    std::size_t written = 0;
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        const Md5FileMesh& mesh = model.meshes[m];
        const std::vector<Vec3d> vertices = skinned(mesh, bind);
        std::size_t t = 0;
        for (const LwoMesh& layer : object.meshes) {
            for (std::size_t polygon = 0; polygon < layer.polygonSurfaceTag.size(); ++polygon) {
                const std::size_t tag = static_cast<std::size_t>(layer.polygonSurfaceTag[polygon]);
                if (object.tags.at(tag) != object.surfaces.at(m).name) continue;
                for (std::int32_t k = layer.polygonFirstTriangle[polygon]; k < layer.polygonFirstTriangle[polygon + 1];
                     ++k, ++t) {
                    ASSERT_LT(t, mesh.triangles.size());
                    for (std::size_t c = 0; c < 3; ++c) {
                        const auto& p = layer.points[static_cast<std::size_t>(layer.triangles[static_cast<std::size_t>(k)][c])];
                        const Vec3d expected{scale * p[0], scale * p[2], scale * p[1]};
                        const Vec3d& v = vertices.at(static_cast<std::size_t>(mesh.triangles[t].corners[c]));
                        EXPECT_LT(length(v - expected), 1e-5) << mesh.shader << " triangle " << t;
                    }
                }
            }
        }
        EXPECT_EQ(t, mesh.triangles.size()) << mesh.shader;
        written += t;
    }
    EXPECT_EQ(written, triangles); // every layer's triangles are there
}

TEST(EngineMode, OutputLoadsAndPlaysAsAuthoredOnRigsTheDefaultRulesDoNotSuit)
{
    for (const Rig& rig : rigs()) {
        SCOPED_TRACE(rig.name);
        const TempDir dir;
        dir.write("rig.lws", rig.scene);
        dir.write("rig.lwo", rig.object);
        const std::vector<std::string> options =
            rig.shaders.front().starts_with("models/")
                ? std::vector<std::string>{"--engine", "doom3", "--shader-prefix", "models/rig/"}
                : std::vector<std::string>{"--engine", "doom3"};
        for (const float scale : {1.0f, 2.5f}) {
            std::vector<std::string> arguments = options;
            arguments.insert(arguments.end(), {"rig.lws", "rig.lwo", formatNumber(scale)});
            for (const fs::path& program : {meshconvPath(), animconvPath()}) {
                const ProgramResult run = runProgram(program, arguments, dir.path(), "conv");
                ASSERT_EQ(run.exitStatus, 0) << run.err;
            }
            checkEngineOutput(dir / "rig.lws", scale, rig.shaders, rig.restFrameZero);
            SilentReporter silent;
            const std::optional<LwoObject> object = loadLwoObject((dir / "rig.lwo").string(), silent);
            ASSERT_TRUE(object);
            Md5ModelFile model;
            ASSERT_FALSE(parseMd5Model(readFile(dir / "rig.md5mesh"), model));
            checkBindMesh(model, *object, scale);
        }
    }
}

// Doom 3 BFG keeps at most 4 weights a vertex (the --max-weights table tests which), and the converters refuse what
// its renderer cannot take: more than 65,535 vertices in a mesh, more than 256 joints (the origin included).
TEST(EngineMode, BfgRefusesMeshesAndSkeletonsPastItsLimits)
{
    const auto triangles = [](std::uint32_t count) {
        std::vector<Point> points;
        std::vector<std::vector<std::uint32_t>> polygons;
        for (std::uint32_t t = 0; t < count; ++t) {
            for (std::uint32_t c = 0; c < 3; ++c) points.push_back({static_cast<float>(t), static_cast<float>(c), 0});
            polygons.push_back({3 * t, 3 * t + 1, 3 * t + 2});
        }
        return form("LWO2", {pntsChunk(points), polsChunk(polygons), surfChunk("skin")});
    };
    const auto bones = [](int count) {
        std::vector<BoneSpec> chain;
        for (int b = 0; b < count; ++b) {
            chain.push_back(bone("b", b - 1, {0, 0.01f, 0}));
            chain.back().name = chain.back().weightMapName = "b" + std::to_string(b);
        }
        return sceneOf(chain, 1);
    };
    // Scene, object, the status, and the stderr line of a refusal.
    const std::tuple<std::string, Bytes, int, std::string> cases[] = {
        {bones(255), triangles(21845), 0, ""},
        {bones(1), triangles(21846), 1,
         "the mesh of shader 'skin' has 65538 vertices; Doom 3 BFG takes at most 65535 a mesh"},
        {bones(256), triangles(1), 1, "the skeleton has 257 joints (the origin joint included); Doom 3 BFG takes at "
                                      "most 256"},
    };
    for (const auto& [scene, object, status, message] : cases) {
        const TempDir dir;
        dir.write("rig.lws", scene);
        dir.write("rig.lwo", object);
        for (const fs::path& program : {meshconvPath(), animconvPath()}) {
            const ProgramResult run = runProgram(program, {"--engine", "bfg", "rig.lws", "rig.lwo"}, dir.path(), "conv");
            EXPECT_EQ(run.exitStatus, status) << run.err;
            if (status != 0) {
                EXPECT_NE(run.err.find("rig.lws: " + message), std::string::npos) << run.err;
            }
            const bool written = fs::exists(dir / (program == meshconvPath() ? "rig.md5mesh" : "rig.md5anim"));
            EXPECT_EQ(written, status == 0);
        }
    }
}

} // namespace
} // namespace lwmd5
