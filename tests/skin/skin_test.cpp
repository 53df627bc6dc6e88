#include "app/validation.h"
#include "skin/skeleton.h"
#include "support/capture_reporter.h"

#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using testing::CaptureReporter;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr float kCos90 = -4.371139e-8f;
constexpr float kTwiceCos90 = -8.742278e-8f;
constexpr std::uint32_t kNoParent = 0;

std::uint32_t parentBone(std::uint32_t number) { return kParentIsBone | (number << 16); }

Bone bone(const std::string& name, std::uint32_t parentItem, Vec3 position = {}, Vec3 direction = {})
{
    Bone b;
    b.name = name;
    b.parentItem = parentItem;
    b.restPosition = position;
    b.restDirection = direction;
    b.weightMapName = "map of " + name;
    return b;
}

Scene sceneOf(std::vector<Bone> bones, float scale = 1.0f)
{
    Scene scene;
    scene.bones = std::move(bones);
    scene.scaleFactor = scale;
    return scene;
}

RunInputs inputsFor(const std::string& scenePath)
{
    RunInputs inputs;
    inputs.scenePath = scenePath;
    inputs.objectPath = "object.lwo";
    return inputs;
}

void buildSkeleton(Scene& scene)
{
    buildJoints(scene);
    orderJoints(scene);
    computeBindTransforms(scene);
}

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// Exact values; the sign of a zero is checked only where it is given as -0.
void expectRows(const Transform& m, const std::array<float, 9>& rows)
{
    for (int i = 0; i < 9; ++i) {
        const float expected = rows[static_cast<std::size_t>(i)];
        const float actual = m.m[i / 3][i % 3];
        EXPECT_EQ(actual, expected) << "m" << i / 3 << i % 3;
        if (bits(expected) == bits(-0.0f)) {
            EXPECT_TRUE(std::signbit(actual)) << "m" << i / 3 << i % 3 << " is +0";
        }
    }
}

void expectVec(const Vec3& v, const Vec3& expected)
{
    EXPECT_EQ(v.x, expected.x);
    EXPECT_EQ(v.y, expected.y);
    EXPECT_EQ(v.z, expected.z);
}

std::vector<std::string> jointNames(const Scene& scene)
{
    std::vector<std::string> names;
    for (const Joint& joint : scene.joints) names.push_back(joint.name);
    return names;
}

TEST(BuildJoints, RestPositionIsScaledWithZNegatedAfterRounding)
{
    struct Case {
        float scale;
        Vec3 position;
        Vec3 expected;
    };
    const Case cases[] = {
        {1.0f, {1, 2, 3}, {1, 2, -3}},
        {2.0f, {1, 2, 3}, {2, 4, -6}},
        {1.0f, {0, 0, 0}, {0, 0, -0.0f}},
    };
    for (const Case& c : cases) {
        Scene scene = sceneOf({bone("root", kNoParent, c.position)}, c.scale);
        buildJoints(scene);
        ASSERT_EQ(scene.joints.size(), 1u);
        const Joint& joint = scene.joints[0];
        EXPECT_EQ(bits(joint.restPosition.x), bits(c.expected.x));
        EXPECT_EQ(bits(joint.restPosition.y), bits(c.expected.y));
        EXPECT_EQ(bits(joint.restPosition.z), bits(c.expected.z));
        EXPECT_EQ(joint.name, "root");
        EXPECT_EQ(joint.weightMapName, "map of root");
        // A rest direction of 0 0 0 is the identity with the mirror's -0s.
        expectRows(joint.restRotation, {1, 0, -0.0f, 0, 1, -0.0f, -0.0f, -0.0f, 1});
        EXPECT_EQ(bits(joint.restRotation.m[0][1]), 0u);
        EXPECT_EQ(bits(joint.restRotation.m[1][0]), 0u);
    }
}

