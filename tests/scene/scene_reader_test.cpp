#include "scene/scene_reader.h"

#include "scene_builder.h"
#include "support/capture_reporter.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

using namespace std::string_literals;
using lwmd5::testing::CaptureReporter;
using Kind = CaptureReporter::Event::Kind;

// Lines each ended by CR LF, as LightWave writes them.
std::string text(std::initializer_list<std::string> lines)
{
    std::string result;
    for (const std::string& line : lines) result += line + "\r\n";
    return result;
}

// A channel block: nine channels of one key each, channel c holding the
// value base + c; `first` replaces channel 0 line for line when given.
std::string block(int base = 0, std::initializer_list<std::string> first = {})
{
    std::string result = first.size() > 0 ? text(first) : "";
    for (int c = first.size() > 0 ? 1 : 0; c < 9; ++c) {
        result += text({"Channel " + std::to_string(c), "{ Envelope", "  1",
                        "  Key " + std::to_string(base + c) + " 0 0 0 0 0 0 0 0", "  Behaviors 1 1", "}"});
    }
    return result;
}

// Every field of a key in file order, the shape as a float.
using KeyFields = std::array<float, 10>;
KeyFields fieldsOf(const EnvelopeKey& k)
{
    return {k.value, k.time, static_cast<float>(k.shape), k.tension, k.continuity, k.bias,
            k.params[0], k.params[1], k.params[2], k.params[3]};
}

struct ReaderCase {
    const char* name;
    std::string text;
    std::function<void(const Scene&)> check;
    SceneFlavour flavour = SceneFlavour::Full;
};

void runCases(const std::vector<ReaderCase>& cases)
{
    for (const ReaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        CaptureReporter report;
        parseScene(c.text, scene, c.flavour, report, "case.lws");
        c.check(scene);
        EXPECT_TRUE(report.events.empty());
    }
}

TEST(SceneReader, PendingParentSlot)
{
    runCases({
        {"ParentItem before any item is ignored", text({"ParentItem 40010000", "AddBone", "BoneName a"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).parentItem, 0u); }},
        {"only the first ParentItem after an item counts",
         text({"AddBone", "ParentItem 40000000", "ParentItem 40020000"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).parentItem, 0x40000000u); }},
        {"a bone without its own ParentItem takes the light's",
         text({"AddBone", "ParentItem 10000000", "AddBone", "AddLight", "LightName Light", "ParentItem 40000000",
               "ParentItem 10000000"}),
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).parentItem, 0x10000000u);
             EXPECT_EQ(s.bones.at(1).parentItem, 0x40000000u);
         }},
        {"ParentItem after the bone's channel block still reaches it",
         text({"AddBone", "NumChannels 9"}) + block() + text({"LockedChannels 4095", "ParentItem 4000000a"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).parentItem, 0x4000000Au); }},
        {"a ParentItem without value leaves the slot pending",
         text({"AddBone", "ParentItem", "ParentItem 10000000"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).parentItem, 0x10000000u); }},
        {"an unreadable ParentItem still uses the slot up",
         text({"AddBone", "ParentItem xyz", "ParentItem 10000000"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).parentItem, 0u); }},
        {"a null object takes the slot from the bone before it",
         text({"AddBone", "AddNullObject 1 Null", "ParentItem 10000001"}),
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).parentItem, 0u);
             EXPECT_EQ(s.nullObjects.at(0).parentItem, 0x10000001u);
         }},
        {"bones only: a null object does not take the slot",
         text({"AddBone", "AddNullObject 1 Null", "ParentItem 10000001"}),
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).parentItem, 0x10000001u);
             EXPECT_TRUE(s.nullObjects.empty());
         },
         SceneFlavour::BonesOnly},
    });
}

