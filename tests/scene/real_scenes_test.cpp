#include "scene/scene_reader.h"

#include "support/capture_reporter.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace lwmd5 {
namespace {

using lwmd5::testing::CaptureReporter;

// Scenes written by LightWave and other tools; LF line ends throughout.
std::filesystem::path scenesDir()
{
    const std::filesystem::path data = lwmd5::testing::realDataDir();
    return data.empty() ? data : data / "scenes";
}

#define SKIP_WITHOUT_REAL_DATA()                                                                  \
    if (scenesDir().empty()) GTEST_SKIP() << "../shared/realdata is absent; real scenes not tested"

TEST(RealScenes, ObjectOnlyScenesGiveTheirFrameRangeAndNoItems)
{
    SKIP_WITHOUT_REAL_DATA();
    const std::pair<const char*, int> cases[] = {
        {"move_x.lws", 60}, {"move_x_post_linear.lws", 120}, {"move_x_post_offset_repeat.lws", 120},
        {"move_x_post_repeat.lws", 120}, {"move_xz_hermite.lws", 120}, {"move_xz_stepped.lws", 120},
    };
    for (const auto& [file, lastFrame] : cases) {
        SCOPED_TRACE(file);
        Scene scene;
        CaptureReporter report;
        ASSERT_TRUE(readScene((scenesDir() / file).string(), scene, report));
        EXPECT_EQ(scene.firstFrame, 0);
        EXPECT_EQ(scene.lastFrame, lastFrame);
        EXPECT_EQ(scene.frameStep, 1);
        EXPECT_EQ(scene.framesPerSecond, 30);
        EXPECT_TRUE(scene.bones.empty());
        EXPECT_TRUE(scene.nullObjects.empty());
        EXPECT_TRUE(report.events.empty());
    }
}

// The object's channel block of a real scene, read into a bone by placing an
// AddBone line before it: real key lines through the channel reader.
TEST(RealScenes, RealKeyLinesReadIntoABone)
{
    SKIP_WITHOUT_REAL_DATA();
    for (const char* file : {"move_xz_hermite.lws", "move_y_pre_ofrep_post_osc.lws"}) {
        SCOPED_TRACE(file);
        std::string text = lwmd5::testing::readFile(scenesDir() / file);
        const std::size_t motion = text.find("\nObjectMotion\n");
        ASSERT_NE(motion, std::string::npos);
        text.insert(motion + 1, "AddBone\n");
        Scene scene;
        CaptureReporter report;
        parseScene(text, scene, SceneFlavour::Full, report, file);
        EXPECT_TRUE(report.events.empty());
        ASSERT_EQ(scene.bones.size(), 1u);
        const Channels& c = scene.bones[0].channels;
        if (std::string(file) == "move_xz_hermite.lws") {
            ASSERT_EQ(c[0].keys.size(), 3u);
            const EnvelopeKey& k = c[0].keys[1];
            EXPECT_EQ(k.value, 1.924918483918713f);
            EXPECT_EQ(k.time, 0.66666666666666663f);
            EXPECT_EQ(k.shape, 1);
            EXPECT_EQ(k.params[0], -0.17433448632558185f);
            EXPECT_EQ(k.params[1], -0.3486689726511637f);
            EXPECT_EQ(k.params[2], 0.0f);
            EXPECT_EQ(c[0].keys[2].time, 2.0f);
            EXPECT_EQ(c[1].keys.size(), 1u);
            ASSERT_EQ(c[2].keys.size(), 3u);
            EXPECT_EQ(c[2].keys[2].params[0], 2.5416503021393155f);
            EXPECT_EQ(c[0].preBehavior, 1);
            EXPECT_EQ(c[0].postBehavior, 1);
        } else {
            EXPECT_EQ(scene.firstFrame, -240);
            EXPECT_EQ(scene.lastFrame, 240);
            EXPECT_EQ(c[0].preBehavior, 0);
            EXPECT_EQ(c[0].postBehavior, 3);
            ASSERT_EQ(c[1].keys.size(), 3u);
            EXPECT_EQ(c[1].keys[1].params[0], 0.58182278100182028f);
            EXPECT_EQ(c[1].keys[2].value, 0.98909872770309448f);
            EXPECT_EQ(c[1].keys[2].time, 1.7f);
            EXPECT_EQ(c[1].preBehavior, 4);
            EXPECT_EQ(c[1].postBehavior, 3);
        }
    }
}

TEST(RealScenes, NullObjectsWithTheirParentsAndChannels)
{
    SKIP_WITHOUT_REAL_DATA();
    const std::string path = (scenesDir() / "nulls_quickdraw_v3.lws").string();
    Scene scene;
    CaptureReporter report;
    ASSERT_TRUE(readScene(path, scene, report));
    EXPECT_TRUE(report.events.empty());
    EXPECT_EQ(scene.lastFrame, 30);
    EXPECT_EQ(scene.framesPerSecond, 30);
    EXPECT_TRUE(scene.bones.empty());
    struct Expected {
        const char* name;
        std::uint32_t parentItem;
        std::size_t keys;  // in every channel
        float positionY;   // channel 1, first key
    };
    // The MASTER handle has no ParentItem of its own before the next null
    // object is added; the last ParentItem of the file belongs to an object
    // layer and reaches no null object.
    const Expected expected[] = {
        {"Quick Draw -- magnet -- Portals", 0x10000003u, 2, 1.92f},
        {"Quick Draw -- magnet -- Pod-Gun", 0x10000009u, 2, 3.329999f},
        {"Quick Draw -- magnet -- Pod Lid", 0x10000008u, 2, 3.5599999f},
        {"Quick Draw -- magnet -- Arm", 0x10000006u, 2, 3.999999f},
        {"Quick Draw == HANDLE == MASTER", 0u, 1, 0.0f},
        {"Quick Draw == HANDLE == Portals", 0x1000000Eu, 1, 1.92f},
        {"Quick Draw == HANDLE == Pod-Gun", 0x1000000Eu, 1, 3.329999f},
        {"Quick Draw == HANDLE == Pod Lid", 0x1000000Eu, 2, 3.5599999f},
        {"Quick Draw == HANDLE == Arm", 0x1000000Eu, 1, 3.999999f},
    };
    ASSERT_EQ(scene.nullObjects.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const NullObject& null = scene.nullObjects[i];
        SCOPED_TRACE(null.name);
        EXPECT_EQ(null.name, expected[i].name);
        EXPECT_EQ(null.parentItem, expected[i].parentItem);
        for (const Envelope& channel : null.channels) {
            EXPECT_EQ(channel.keys.size(), expected[i].keys);
            EXPECT_EQ(channel.preBehavior, 1);
            EXPECT_EQ(channel.postBehavior, 1);
        }
        EXPECT_EQ(null.channels[1].keys.at(0).value, expected[i].positionY);
        EXPECT_EQ(null.channels[8].keys.at(0).value, 1.0f); // scale z
    }
    // The Pod Lid handle's one moving key.
    const EnvelopeKey& moved = scene.nullObjects[7].channels[1].keys.at(1);
    EXPECT_EQ(moved.value, 8.4000015f);
    EXPECT_EQ(moved.time, 1.0f);
    EXPECT_EQ(moved.params[0], 4.8386574f);

    // meshconv's reader sees none of it.
    Scene bonesOnly;
    ASSERT_TRUE(readSceneBones(path, bonesOnly, report));
    EXPECT_TRUE(bonesOnly.nullObjects.empty());
    EXPECT_TRUE(bonesOnly.bones.empty());
    EXPECT_EQ(bonesOnly.lastFrame, 0);
}

} // namespace
} // namespace lwmd5
