#include "app/pipelines.h"
#include "app/validation.h"
#include "lwo_builder.h"
#include "object/lwo_reader.h"
#include "scene/scene_reader.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/invariants.h"
#include "support/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

const char kBanner[] = "lw to md5anim converter by Tarvel, v0.1\n\n";

fs::path examplePath(const std::string& name)
{
    return sourceDir() / "examples" / name;
}

// Engines recover w = -sqrt(1 - x² - y² - z²) from the six printed decimals
// of x, y and z. Near a half turn w is close to 0 and that loses it: with
// 1 - x² - y² - z² off by 1e-6, w comes out up to 1e-3 away, which turns a
// joint by 2e-3 radians. An exact half turn about an axis prints exactly (its
// sum is exactly 1). The checks below hold to 1e-4 only for files free of
// near half turns, which the example's rig is built to be.
bool wellConditioned(const Md5Vec& q)
{
    const double t = 1.0 - q.x * q.x - q.y * q.y - q.z * q.z;
    return t == 0.0 || t > 0.01;
}

struct BoundsCheck {
    double outside = 0.0; // how far the farthest posed vertex lies outside its frame's box
    double loose = 0.0;   // how far the box reaches beyond the posed vertices
};

// Poses the md5mesh with every frame of the md5anim the way engines do and
// measures each posed vertex, taken relative to joint 0, against that
// frame's bounds line.
BoundsCheck checkBounds(const Md5MeshFile& mesh, const Md5AnimFile& anim)
{
    BoundsCheck result;
    for (std::size_t k = 0; k < anim.frames.size(); ++k) {
        const std::vector<PosedJoint> pose = animationPose(anim, k);
        const std::vector<Md5Vec> vertices = skinVertices(mesh.meshes.at(0), pose);
        const Md5Vec root = pose.at(0).position;
        const Md5Bounds& box = anim.bounds[k];
        const double min[3] = {box.min.x, box.min.y, box.min.z};
        const double max[3] = {box.max.x, box.max.y, box.max.z};
        double lo[3] = {1e30, 1e30, 1e30};
        double hi[3] = {-1e30, -1e30, -1e30};
        for (const Md5Vec& v : vertices) {
            const double p[3] = {v.x - root.x, v.y - root.y, v.z - root.z};
            for (int a = 0; a < 3; ++a) {
                result.outside = std::max({result.outside, min[a] - p[a], p[a] - max[a]});
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        }
        for (int a = 0; a < 3; ++a) result.loose = std::max({result.loose, lo[a] - min[a], max[a] - hi[a]});
    }
    return result;
}

TEST(AnimconvExample, WritesTheCommittedFileWhoseBoundsHoldThePosedMesh)
{
    TempDir dir;
    for (const char* name : {"character.lws", "character.lwo"}) fs::copy_file(examplePath(name), dir / name);
    const ProgramResult mesh = runProgram(meshconvPath(), {"character.lws", "character.lwo"}, dir.path(), "meshconv");
    const ProgramResult run = runProgram(animconvPath(), {"character.lws", "character.lwo"}, dir.path(), "animconv");
    EXPECT_EQ(mesh.exitStatus, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, platformText(kBanner));
    // The same object read the same way: the same debug lines.
#ifndef _WIN32
    EXPECT_FALSE(mesh.err.empty()); // the debug lines; Windows sends them to the debugger
#endif
    EXPECT_EQ(run.err, mesh.err);
    const std::string written = readFile(dir / "character.md5anim");
    const std::string committed = platformText(readFile(examplePath("character.md5anim")));
    EXPECT_TRUE(written == committed) << firstDifference(written, committed);

    Md5MeshFile md5mesh;
    Md5AnimFile md5anim;
    std::string error;
    ASSERT_TRUE(readMd5Mesh(readFile(dir / "character.md5mesh"), md5mesh, error)) << error;
    ASSERT_TRUE(readMd5Anim(written, md5anim, error)) << error;
    EXPECT_EQ(md5anim.frames.size(), 61u); // frames 0 to 60
    EXPECT_EQ(md5anim.frameRate, 30);
    ASSERT_EQ(md5anim.hierarchy.size(), md5mesh.joints.size());
    for (std::size_t j = 0; j < md5mesh.joints.size(); ++j) {
        EXPECT_EQ(md5anim.hierarchy[j].name, md5mesh.joints[j].name);
        EXPECT_EQ(md5anim.hierarchy[j].parent, md5mesh.joints[j].parent);
        EXPECT_EQ(md5anim.hierarchy[j].flags, 63);
        EXPECT_EQ(md5anim.hierarchy[j].startIndex, static_cast<int>(6 * j));
        const Md5FileJoint& base = md5anim.baseframe[j];
        const std::vector<double> first(md5anim.frames[0].begin() + static_cast<std::ptrdiff_t>(6 * j),
                                        md5anim.frames[0].begin() + static_cast<std::ptrdiff_t>(6 * j + 6));
        EXPECT_EQ(first, (std::vector<double>{base.position.x, base.position.y, base.position.z, base.orientation.x,
                                              base.orientation.y, base.orientation.z}));
    }
    int illConditioned = 0;
    for (const Md5FileJoint& joint : md5mesh.joints) illConditioned += wellConditioned(joint.orientation) ? 0 : 1;
    for (const std::vector<double>& frame : md5anim.frames) {
        for (std::size_t i = 3; i < frame.size(); i += 6) {
            illConditioned += wellConditioned({frame[i], frame[i + 1], frame[i + 2]}) ? 0 : 1;
        }
    }
    EXPECT_EQ(illConditioned, 0);
    // The box is the posed mesh's, so it holds every vertex and touches the
    // outermost ones, up to the six decimals of the printed numbers.
    const BoundsCheck bounds = checkBounds(md5mesh, md5anim);
    EXPECT_LT(bounds.outside, 1e-4);
    EXPECT_LT(bounds.loose, 1e-4);
}

TEST(ExamplePipelines, StagesOfBothProgramsLeaveTheSceneConsistent)
{
    const std::string bytes = readFile(examplePath("character.lwo"));
    for (const bool animation : {false, true}) {
        SCOPED_TRACE(animation ? "animconv" : "meshconv");
        Scene scene;
        CaptureReporter report;
        parseScene(readFile(examplePath("character.lws")), scene, animation ? SceneFlavour::Full : SceneFlavour::BonesOnly,
                   report, "character.lws");
        ASSERT_TRUE(parseLwoObject({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, scene.object,
                                   report, "character.lwo"));
        ASSERT_TRUE(validateInputs(scene, {"character.lws", "character.lwo", animation}, report));
        animation ? convertAnimation(scene, report) : convertMesh(scene, report);
        EXPECT_EQ(sceneInvariantViolations(scene), std::vector<std::string>{});
        EXPECT_EQ(scene.frameBounds.size(), animation ? 61u : 0u);
        EXPECT_EQ(report.count(CaptureReporter::Event::Warning) + report.count(CaptureReporter::Event::Error), 0u);
    }
}

// One root bone over one triangle, its position x keyed linearly from 0 at
// 0 s to 1 at 1 s, sampled at frames 0 to 2 at 2 frames per second. Worked
// by hand: with zero channels the root's pitch becomes -90, which the z
// mirror turns into the bind turn of +90 about x, so every frame's
// quaternion prints -0.707107 0 0; z is the negated channel value, -0; each
// frame poses the triangle at its bind positions (1, 3, 2), (0, 0, 0),
// (0, 0, 1) moved by the root, so every bounds line relative to the root
// is (0 0 0) (1 3 2).
std::string oneBoneScene(int firstFrame, int lastFrame, int framesPerSecond)
{
    BoneSpec root{"root", "root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
    root.channels[0].keys = {KeySpec{0.0f, 0.0f, 3}, KeySpec{1.0f, 1.0f, 3}};
    return SceneTextBuilder().header(firstFrame, lastFrame, framesPerSecond, "tri.lwo").bone(root).text();
}

Bytes oneBoneObject()
{
    return form("LWO2", {pntsChunk({{1, 2, 3}, {0, 0, 0}, {0, 1, 0}}), uvMapChunk("uv", {{0, 0.25f, 0.25f}}),
                         weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 2}}), polsChunk({{0, 1, 2}}), surfChunk("skin")});
}