TEST(SceneReader, ParentIdsReadAsEightHexDigits)
{
    const std::pair<std::string, std::uint32_t> cases[] = {
        {"4001000a", 0x4001000Au},  {"4001000A", 0x4001000Au}, {"123456789", 0x12345678u},
        {" 1000000E", 0x1000000Eu}, {"4001000g", 0x04001000u}, {"7", 7u},
    };
    for (const auto& [value, expected] : cases) {
        Scene scene;
        CaptureReporter report;
        parseScene(text({"AddBone", "ParentItem " + value}), scene, SceneFlavour::Full, report, "case.lws");
        EXPECT_EQ(scene.bones.at(0).parentItem, expected) << value;
    }
}

TEST(SceneReader, KeywordsAndTheirValues)
{
    runCases({
        {"frame settings take the leading integer",
         text({"PreviewFirstFrame -5", "PreviewLastFrame  12abc", "PreviewFrameStep 2", "FramesPerSecond 29.97"}),
         [](const Scene& s) {
             EXPECT_EQ(s.firstFrame, -5);
             EXPECT_EQ(s.lastFrame, 12);
             EXPECT_EQ(s.frameStep, 2);
             EXPECT_EQ(s.framesPerSecond, 29);
         }},
        {"a value that is no number gives 0, a missing value changes nothing",
         text({"FramesPerSecond 30.000000", "PreviewLastFrame 10", "PreviewLastFrame abc", "FramesPerSecond"}),
         [](const Scene& s) {
             EXPECT_EQ(s.framesPerSecond, 30);
             EXPECT_EQ(s.lastFrame, 0);
         }},
        {"bone keywords",
         text({"AddBone 40000000", "BoneName Upper Arm L", "BoneActive 7x", "BoneRestPosition 1 2 3",
               "BoneRestPosition 4 x 6", "BoneRestDirection 10 20.5", "BoneRestLength 2.5cm",
               "BoneWeightMapName  w map "}),
         [](const Scene& s) {
             ASSERT_EQ(s.bones.size(), 1u);
             const Bone& b = s.bones[0];
             EXPECT_EQ(b.name, "Upper Arm L");
             EXPECT_EQ(b.active, 7);
             // A partial parse leaves the later fields as they were.
             EXPECT_EQ(b.restPosition.x, 4.0f);
             EXPECT_EQ(b.restPosition.y, 2.0f);
             EXPECT_EQ(b.restPosition.z, 3.0f);
             EXPECT_EQ(b.restDirection.x, 10.0f);
             EXPECT_EQ(b.restDirection.y, 20.5f);
             EXPECT_EQ(b.restDirection.z, 0.0f);
             EXPECT_EQ(b.restLength, 2.5f);
             EXPECT_EQ(b.weightMapName, " w map ");
         }},
        {"leading-number fields that are no number become 0",
         text({"AddBone", "BoneActive 1", "BoneRestLength 3", "BoneActive abc", "BoneRestLength -"}),
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).active, 0);
             EXPECT_EQ(s.bones.at(0).restLength, 0.0f);
         }},
        {"bone keywords before the first AddBone are ignored",
         text({"BoneName early", "BoneRestPosition 1 2 3", "BoneWeightMapName w", "AddBone"}),
         [](const Scene& s) {
             ASSERT_EQ(s.bones.size(), 1u);
             EXPECT_EQ(s.bones[0].name, "");
             EXPECT_EQ(s.bones[0].restPosition.x, 0.0f);
             EXPECT_EQ(s.bones[0].weightMapName, "");
         }},
        {"bone keywords reach the last bone while a null object is current",
         text({"AddBone", "BoneName a", "AddNullObject 2 N", "BoneName b"}),
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).name, "b"); }},
        {"keywords match exactly and only split at a space",
         text({" AddBone", "addbone", "ADDBONE", "AddBone\t1", "AddBoneX", "AddBone", "BoneName\tx",
               "FramesPerSecond\t30", " FramesPerSecond 30", "framesPerSecond 30", "AddNullObject\tN"}),
         [](const Scene& s) {
             ASSERT_EQ(s.bones.size(), 1u);
             EXPECT_EQ(s.bones[0].name, "");
             EXPECT_EQ(s.framesPerSecond, 0);
             EXPECT_TRUE(s.nullObjects.empty());
         }},
        {"AddNullObject needs a value and keeps all of it as the name",
         text({"AddNullObject", "AddNullObject 1 Null"}),
         [](const Scene& s) {
             ASSERT_EQ(s.nullObjects.size(), 1u);
             EXPECT_EQ(s.nullObjects[0].name, "1 Null");
         }},
    });
}

