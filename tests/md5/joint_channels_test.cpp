#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "md5/md5anim_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace lwmd5 {
namespace {

enum Channel { kX = 0, kY, kZ, kHeading, kPitch, kBank };

EnvelopeKey key(float value, float time, int shape = 3)
{
    EnvelopeKey k;
    k.value = value;
    k.time = time;
    k.shape = shape;
    return k;
}

// Bones numbered in list order, each a child of the one before; no keys.
Scene sceneWithBones(int count, int firstFrame, int lastFrame, int fps)
{
    Scene scene;
    scene.firstFrame = firstFrame;
    scene.lastFrame = lastFrame;
    scene.framesPerSecond = fps;
    for (int i = 0; i < count; ++i) {
        Bone bone;
        bone.name = "bone" + std::to_string(i);
        scene.bones.push_back(bone);
        Joint joint;
        joint.name = bone.name;
        joint.bone = i;
        joint.parentIndex = i - 1;
        scene.joints.push_back(joint);
    }
    return scene;
}

Envelope& channel(Scene& scene, int bone, Channel c)
{
    return scene.bones[static_cast<std::size_t>(bone)].channels[c];
}

std::uint32_t bits(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

// Same bits (so negative zero is told apart from zero).
void expectBits(const Vec3& actual, const Vec3& expected)
{
    EXPECT_EQ(bits(actual.x), bits(expected.x)) << actual.x << " vs " << expected.x;
    EXPECT_EQ(bits(actual.y), bits(expected.y)) << actual.y << " vs " << expected.y;
    EXPECT_EQ(bits(actual.z), bits(expected.z)) << actual.z << " vs " << expected.z;
}

TEST(JointChannels, OneFrameRangeSamplesTimeZero)
{
    Scene scene = sceneWithBones(1, 0, 0, 30);
    channel(scene, 0, kX).keys = {key(3, 0), key(9, 1)};
    computeJointChannels(scene);
    const Joint& joint = scene.joints[0];
    ASSERT_EQ(joint.frameAngles.size(), 1u);
    ASSERT_EQ(joint.frameOrientations.size(), 1u);
    ASSERT_EQ(joint.framePositions.size(), 1u);
    EXPECT_EQ(joint.framePositions[0].x, 3.0f);
}

// A ramp whose value is its time shows the sample times: frame f at f / 30 s,
// divided in single precision, whatever the frame step says.
TEST(JointChannels, FramesTenToTwentySampleEveryFrameAtItsOwnTime)
{
    for (const int step : {1, 2}) {
        SCOPED_TRACE(step);
        Scene scene = sceneWithBones(1, 10, 20, 30);
        scene.frameStep = step;
        channel(scene, 0, kX).keys = {key(0, 0), key(1, 1)};
        computeJointChannels(scene);
        const std::vector<Vec3>& positions = scene.joints[0].framePositions;
        ASSERT_EQ(positions.size(), 11u);
        EXPECT_EQ(positions[0].x, 0.33333334f);
        EXPECT_EQ(positions[10].x, 0.6666667f);
        for (std::size_t k = 0; k < positions.size(); ++k) {
            EXPECT_EQ(positions[k].x, static_cast<float>((10.0 + static_cast<double>(k)) / 30.0)) << k;
        }
    }
}

// 5 / 25 in single precision is exactly the key time 0.2; 5 x (1 / 25) comes
// out just below it and would still hold the stepped span's first value.
TEST(JointChannels, FrameTimeIsOneSinglePrecisionDivision)
{
    Scene scene = sceneWithBones(1, 4, 5, 25);
    channel(scene, 0, kX).keys = {key(0, 0), key(7, 0.2f, 4)};
    computeJointChannels(scene);
    EXPECT_EQ(scene.joints[0].framePositions[0].x, 0.0f);
    EXPECT_EQ(scene.joints[0].framePositions[1].x, 7.0f);
}

TEST(JointChannels, FirstTwoJointsGetFixedCorrections)
{
    Scene scene = sceneWithBones(3, 0, 2, 30);
    computeJointChannels(scene);
    const Vec3 expected[3] = {{0, -90, 0}, {90, 0, 0}, {0, 0, 0}};
    for (std::size_t j = 0; j < 3; ++j) {
        for (std::size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(::testing::Message() << "joint " << j << " sample " << k);
            expectBits(scene.joints[j].frameAngles[k], expected[j]);
            expectBits(scene.joints[j].framePositions[k], {0, 0, -0.0f}); // z is stored negated
        }
    }
    const Quat third = scene.joints[2].frameOrientations[1];
    expectBits({third.x, third.y, third.z}, {0, 0, 0});
    EXPECT_EQ(third.w, 1.0f);
    // A quarter turn about x for the first joint, about y for the second
    // (printed -0.707107 0 0 and 0 0.707107 0).
    const Quat first = scene.joints[0].frameOrientations[0];
    const Quat second = scene.joints[1].frameOrientations[0];
    for (const float v : {-first.x, first.w, second.y, second.w}) EXPECT_NEAR(v, 0.70710677f, 1e-6);
    for (const float v : {first.y, first.z, second.x, second.z}) EXPECT_NEAR(v, 0.0f, 1e-6);
}

TEST(JointChannels, PositionIsScaledWithZNegated)
{
    Scene scene = sceneWithBones(1, 0, 0, 30);
    scene.scaleFactor = 2.0f;
    channel(scene, 0, kX).keys = {key(1.5f, 0)};
    channel(scene, 0, kY).keys = {key(-0.25f, 0)};
    channel(scene, 0, kZ).keys = {key(2, 0)};
    computeJointChannels(scene);
    expectBits(scene.joints[0].framePositions[0], {3, -0.5f, -4});
}

// Radians times 180, then times 0.31830987: 1 rad is 57.295776, where 180 / pi
// would give 57.29578; 0.1 rad is 5.729578, where the factor 57.295776
// formed first would give 5.7295775.
TEST(JointChannels, RadiansBecomeDegreesThrough180ThenOneOverPi)
{
    Scene scene = sceneWithBones(3, 0, 0, 30);
    for (int b = 0; b < 3; ++b) {
        channel(scene, b, kHeading).keys = {key(1, 0)};
        channel(scene, b, kPitch).keys = {key(0.1f, 0)};
        channel(scene, b, kBank).keys = {key(-1, 0)};
    }
    computeJointChannels(scene);
    expectBits(scene.joints[0].frameAngles[0], {57.2957763671875f, -84.27042388916016f, -57.2957763671875f});
    expectBits(scene.joints[1].frameAngles[0], {147.2957763671875f, 5.729578018188477f, -57.2957763671875f});
    expectBits(scene.joints[2].frameAngles[0], {57.2957763671875f, 5.729578018188477f, -57.2957763671875f});
}

Md5Mesh meshWithWeights(const std::vector<std::vector<Md5Weight>>& perVertex)
{
    Md5Mesh mesh;
    for (const std::vector<Md5Weight>& weights : perVertex) {
        Md5Vertex vertex;
        vertex.firstWeight = static_cast<std::int32_t>(mesh.weights.size());
        vertex.weightCount = static_cast<std::int32_t>(weights.size());
        mesh.vertices.push_back(vertex);
        mesh.weights.insert(mesh.weights.end(), weights.begin(), weights.end());
    }
    return mesh;
}

// Equal values (a posed zero may come out +0 where the position is -0).
void expectBox(const FrameBounds& box, const Vec3& min, const Vec3& max)
{
    for (const auto& [actual, expected] : {std::pair(box.min, min), std::pair(box.max, max)}) {
        EXPECT_EQ(actual.x, expected.x);
        EXPECT_EQ(actual.y, expected.y);
        EXPECT_EQ(actual.z, expected.z);
    }
}

TEST(FrameBounds, MeshWithoutVerticesKeepsTheEmptyBoxAndAnUnweightedVertexSitsAtTheOrigin)
{
    Scene scene = sceneWithBones(2, 0, 2, 30);
    channel(scene, 0, kX).keys = {key(4, 0)};
    computeJointChannels(scene);
    scene.outputMeshes.push_back(Md5Mesh{});
    computeFrameBounds(scene);
    ASSERT_EQ(scene.frameBounds.size(), 3u);
    for (const FrameBounds& box : scene.frameBounds) expectBox(box, {99999, 99999, 99999}, {-99999, -99999, -99999});

    scene.outputMeshes.front() = meshWithWeights({{}});
    computeFrameBounds(scene);
    for (const FrameBounds& box : scene.frameBounds) expectBox(box, {0, 0, 0}, {0, 0, 0});
}

// One vertex with one weight of bias 1 and offset 0 on the root: both corners
// are the root's position in every sample, so every bounds line is zeros.
TEST(FrameBounds, VertexOnTheRootFollowsItsPosition)
{
    Scene scene = sceneWithBones(2, 0, 5, 30);
    channel(scene, 0, kX).keys = {key(-1, 0), key(2, 0.2f)};
    channel(scene, 0, kZ).keys = {key(0.5f, 0), key(3, 0.1f, 0)};
    channel(scene, 0, kHeading).keys = {key(0, 0), key(1, 0.2f)};
    channel(scene, 1, kY).keys = {key(0, 0), key(7, 0.2f)};
    computeJointChannels(scene);
    scene.outputMeshes.push_back(meshWithWeights({{Md5Weight{0, 1.0f, {}}}}));
    computeFrameBounds(scene);
    ASSERT_EQ(scene.frameBounds.size(), 6u);
    for (std::size_t k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const Vec3 p = scene.joints[0].framePositions[k];
        expectBox(scene.frameBounds[k], p, p);
    }
    std::istringstream text(formatMd5Anim(scene));
    std::string line;
    while (std::getline(text, line) && line != "bounds {") {
    }
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(std::getline(text, line));
        EXPECT_EQ(line, "\t( 0.000000 0.000000 0.000000 ) ( 0.000000 0.000000 0.000000 )");
    }
}

// The root is turned by its pitch correction of -90 degrees, which in md5
// space has rows (1, 0, 0), (0, c, 1), (0, -1, c) with c = cos of the quarter
// turn in single precision. The child at (0, 0, 3) below it lands at
// (0, 0, 3) x R0 + root position = (0, -3, 3c) + root position, in each
// sample with that sample's root; so does an offset (0, 0, 3) on the root.
TEST(FrameBounds, ChildIsPosedThroughItsParentsWorldTransform)
{
    const float c = -4.371138828673793e-8f;
    Scene scene = sceneWithBones(2, 0, 1, 30);
    scene.joints[0].frameAngles = {{0, -90, 0}, {0, -90, 0}};
    scene.joints[0].framePositions = {{1, 0, 0}, {5, 0, 0}};
    scene.joints[1].frameAngles = {{90, 0, 0}, {90, 0, 0}};
    scene.joints[1].framePositions = {{0, 0, 3}, {0, 0, 3}};
    scene.outputMeshes.push_back(meshWithWeights({{Md5Weight{1, 1.0f, {}}}}));
    computeFrameBounds(scene);
    const float z = static_cast<float>(3.0 * c);
    expectBox(scene.frameBounds[0], {1, -3, z}, {1, -3, z});
    expectBox(scene.frameBounds[1], {5, -3, z}, {5, -3, z});

    scene.outputMeshes.front() = meshWithWeights({{Md5Weight{0, 1.0f, {0, 0, 3}}}});
    computeFrameBounds(scene);
    expectBox(scene.frameBounds[1], {5, -3, z}, {5, -3, z});
}

// An empty value removes the setting.
void setThreadSetting(const char* value)
{
#ifdef _WIN32
    _putenv_s("LWMD5_THREADS", value);
#else
    if (*value == '\0') {
        unsetenv("LWMD5_THREADS");
    } else {
        setenv("LWMD5_THREADS", value, 1);
    }
#endif
}

std::vector<std::uint32_t> computedBits(const char* threads)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    Scene scene = sceneWithBones(4, -7, 300, 24);
    scene.joints[2].parentIndex = 0;
    for (Bone& bone : scene.bones) {
        for (int c = 0; c < 6; ++c) {
            Envelope& e = bone.channels[static_cast<std::size_t>(c)];
            e.preBehavior = 3;
            e.postBehavior = 4;
            for (int i = 0; i < 5; ++i) e.keys.push_back(key(unit(random), 0.5f * static_cast<float>(i), i % 6));
        }
    }
    // Runs of vertices with equal weight counts and odd ones between them.
    std::vector<std::vector<Md5Weight>> weights(41);
    for (std::size_t v = 0; v < weights.size(); ++v) {
        const std::size_t count = v % 9 == 8 ? v % 5 : 3;
        for (std::size_t w = 0; w < count; ++w) {
            weights[v].push_back(Md5Weight{static_cast<std::int32_t>(random() % 4), 0.5f + 0.25f * unit(random),
                                           {4.0f * unit(random), unit(random), unit(random)}});
        }
    }
    scene.outputMeshes.push_back(meshWithWeights(weights));

