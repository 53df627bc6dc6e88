#include "math/bounds.h"
#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "md5/md5_text.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "md5/posing.h"
#include "motion/envelope.h"
#include "support/capture_reporter.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <tuple>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using Floats = std::vector<float>;
using testing::CaptureReporter;

Floats flat(const Vec3& v) { return {v.x, v.y, v.z}; }

// Three bones sampled at frames 4 to 14 at 25 fps, with one thread and with two: the frames split over threads
// must come out as they do in one.
TEST(FrameStages, ChannelsAndBoxesOfEveryFrameOfTheRange)
{
    Scene scene;
    scene.firstFrame = 4;
    scene.lastFrame = 14;
    scene.framesPerSecond = 25;
    scene.bones.resize(3);
    std::vector<Joint> joints(3);
    for (int i = 0; i < 3; ++i) joints[static_cast<std::size_t>(i)].bone = i;
    joints[1].parentIndex = 0;
    scene.bones[0].channels[0].keys = {{1, 0}};
    scene.bones[1].channels[2].keys = {{-3, 0}};
    Channels& channels = scene.bones[2].channels;
    const int linear = static_cast<int>(KeyShape::Linear), stepped = static_cast<int>(KeyShape::Stepped);
    channels[0].keys = {{0, 0, linear}, {1, 1, linear}};
    // Frame 5 at 25 fps divided in float is exactly 0.2; 5 x (1 / 25) comes out below it.
    channels[1].keys = {{0, 0}, {7, 0.2f, stepped}, {7, 1, stepped}};
    channels[2].keys = {{2, 0}};
    channels[3].keys = {{1, 0}};
    channels[4].keys = {{0.1f, 0}};
    channels[5].keys = {{-1, 0}};
    // The root's pitch correction of -90 degrees turns by the rows (1, 0, 0), (0, c, 1), (0, -1, c), the
    // child's position (0, 0, 6) into (0, -6, 6c). No vertex keeps the empty box; one weight of bias 1 and
    // offset 0 on a joint makes both corners that joint's posed position.
    const float c6 = 6 * -4.371139e-8f;
    using Box = std::array<float, 6>;
    const std::tuple<std::vector<Md5Weight>, Box> meshes[] = {{{}, {99999, 99999, 99999, -99999, -99999, -99999}},
                                                              {{{0, 1, {}}}, {2, 0, 0, 2, 0, 0}},
                                                              {{{1, 1, {}}}, {2, -6, c6, 2, -6, c6}}};
    for (const unsigned threads : {1u, 2u}) {
        const std::vector<JointChannels> sampled = computeJointChannels(joints, scene, 2, threads);
        for (const auto& [weights, box] : meshes) {
            const Md5Mesh mesh{"", std::vector<Md5Vertex>(weights.size(), {0, 0, 0, 1, {}}), {}, weights};
            const std::vector<FrameBounds> bounds = computeFrameBounds(joints, sampled, {mesh}, threads);
            ASSERT_EQ(bounds.size(), 11u);
            for (const FrameBounds& b : bounds) EXPECT_EQ(std::bit_cast<Box>(b), box);
        }
        for (std::size_t k = 0; k < 11; ++k) {
            const float t = static_cast<float>((4.0 + static_cast<double>(k)) / 25);
            EXPECT_EQ(flat(sampled[2].framePositions[k]), (Floats{2 * t, k == 0 ? 0.0f : 14.0f, -4})) << threads << k;
            // Radians times 180, then times 0.31830987: 180 / pi would give 57.29578 for 1 rad, and the
            // factor 57.295776 formed first would give 5.7295775 for 0.1 rad.
            EXPECT_EQ(flat(sampled[2].frameAngles[k]), (Floats{57.2957763671875f, 5.729578f, -57.2957763671875f}));
            EXPECT_EQ(flat(sampled[0].frameAngles[k]), (Floats{0, -90, 0}));
            EXPECT_EQ(flat(sampled[1].frameAngles[k]), (Floats{90, 0, 0}));
        }
    }
}

// The vector loop poses four vertices at once; it must grow the box to the very bits of the plain loop,
// whatever the weight counts, signed zeros and values that are not finite.
TEST(FrameStages, VectorPosingLoopGivesThePlainLoopsBits)
{
    std::mt19937 random(2718);
    const float special[] = {0.0f, -0.0f, NAN, INFINITY, 1e-40f};
    auto value = [&] {
        return random() % 4 == 0 ? special[random() % 5] : std::uniform_real_distribution<float>(-100, 100)(random);
    };
    for (int round = 0; round < 200; ++round) {
        std::vector<JointRows> joints(1 + random() % 5);
        for (JointRows& rows : joints) {
            std::array<float, 12> transform;
            for (float& x : transform) x = value();
            toRows(std::bit_cast<Transform>(transform), rows);
        }
        std::vector<PoseWeight> weights;
        std::vector<PoseRun> runs(random() % 40);
        for (PoseRun& run : runs) {
            // Mostly equal counts, so both the interleaved and the single path run.
            const auto count = static_cast<std::uint32_t>(random() % 3 ? 3 : 1 + random() % 9);
            run = {static_cast<std::uint32_t>(weights.size()), count};
            for (std::uint32_t w = 0; w < run.count; ++w) {
                const float bias = value();
                weights.push_back({{value(), value(), value()}, bias, bias, random() % joints.size()});
            }
        }
        FrameBounds boxes[2];
        for (FrameBounds& box : boxes) resetBounds(box.min, box.max);
        poseRunsScalar(weights.data(), runs.data(), runs.size(), joints.data(), boxes[0]);
        choosePoseFunction()(weights.data(), runs.data(), runs.size(), joints.data(), boxes[1]);
        using Bits = std::array<std::uint32_t, 6>;
        ASSERT_EQ(std::bit_cast<Bits>(boxes[0]), std::bit_cast<Bits>(boxes[1])) << "round " << round;
    }
}