TEST(SceneReader, ChannelBlocks)
{
    runCases({
        {"nine channels whatever NumChannels says; the next line is a keyword again",
         text({"AddBone", "NumChannels 3"}) + block() + text({"FramesPerSecond 25"}),
         [](const Scene& s) {
             const Channels& c = s.bones.at(0).channels;
             for (int i = 0; i < 9; ++i) EXPECT_EQ(c[i].keys.at(0).value, static_cast<float>(i)) << i;
             EXPECT_EQ(s.framesPerSecond, 25);
         }},
        {"lines inside a block are not keywords",
         text({"AddBone", "NumChannels 9"}) + block(0, {"AddBone", "FramesPerSecond 99", "  0", "  Behaviors 1 1", "}"}),
         [](const Scene& s) {
             EXPECT_EQ(s.bones.size(), 1u);
             EXPECT_EQ(s.framesPerSecond, 0);
         }},
        {"key and behaviour lines are read from fixed columns",
         text({"AddBone", "NumChannels 9"}) +
             block(0, {"Channel 0", "{ Envelope", "  4 keys", "  Key 1.5 2 3 0.25 -0.5 0.75 4 5 6",
                       " Key 7 8 1 0 0 0 0 0 0", "  Ke", "  Key 1 2 3.5 4 5", " Behaviors 12 4", "}"}),
         [](const Scene& s) {
             const Envelope& e = s.bones.at(0).channels[0];
             ASSERT_EQ(e.keys.size(), 4u);
             EXPECT_EQ(fieldsOf(e.keys[0]), (KeyFields{1.5f, 2, 3, 0.25f, -0.5f, 0.75f, 4, 5, 6, 0}));
             // One leading space: the numbers are read one column late.
             EXPECT_EQ(fieldsOf(e.keys[1]), (KeyFields{8, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
             EXPECT_EQ(fieldsOf(e.keys[2]), KeyFields{}); // too short to hold a number
             // %d stops at the point, so the tension reads ".5".
             EXPECT_EQ(fieldsOf(e.keys[3]), (KeyFields{1, 2, 3, 0.5f, 4, 5, 0, 0, 0, 0}));
             EXPECT_EQ(e.preBehavior, 2);
             EXPECT_EQ(e.postBehavior, 4);
         }},
        {"a key count below 1 gives no keys; the behaviour line follows the count",
         text({"AddBone", "NumChannels 9"}) + block(0, {"Channel 0", "{ Envelope", "  -3", "  Behaviors 2 3", "}"}) +
             text({"AddBone", "NumChannels 9"}) + block(0, {"Channel 0", "{ Envelope", "  abc", "  Behaviors 3", "}"}),
         [](const Scene& s) {
             EXPECT_TRUE(s.bones.at(0).channels[0].keys.empty());
             EXPECT_EQ(s.bones[0].channels[0].preBehavior, 2);
             EXPECT_EQ(s.bones[0].channels[0].postBehavior, 3);
             EXPECT_EQ(s.bones[0].channels[8].keys.at(0).value, 8.0f);
             EXPECT_TRUE(s.bones.at(1).channels[0].keys.empty());
             EXPECT_EQ(s.bones[1].channels[0].preBehavior, 3);
             EXPECT_EQ(s.bones[1].channels[0].postBehavior, 0);
         }},
        {"a second NumChannels and one before any item are ignored",
         text({"NumChannels 9"}) + block(20) + text({"AddBone", "NumChannels 9"}) + block(0) +
             text({"NumChannels 9"}) + block(10),
         [](const Scene& s) {
             ASSERT_EQ(s.bones.size(), 1u);
             EXPECT_EQ(s.bones[0].channels[0].keys.size(), 1u);
             EXPECT_EQ(s.bones[0].channels[0].keys[0].value, 0.0f);
         }},
        {"a null object's block goes to the null object",
         text({"AddBone", "AddNullObject 1 N", "NumChannels 9"}) + block(30) + text({"ParentItem 10000000"}),
         [](const Scene& s) {
             EXPECT_TRUE(s.bones.at(0).channels[0].keys.empty());
             const NullObject& n = s.nullObjects.at(0);
             EXPECT_EQ(n.channels[8].keys.at(0).value, 38.0f);
             EXPECT_EQ(n.parentItem, 0x10000000u);
         }},
    });
}

TEST(SceneReader, BonesOnlyFlavourReadsOnlyTheBones)
{
    using namespace lwmd5::authoring;
    BoneSpec root{"root", "skin", {1, 2, 3}, {0, 0, 0}, 1.0f, -1, restChannels(1, 2, 3)};
    const std::string scene = SceneTextBuilder()
                                  .header(2, 5, 24, "x.lwo")
                                  .bone(root)
                                  .line("AddBone")
                                  .line("BoneName orphan")
                                  .nullObject("1 Null", restChannels(7, 8, 9), 0x40000000u)
                                  .text();
    runCases({
        {"full", scene,
         [](const Scene& s) {
             EXPECT_EQ(s.firstFrame, 2);
             EXPECT_EQ(s.lastFrame, 5);
             EXPECT_EQ(s.frameStep, 1);
             EXPECT_EQ(s.framesPerSecond, 24);
             ASSERT_EQ(s.bones.size(), 2u);
             EXPECT_EQ(s.bones[0].parentItem, 0x10000000u);
             EXPECT_EQ(s.bones[0].channels[2].keys.at(0).value, 3.0f);
             EXPECT_EQ(s.bones[1].parentItem, 0u);
             ASSERT_EQ(s.nullObjects.size(), 1u);
             EXPECT_EQ(s.nullObjects[0].parentItem, 0x40000000u);
             EXPECT_EQ(s.nullObjects[0].channels[0].keys.at(0).value, 7.0f);
         }},
        {"bones only", scene,
         [](const Scene& s) {
             EXPECT_EQ(s.firstFrame, 0);
             EXPECT_EQ(s.lastFrame, 0);
             EXPECT_EQ(s.frameStep, 0);
             EXPECT_EQ(s.framesPerSecond, 0);
             ASSERT_EQ(s.bones.size(), 2u);
             EXPECT_EQ(s.bones[0].name, "root");
             EXPECT_EQ(s.bones[0].weightMapName, "skin");
             EXPECT_EQ(s.bones[0].restPosition.z, 3.0f);
             EXPECT_EQ(s.bones[0].parentItem, 0x10000000u);
             for (const Bone& b : s.bones) {
                 for (const Envelope& e : b.channels) EXPECT_TRUE(e.keys.empty());
             }
             EXPECT_EQ(s.bones[1].parentItem, 0x40000000u); // the null's ParentItem
             EXPECT_TRUE(s.nullObjects.empty());
         },
         SceneFlavour::BonesOnly},
    });
}

TEST(SceneReader, LineEndsAndLineContents)
{
    const std::string longName(10000, 'n');
    const std::string longMap(1 << 20, 'w');
    runCases({
        {"a lone CR ends a line and keeps the next character", "AddBone\rBoneName A\rBoneActive 3\r",
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).name, "A");
             EXPECT_EQ(s.bones.at(0).active, 3);
         }},
        {"LF-only file", "AddBone\nBoneName B\n\nBoneActive 4\n",
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).name, "B");
             EXPECT_EQ(s.bones.at(0).active, 4);
         }},
        {"a lone LF in a file with CRs is an ordinary character",
         "AddBone\r\nBoneName B\nC\r\nBoneWeightMapName w\n\r\nFramesPerSecond 30\nPreviewLastFrame 5\r\n",
         [](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).name, "B\nC");
             EXPECT_EQ(s.bones.at(0).weightMapName, "w\n");
             EXPECT_EQ(s.framesPerSecond, 30);
             EXPECT_EQ(s.lastFrame, 0);
         }},
        {"a last line without a line end is ignored (CR LF)", "AddBone\r\nBoneName last",
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).name, ""); }},
        {"a last line without a line end is ignored (LF)", "AddBone\nBoneName last",
         [](const Scene& s) { EXPECT_EQ(s.bones.at(0).name, ""); }},
        {"no line end at all", "AddBone", [](const Scene& s) { EXPECT_TRUE(s.bones.empty()); }},
        {"a NUL byte cuts the line", "AddBone\0junk\r\nBoneName ab\0cd\r\n\0AddBone\r\n"s,
         [](const Scene& s) {
             ASSERT_EQ(s.bones.size(), 1u);
             EXPECT_EQ(s.bones[0].name, "ab");
         }},
        {"no limit on line or name length",
         text({"AddBone", "BoneName " + longName, "BoneWeightMapName " + longMap, "AddNullObject " + longName}),
         [&](const Scene& s) {
             EXPECT_EQ(s.bones.at(0).name, longName);
             EXPECT_EQ(s.bones.at(0).weightMapName.size(), longMap.size());
             EXPECT_EQ(s.nullObjects.at(0).name, longName);
         }},
    });
}