    setThreadSetting(threads);
    computeJointChannels(scene);
    computeFrameBounds(scene);
    setThreadSetting("");

    // Each box against the vertices posed one by one from the joints' world
    // transforms, bias times posed offset summed in single precision.
    const Md5Mesh& mesh = scene.outputMeshes.front();
    for (std::size_t k = 0; k < scene.frameBounds.size(); ++k) {
        std::vector<Transform> world(scene.joints.size());
        for (std::size_t j = 0; j < scene.joints.size(); ++j) {
            const Joint& joint = scene.joints[j];
            Transform rotation, translation, local;
            frameRotation(joint.frameAngles[k], rotation);
            translationTransform(joint.framePositions[k], translation);
            multiplyTransforms(rotation, translation, local);
            if (joint.parentIndex < 0) {
                world[j] = local;
            } else {
                multiplyTransforms(local, world[static_cast<std::size_t>(joint.parentIndex)], world[j]);
            }
        }
        FrameBounds box{{99999, 99999, 99999}, {-99999, -99999, -99999}};
        for (const Md5Vertex& vertex : mesh.vertices) {
            float p[3] = {0, 0, 0};
            for (std::int32_t w = 0; w < vertex.weightCount; ++w) {
                const Md5Weight& weight = mesh.weights[static_cast<std::size_t>(vertex.firstWeight + w)];
                Vec3 moved;
                transformPoint(weight.offset, world[static_cast<std::size_t>(weight.joint)], moved);
                const float m[3] = {moved.x, moved.y, moved.z};
                for (int c = 0; c < 3; ++c) {
                    p[c] = static_cast<float>(p[c] + static_cast<double>(static_cast<float>(
                                                         static_cast<double>(weight.bias) * m[c])));
                }
            }
            float* lo[3] = {&box.min.x, &box.min.y, &box.min.z};
            float* hi[3] = {&box.max.x, &box.max.y, &box.max.z};
            for (int c = 0; c < 3; ++c) {
                if (p[c] < *lo[c]) *lo[c] = p[c];
                if (p[c] > *hi[c]) *hi[c] = p[c];
            }
        }
        expectBox(scene.frameBounds[k], box.min, box.max);
    }
    std::vector<std::uint32_t> result;
    auto add = [&result](const Vec3& v) {
        for (const float f : {v.x, v.y, v.z}) result.push_back(bits(f));
    };
    for (const Joint& joint : scene.joints) {
        for (std::size_t k = 0; k < joint.framePositions.size(); ++k) {
            const Quat& q = joint.frameOrientations[k];
            add(joint.framePositions[k]);
            add(joint.frameAngles[k]);
            add({q.x, q.y, q.z});
            result.push_back(bits(q.w));
        }
    }
    for (const FrameBounds& box : scene.frameBounds) {
        add(box.min);
        add(box.max);
    }
    return result;
}

// The per-frame stages split the frames over threads (LWMD5_THREADS, read at
// each call, is left unset afterwards) and pose several vertices at once.
TEST(FrameStages, OneThreadAndTwoThreadsGiveTheSameBitsAndTheVertexByVertexBoxes)
{
    const std::vector<std::uint32_t> one = computedBits("1");
    const std::vector<std::uint32_t> two = computedBits("2");
    ASSERT_EQ(one.size(), 4u * 308u * 10u + 308u * 6u);
    EXPECT_TRUE(one == two);
}

} // namespace
} // namespace lwmd5