// Two joints at scene frame 10 (frames are numbered from 0), written beside the scene over an older file.
TEST(Md5Files, TinySceneByteForByte)
{
    // The root's bind rotation is half a turn about z: its quaternion has w = 0 and keeps its components. The
    // child's rows are left-handed; with the third row negated they turn as (0.5, -0.5, 0.5, -0.5), written
    // with w made positive.
    std::vector<Joint> joints(2);
    joints[0].name = "root";
    joints[0].bindTransform = std::bit_cast<Transform>(std::array<float, 12>{-1, 0, 0, 0, -1, 0, 0, 0, 1, 1.5f, -0.0f, 2.25f});
    joints[1].name = "hip";
    joints[1].parentIndex = 0;
    joints[1].parentName = "root";
    joints[1].bindTransform = std::bit_cast<Transform>(std::array<float, 12>{0, 0, 1, -1, 0, 0, 0, 1, 0, 0, 0, -1});
    std::vector<JointChannels> channels(2);
    channels[0].framePositions = {{1e8f, 0.5f, -0.0f}};
    channels[0].frameOrientations = {{0.5f, -0.5f, 0.5f, -0.5f}};
    channels[1].framePositions = {{0, 0, 1}};
    channels[1].frameOrientations = {{0.6f, 0, -0.8f, 0}};
    // Relative to the root: 0.1 - 1e8 is -99999999.9 in double, and 1e8 in float.
    const std::vector<FrameBounds> bounds = {{{0.1f, -1, -1}, {1, 1, 1}}};
    const std::vector<Md5Vertex> vertices = {{0.25f, 0.75f, 0, 1, {}}, {0.5f, 1, 1, 1, {}}};
    const std::vector<Md5Mesh> meshes = {
        {"skin", vertices, {}, {{0, 1, {0.125f, -2, 3}}, {1, 0.75f, {-0.0f, 0, 1e-7f}}}}};
    const testing::TempDir dir;
    dir.write("walk.final.md5mesh", "an older conversion, replaced\n");
    CaptureReporter report;
    EXPECT_TRUE(writeMd5Mesh((dir / "walk.final.lws").string(), joints, meshes, report));
    EXPECT_TRUE(writeMd5Anim((dir / "walk.final.lws").string(), {joints, channels, bounds, 0}, report));
    EXPECT_TRUE(report.events.empty());
    EXPECT_EQ(testing::readFile(dir / "walk.final.md5mesh"),
              testing::platformText(
                  "MD5Version 10\ncommandline \"\"\n\nnumJoints 2\nnumMeshes 1\n\njoints {\n"
                  "\t\"root\"\t-1 ( 1.500000 -0.000000 2.250000 ) ( 0.000000 0.000000 1.000000 )\t// \n"
                  "\t\"hip\"\t0 ( 0.000000 0.000000 -1.000000 ) ( -0.500000 0.500000 -0.500000 )\t// root\n"
                  "}\n\nmesh {\n\t// meshes:  \n\tshader \"skin\"\n\n"
                  "\tnumverts 2\n\tvert 0 ( 0.250000 0.750000 ) 0 1\n\tvert 1 ( 0.500000 1.000000 ) 1 1\n\n"
                  "\tnumtris 0\n\n\tnumweights 2\n\tweight 0 0 1.000000 ( 0.125000 -2.000000 3.000000 )\n"
                  "\tweight 1 1 0.750000 ( -0.000000 0.000000 0.000000 )\n}\n\n"));
    EXPECT_EQ(testing::readFile(dir / "walk.final.md5anim"),
              testing::platformText(
                  "MD5Version 10\ncommandline \"\"\n\nnumFrames 1\nnumJoints 2\nframeRate 0\nnumAnimatedComponents 12\n"
                  "\nhierarchy {\n\t\"root\"\t-1 63 0\t// \n\t\"hip\"\t0 63 6\t// root ( Tx Ty Tz Qx Qy Qz )\n}\n\n"
                  "bounds {\n\t( -99999999.900000 -1.500000 -1.000000 ) ( -99999999.000000 0.500000 1.000000 )\n}\n\n"
                  "baseframe {\n\t( 100000000.000000 0.500000 -0.000000 ) ( -0.500000 0.500000 -0.500000 )\n"
                  "\t( 0.000000 0.000000 1.000000 ) ( 0.600000 0.000000 -0.800000 )\n}\n\n"
                  "frame 0 {\n\t100000000.000000 0.500000 -0.000000 -0.500000 0.500000 -0.500000\n"
                  "\t0.000000 0.000000 1.000000 0.600000 0.000000 -0.800000\n}\n\n"));
}

TEST(Md5Files, NumbersPrintAsPrintfPrintsThemOverAWideSample)
{
    std::mt19937_64 random(1234);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t pattern = random();
        const double any = std::bit_cast<double>(pattern);
        // Doubles and floats of every magnitude, values spread over the printed digits, and binary ties.
        for (const double value : {any, static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(pattern))),
                                   std::ldexp(any - std::trunc(any), static_cast<int>(pattern % 60) - 30),
                                   std::ldexp(1.0, -7) * (2 * i + 1)}) {
            if (!std::isfinite(value)) continue;
            char printed[400];
            std::snprintf(printed, sizeof printed, "%f", value);
            std::string text;
            ASSERT_EQ((appendFixed(text, value), text), printed) << std::hexfloat << value;
        }
    }
}

} // namespace
} // namespace lwmd5