TEST(BuildJoints, ParentNameComesFromTheBoneNumberOfAParentItemThatMarksABone)
{
    struct Case {
        std::uint32_t parentItem;
        const char* parentName;
    };
    const Case cases[] = {
        {kNoParent, ""},
        {parentBone(0), "A"},
        {parentBone(1), "B"},
        {kParentIsObject, ""},              // the object
        {kParentIsObject | (1u << 16), ""}, // bits 16-27 set, but no bone flag
        {parentBone(40), ""},               // beyond the bone list
        {parentBone(0xFFF), ""},
        {parentBone(1) | kParentIsObject | 0xFFFu, "B"}, // only bits 16-27 count
        {0x40000002u, "A"},                              // low bits are no bone number
    };
    std::vector<Bone> bones = {bone("A", kNoParent), bone("B", parentBone(0))};
    for (const Case& c : cases) bones.push_back(bone("X", c.parentItem));
    Scene scene = sceneOf(bones);
    buildJoints(scene);
    ASSERT_EQ(scene.joints.size(), bones.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(::testing::Message() << std::hex << cases[i].parentItem);
        EXPECT_EQ(scene.joints[i + 2].parentName, cases[i].parentName);
    }
}

TEST(BindTransforms, RootsTurnBy90AboutXBeforeTheirRestTransform)
{
    // Root at the origin and a child one unit along the scene's z.
    Scene flat = sceneOf({bone("root", kNoParent), bone("child", parentBone(0), {0, 0, 1})});
    buildSkeleton(flat);
    expectRows(flat.joints[0].bindTransform, {1, 0, 0, 0, kCos90, 1, 0, -1, kCos90});
    expectVec(flat.joints[0].bindTransform.t, {0, 0, 0});
    expectVec(flat.joints[1].bindTransform.t, {0, 1, 4.371139e-8f});

    // Pitch -90: the scene's up axis becomes z.
    Scene pitched = sceneOf({bone("root", kNoParent, {}, {0, -90, 0}), bone("child", parentBone(0), {0, 0, 1})});
    buildSkeleton(pitched);
    expectRows(pitched.joints[0].restRotation, {1, 0, 0, 0, kCos90, 1, 0, -1, kCos90});
    expectRows(pitched.joints[0].bindTransform, {1, 0, 0, 0, -1, kTwiceCos90, 0, -kTwiceCos90, -1});
    expectVec(pitched.joints[1].bindTransform.t, {0, kTwiceCos90, 1});

    // The root's translation is its rest position, not turned.
    Scene shifted = sceneOf({bone("root", kNoParent, {1, 2, 3})});
    buildSkeleton(shifted);
    expectVec(shifted.joints[0].bindTransform.t, {1, 2, -3});
    expectVec(shifted.joints[0].inverseBindTransform.t, {-1, 3, 1.9999999f});

    // Upright root, standing at the scene's (0, 1, 0).
    Scene upright = sceneOf({bone("root", kNoParent, {0, 1, 0}, {0, -90, 0}), bone("child", parentBone(0), {0, 0, 1})});
    buildSkeleton(upright);
    expectRows(upright.joints[0].bindTransform, {1, 0, 0, 0, -1, kTwiceCos90, 0, -kTwiceCos90, -1});
    expectVec(upright.joints[0].bindTransform.t, {0, 1, 0});
    expectVec(upright.joints[1].bindTransform.t, {0, 0.99999994f, 1});
    EXPECT_EQ(upright.joints[1].parentIndex, 0);
}

