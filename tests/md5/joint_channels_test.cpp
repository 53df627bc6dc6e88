#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "md5/md5anim_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <string>
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

TEST(JointChannels, OneFrameRangeSamplesTimeZero)
{
    Scene scene = sceneWithBones(1, 0, 0, 30);
    channel(scene, 0, kX).keys = {key(3, 0), key(9, 1)};
    computeJointChannels(scene);
    const Joint& joint = scene.joints[0];
    ASSERT_EQ(joint.framePositions.size(), 1u);
    ASSERT_EQ(joint.frameAngles.size(), 1u);
    ASSERT_EQ(joint.frameOrientations.size(), 1u);
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
    const float expected[3][3] = {{0, -90, 0}, {90, 0, 0}, {0, 0, 0}};
    for (std::size_t j = 0; j < 3; ++j) {
        for (std::size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(::testing::Message() << "joint " << j << " sample " << k);
            const Joint& joint = scene.joints[j];
            EXPECT_EQ(joint.frameAngles[k].x, expected[j][0]);
            EXPECT_EQ(joint.frameAngles[k].y, expected[j][1]);
            EXPECT_EQ(joint.frameAngles[k].z, expected[j][2]);
            // A zero z channel is stored negated.
            EXPECT_EQ(bits(joint.framePositions[k].z), bits(-0.0f));
        }
    }
    const Quat third = scene.joints[2].frameOrientations[1];
    EXPECT_EQ(third.x, 0.0f);
    EXPECT_EQ(third.y, 0.0f);
    EXPECT_EQ(third.z, 0.0f);
    EXPECT_EQ(third.w, 1.0f);
    // A quarter turn about x for the first joint, about y for the second.
    const Quat first = scene.joints[0].frameOrientations[0];
    const Quat second = scene.joints[1].frameOrientations[0];
    const float half = 0.70710677f;
    EXPECT_NEAR(first.x, -half, 1e-6);
    EXPECT_NEAR(first.w, half, 1e-6);
    EXPECT_NEAR(second.y, half, 1e-6);
    EXPECT_NEAR(second.w, half, 1e-6);
    EXPECT_NEAR(first.y * first.y + first.z * first.z + second.x * second.x + second.z * second.z, 0.0, 1e-12);
}

TEST(JointChannels, PositionIsScaledWithZNegated)
{
    Scene scene = sceneWithBones(1, 0, 0, 30);
    scene.scaleFactor = 2.0f;
    channel(scene, 0, kX).keys = {key(1.5f, 0)};
    channel(scene, 0, kY).keys = {key(-0.25f, 0)};
    channel(scene, 0, kZ).keys = {key(2, 0)};
    computeJointChannels(scene);
    const Vec3 p = scene.joints[0].framePositions[0];
    EXPECT_EQ(p.x, 3.0f);
    EXPECT_EQ(p.y, -0.5f);
    EXPECT_EQ(p.z, -4.0f);
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
    const float expected[3][3] = {
        {57.2957763671875f, -84.27042388916016f, -57.2957763671875f}, // pitch 5.729578 - 90
        {147.2957763671875f, 5.729578018188477f, -57.2957763671875f}, // heading + 90
        {57.2957763671875f, 5.729578018188477f, -57.2957763671875f},
    };
    for (std::size_t j = 0; j < 3; ++j) {
        SCOPED_TRACE(j);
        const Vec3 a = scene.joints[j].frameAngles[0];
        EXPECT_EQ(a.x, expected[j][0]);
        EXPECT_EQ(a.y, expected[j][1]);
        EXPECT_EQ(a.z, expected[j][2]);
    }
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

void expectBox(const FrameBounds& box, const Vec3& min, const Vec3& max)
{
    EXPECT_EQ(box.min.x, min.x);
    EXPECT_EQ(box.min.y, min.y);
    EXPECT_EQ(box.min.z, min.z);
    EXPECT_EQ(box.max.x, max.x);
    EXPECT_EQ(box.max.y, max.y);
    EXPECT_EQ(box.max.z, max.z);
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
    for (Joint& joint : scene.joints) {
        joint.frameAngles.assign(2, Vec3{});
        joint.framePositions.assign(2, Vec3{});
    }
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

class ThreadSetting {
public:
    explicit ThreadSetting(const char* value)
    {
        if (const char* old = std::getenv("LWMD5_THREADS")) previous_ = old;
        setenv("LWMD5_THREADS", value, 1);
    }
    ~ThreadSetting()
    {
        if (previous_) {
            setenv("LWMD5_THREADS", previous_->c_str(), 1);
        } else {
            unsetenv("LWMD5_THREADS");
        }
    }

private:
    std::optional<std::string> previous_;
};

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
    std::vector<std::vector<Md5Weight>> weights(40);
    for (std::vector<Md5Weight>& w : weights) {
        for (int j = 0; j < 3; ++j) {
            w.push_back(Md5Weight{static_cast<std::int32_t>(random() % 4), 0.5f + 0.25f * unit(random),
                                  {unit(random), unit(random), unit(random)}});
        }
    }
    scene.outputMeshes.push_back(meshWithWeights(weights));

    const ThreadSetting setting(threads);
    computeJointChannels(scene);
    computeFrameBounds(scene);
    std::vector<std::uint32_t> result;
    for (const Joint& joint : scene.joints) {
        for (std::size_t k = 0; k < joint.framePositions.size(); ++k) {
            for (const float v : {joint.framePositions[k].x, joint.framePositions[k].y, joint.framePositions[k].z,
                                  joint.frameAngles[k].x, joint.frameAngles[k].y, joint.frameAngles[k].z,
                                  joint.frameOrientations[k].x, joint.frameOrientations[k].y,
                                  joint.frameOrientations[k].z, joint.frameOrientations[k].w}) {
                result.push_back(bits(v));
            }
        }
    }
    for (const FrameBounds& box : scene.frameBounds) {
        for (const float v : {box.min.x, box.min.y, box.min.z, box.max.x, box.max.y, box.max.z}) {
            result.push_back(bits(v));
        }
    }
    return result;
}

TEST(FrameStages, OneThreadAndTwoThreadsGiveTheSameBits)
{
    const std::vector<std::uint32_t> one = computedBits("1");
    const std::vector<std::uint32_t> two = computedBits("2");
    ASSERT_EQ(one.size(), 4u * 308u * 10u + 308u * 6u);
    EXPECT_TRUE(one == two);
}

} // namespace
} // namespace lwmd5