std::string oneBoneAnim()
{
    std::string text = "MD5Version 10\ncommandline \"\"\n\nnumFrames 3\nnumJoints 1\nframeRate 2\n"
                       "numAnimatedComponents 6\n\nhierarchy {\n\t\"root\"\t-1 63 0\t// \n}\n\nbounds {\n";
    for (int k = 0; k < 3; ++k) text += "\t( 0.000000 0.000000 0.000000 ) ( 1.000000 3.000000 2.000000 )\n";
    text += "}\n\nbaseframe {\n\t( 0.000000 0.000000 -0.000000 ) ( -0.707107 0.000000 0.000000 )\n}\n\n";
    const char* x[3] = {"0.000000", "0.500000", "1.000000"};
    for (int k = 0; k < 3; ++k) {
        text += "frame " + std::to_string(k) + " {\n\t" + x[k] + " 0.000000 -0.000000 -0.707107 0.000000 0.000000\n}\n\n";
    }
    return text;
}

TEST(AnimconvRuns, OneBoneExactBytesAndTheFrameSettingsThatStopARun)
{
    struct Case {
        const char* what;
        std::string scene;
        int status;
        std::string error; // a word the one stderr line after the debug lines must hold; "" for none
    };
    const Case cases[] = {
        {"one bone", oneBoneScene(0, 2, 2), 0, ""},
        {"frame rate 0", oneBoneScene(0, 2, 0), 1, "FramesPerSecond"},
        {"last frame before the first", oneBoneScene(5, 2, 2), 1, "PreviewLastFrame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("tri.lws", c.scene);
        dir.write("tri.lwo", oneBoneObject());
        const ProgramResult run = runProgram(animconvPath(), {"tri.lws", "tri.lwo"}, dir.path(), "animconv");
        EXPECT_EQ(run.exitStatus, c.status);
        EXPECT_EQ(run.out, platformText(kBanner));
        std::string expectedErr;
#ifndef _WIN32
        expectedErr = "Mesh: 1\tUVs:1/1\nMesh: 1\tWs:3/3\n";
#endif
        if (c.error.empty()) {
            EXPECT_EQ(run.err, platformText(expectedErr));
            const std::string written = readFile(dir / "tri.md5anim");
            EXPECT_TRUE(written == platformText(oneBoneAnim())) << firstDifference(written, oneBoneAnim());
            continue;
        }
        ASSERT_EQ(run.err.rfind(platformText(expectedErr + "animconv: tri.lws: "), 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), std::count(expectedErr.begin(), expectedErr.end(), '\n') + 1);
        EXPECT_FALSE(fs::exists(dir / "tri.md5anim"));
    }
}

TEST(Md5Reader, RejectsAnimationsEnginesRefuse)
{
    const std::string valid = oneBoneAnim();
    Md5AnimFile anim;
    std::string error;
    ASSERT_TRUE(readMd5Anim(valid, anim, error)) << error;
    struct Damage {
        const char* from;
        const char* to;
        const char* reason;
    };
    const Damage damages[] = {
        {"MD5Version 10", "MD5Version 9", "not 10"},
        {"numAnimatedComponents 6", "numAnimatedComponents 12", "6 x numJoints"},
        {"numFrames 3", "numFrames 4", "expected '('"},
        {"frame 1 {", "frame 2 {", "frame 2 where 1 belongs"},
        {"-1 63 0", "0 63 0", "does not come before"},
        {"-1 63 0", "-1 63 1", "outside a frame"},
        {"\t1.000000 0.000000 -0.000000 -0.707107 0.000000 0.000000", "\t1.000000 0.000000 -0.000000 -0.707107 0.0",
         "'}' is not a finite number"},
    };
    for (const Damage& d : damages) {
        std::string text = valid;
        const std::size_t at = text.find(d.from);
        ASSERT_NE(at, std::string::npos) << d.from;
        text.replace(at, std::string(d.from).size(), d.to);
        EXPECT_FALSE(readMd5Anim(text, anim, error)) << d.to;
        EXPECT_NE(error.find(d.reason), std::string::npos) << d.to << ": " << error;
    }
}

} // namespace
} // namespace lwmd5