TEST(OrderJoints, MovesEveryParentBeforeItsChildren)
{
    struct Case {
        const char* name;
        std::vector<Bone> bones;
        std::vector<std::string> order;
        std::vector<int> parents;
    };
    const Case cases[] = {
        {"child first", {bone("B", parentBone(1)), bone("A", kNoParent)}, {"A", "B"}, {-1, 0}},
        {"chain in reverse",
         {bone("C", parentBone(1)), bone("B", parentBone(2)), bone("A", kNoParent)},
         {"A", "B", "C"},
         {-1, 0, 1}},
        {"already in order", {bone("A", kNoParent), bone("B", parentBone(0)), bone("C", parentBone(1))},
         {"A", "B", "C"}, {-1, 0, 1}},
        // D under B under R, E under D; the exchanges at index 0 pull B, then R.
        {"branch listed out of order",
         {bone("D", parentBone(2)), bone("R", kNoParent), bone("B", parentBone(1)), bone("E", parentBone(0))},
         {"R", "B", "D", "E"},
         {-1, 0, 1, 2}},
        // Both roots named A: C names the second one and is attached to the first.
        {"duplicate names: the first match wins",
         {bone("C", parentBone(2)), bone("A", kNoParent, {1, 0, 0}), bone("A", kNoParent, {2, 0, 0})},
         {"A", "C", "A"},
         {-1, 0, -1}},
        // Pulling A's parent Q forward leaves the first A behind D, so D pulls it again.
        {"duplicate names: the first match changes as records move",
         {bone("D", parentBone(1)), bone("A", parentBone(2)), bone("Q", kNoParent), bone("A", kNoParent)},
         {"Q", "A", "D", "A"},
         {-1, 0, 1, -1}},
        // B C E D B by parent names goes round twice through the first B,
        // until the second B, a root, moves up and the exchanges end.
        {"duplicate names: more exchanges at one index than bones, yet no cycle",
         {bone("B", parentBone(1)), bone("C", parentBone(2)), bone("E", parentBone(4)), bone("B", kNoParent),
          bone("D", parentBone(3))},
         {"B", "D", "E", "C", "B"},
         {-1, 0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene = sceneOf(c.bones);
        scene.object.meshes.emplace_back();
        CaptureReporter report;
        EXPECT_TRUE(validateInputs(scene, inputsFor("s.lws"), report));
        EXPECT_EQ(report.count(CaptureReporter::Event::Error), 0u);
        buildSkeleton(scene);
        EXPECT_EQ(jointNames(scene), c.order);
        for (std::size_t i = 0; i < scene.joints.size(); ++i) {
            const Joint& joint = scene.joints[i];
            EXPECT_EQ(joint.parentIndex, c.parents[i]) << joint.name;
            // The whole record moved: the bone it was built from and its pose.
            const Bone& source = scene.bones[static_cast<std::size_t>(joint.bone)];
            EXPECT_EQ(source.name, joint.name);
            EXPECT_EQ(joint.restPosition.x, source.restPosition.x);
        }
    }
}

TEST(FindJoint, MatchesWholeNamesByteForByteAndAnswersTheFirst)
{
    Scene scene = sceneOf({bone("Arm", kNoParent), bone("arm", kNoParent), bone("Arm", kNoParent), bone("", kNoParent)});
    buildJoints(scene);
    EXPECT_EQ(findJoint(scene.joints, "Arm"), 0);
    EXPECT_EQ(findJoint(scene.joints, "arm"), 1);
    EXPECT_EQ(findJoint(scene.joints, "ARM"), -1);
    EXPECT_EQ(findJoint(scene.joints, "Ar"), -1);
    EXPECT_EQ(findJoint(scene.joints, ""), 3);
    scene.joints.pop_back();
    EXPECT_EQ(findJoint(scene.joints, ""), -1);
}

TEST(SkeletonChecks, SelfParentBecomesARootWithAWarning)
{
    Scene scene = sceneOf({bone("A", parentBone(0)), bone("B", parentBone(0), {0, 0, 1})});
    buildSkeleton(scene);
    EXPECT_EQ(jointNames(scene), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(scene.joints[0].parentIndex, -1);
    expectRows(scene.joints[0].bindTransform, {1, 0, 0, 0, kCos90, 1, 0, -1, kCos90});
    EXPECT_EQ(scene.joints[1].parentIndex, 0);
    expectVec(scene.joints[1].bindTransform.t, {0, 1, 4.371139e-8f});

    CaptureReporter report;
    reportSkeleton(scene, report);
    ASSERT_EQ(report.events.size(), 1u);
    EXPECT_EQ(report.events[0].kind, CaptureReporter::Event::Warning);
    EXPECT_THAT(report.events[0].text, HasSubstr("'A'"));

    // Not a cycle: the run goes on.
    scene.object.meshes.emplace_back();
    CaptureReporter validation;
    EXPECT_TRUE(validateInputs(scene, inputsFor("s.lws"), validation));
    EXPECT_EQ(validation.count(CaptureReporter::Event::Error), 0u);
}

TEST(SkeletonChecks, MoreThanOneRootIsAWarning)
{
    Scene one = sceneOf({bone("A", kNoParent), bone("B", parentBone(0))});
    buildSkeleton(one);
    CaptureReporter quiet;
    reportSkeleton(one, quiet);
    EXPECT_TRUE(quiet.events.empty());

    Scene two = sceneOf({bone("A", kNoParent), bone("B", kParentIsObject), bone("C", parentBone(0))});
    buildSkeleton(two);
    CaptureReporter report;
    reportSkeleton(two, report);
    ASSERT_EQ(report.events.size(), 1u);
    EXPECT_EQ(report.events[0].kind, CaptureReporter::Event::Warning);
    EXPECT_THAT(report.events[0].text, HasSubstr("2 root"));
}

TEST(SkeletonChecks, ParentCycleIsReportedWithItsBonesAndOrderingEnds)
{
    struct Case {
        const char* name;
        std::vector<Bone> bones;
        std::vector<std::string> cycle;
        std::vector<std::string> outside;
    };
    const Case cases[] = {
        {"two bones naming each other", {bone("A", parentBone(1)), bone("B", parentBone(0))}, {"A", "B"}, {}},
        // R is a root, D hangs from the cycle A -> B -> C -> A.
        {"three bones, a root and a hanger",
         {bone("R", kNoParent), bone("D", parentBone(2)), bone("A", parentBone(3)), bone("B", parentBone(4)),
          bone("C", parentBone(2))},
         {"A", "B", "C"},
         {"R", "D"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene = sceneOf(c.bones);
        std::vector<std::string> names;
        std::vector<std::string> parents;
        for (const Bone& b : scene.bones) {
            names.push_back(b.name);
            parents.push_back(parentBoneName(scene.bones, b));
        }
        const JointOrder plan = planJointOrder(names, parents);
        std::vector<std::string> cycle;
        for (const int record : plan.cycle) cycle.push_back(names[static_cast<std::size_t>(record)]);
        std::sort(cycle.begin(), cycle.end());
        EXPECT_EQ(cycle, c.cycle);

        CaptureReporter report;
        EXPECT_FALSE(validateInputs(scene, inputsFor("walk.lws"), report));
        ASSERT_EQ(report.events.size(), 1u);
        EXPECT_EQ(report.events[0].kind, CaptureReporter::Event::Error);
        EXPECT_THAT(report.events[0].text, HasSubstr("walk.lws"));
        for (const std::string& name : c.cycle) EXPECT_THAT(report.events[0].text, HasSubstr("'" + name + "'"));
        for (const std::string& name : c.outside) EXPECT_THAT(report.events[0].text, Not(HasSubstr("'" + name + "'")));

        // The stage itself must come back, with every record still there once.
        buildJoints(scene);
        orderJoints(scene);
        std::vector<std::string> ordered = jointNames(scene);
        std::sort(ordered.begin(), ordered.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(ordered, names);
    }
}

TEST(SkeletonChecks, SceneWithoutBonesStopsTheRun)
{
    Scene scene;
    scene.object.meshes.emplace_back();
    CaptureReporter report;
    EXPECT_FALSE(validateInputs(scene, inputsFor("empty.lws"), report));
    ASSERT_EQ(report.events.size(), 1u);
    EXPECT_EQ(report.events[0].kind, CaptureReporter::Event::Error);
    EXPECT_THAT(report.events[0].text, HasSubstr("empty.lws"));
}

} // namespace
} // namespace lwmd5