TEST(SceneReader, FileEndingInsideABlockKeepsTheKeysReadAndWarns)
{
    struct Case {
        const char* name;
        std::string tail; // channel 1 of the bone "arm", cut short
        std::size_t keys;
    };
    const Case cases[] = {
        {"cut after two of five keys", text({"Channel 1", "{ Envelope", "  5", "  Key 1 0 0 0 0 0 0 0 0",
                                             "  Key 2 1 0 0 0 0 0 0 0"}),
         2},
        {"cut after the key count", text({"Channel 1", "{ Envelope", "  3"}), 0},
        {"cut before the closing brace", text({"Channel 1", "{ Envelope", "  1", "  Key 1 0 0 0 0 0 0 0 0",
                                              "  Behaviors 1 1"}),
         1},
        // A huge count must not reserve memory the file cannot back.
        {"a count of two thousand million", text({"Channel 1", "{ Envelope", "  2000000000",
                                                  "  Key 1 0 0 0 0 0 0 0 0"}),
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        CaptureReporter report;
        const std::string first = text({"Channel 0", "{ Envelope", "  1", "  Key 9 0 0 0 0 0 0 0 0",
                                        "  Behaviors 2 2", "}"});
        parseScene(text({"AddBone", "BoneName arm", "NumChannels 9"}) + first + c.tail, scene, SceneFlavour::Full,
                   report, "cut.lws");
        ASSERT_EQ(scene.bones.size(), 1u);
        const Channels& channels = scene.bones[0].channels;
        EXPECT_EQ(channels[0].keys.at(0).value, 9.0f);
        EXPECT_EQ(channels[0].preBehavior, 2);
        EXPECT_EQ(channels[1].keys.size(), c.keys);
        for (std::size_t k = 0; k < channels[1].keys.size(); ++k) {
            EXPECT_EQ(channels[1].keys[k].value, static_cast<float>(k + 1));
        }
        EXPECT_LT(channels[1].keys.capacity(), 4096u);
        EXPECT_TRUE(channels[2].keys.empty());
        EXPECT_EQ(report.count(Kind::Error), 0u);
        const std::vector<std::string> warnings = report.texts(Kind::Warning);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("cut.lws"), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("arm"), std::string::npos) << warnings[0];
    }
}

} // namespace
} // namespace lwmd5
