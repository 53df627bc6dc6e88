#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "support/capture_reporter.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using testing::CaptureReporter;
using testing::TempDir;

Joint joint(const char* name, int parent, const char* parentName)
{
    Joint j;
    j.name = name;
    j.parentIndex = parent;
    j.parentName = parentName;
    return j;
}

Transform bind(const Vec3& r0, const Vec3& r1, const Vec3& r2, const Vec3& t)
{
    Transform m;
    const Vec3 rows[3] = {r0, r1, r2};
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = rows[r].x;
        m.m[r][1] = rows[r].y;
        m.m[r][2] = rows[r].z;
    }
    m.t = t;
    return m;
}

// Rows (0, 0, 1), (-1, 0, 0), (0, -1, 0) are the rotation of the quaternion
// (0.5, -0.5, 0.5, -0.5); written with w made positive.
Scene meshScene()
{
    Scene scene;
    scene.joints = {joint("root", -1, ""), joint("hip", 0, "root"), joint("knee", 1, "hip"),
                    joint("toe", 2, "knee")};
    scene.joints[0].bindTransform = bind({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0});
    scene.joints[1].bindTransform = bind({0, 0, 1}, {-1, 0, 0}, {0, -1, 0}, {1.5f, -0.0f, 2.25f});
    // Left-handed rows: the third row is negated first, giving hip's rotation.
    scene.joints[2].bindTransform = bind({0, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1});
    // Half a turn about z: w is 0 and the components stay as computed.
    scene.joints[3].bindTransform = bind({-1, 0, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, 0});

    Md5Mesh mesh;
    mesh.shader = "skin";
    mesh.vertices = {Md5Vertex{0.25f, 0.75f, 0, 1, {}}, Md5Vertex{0.5f, 1.0f, 1, 2, {}}};
    mesh.triangles = {Md5Triangle{{1, 0, 1}}};
    mesh.weights = {Md5Weight{0, 1.0f, {0.125f, -2, 3}}, Md5Weight{1, 0.25f, {1, 2, 3}},
                    Md5Weight{3, 0.75f, {-0.0f, 0, 1e-7f}}};
    scene.outputMeshes.push_back(mesh);
    return scene;
}

TEST(Md5MeshText, SmallSceneByteForByte)
{
    const std::string expected =
        "MD5Version 10\ncommandline \"\"\n\nnumJoints 4\nnumMeshes 1\n\njoints {\n"
        "\t\"root\"\t-1 ( 0.000000 0.000000 0.000000 ) ( 0.000000 0.000000 0.000000 )\t// \n"
        "\t\"hip\"\t0 ( 1.500000 -0.000000 2.250000 ) ( -0.500000 0.500000 -0.500000 )\t// root\n"
        "\t\"knee\"\t1 ( 0.000000 0.000000 -1.000000 ) ( -0.500000 0.500000 -0.500000 )\t// hip\n"
        "\t\"toe\"\t2 ( 0.000000 0.000000 0.000000 ) ( 0.000000 0.000000 1.000000 )\t// knee\n"
        "}\n\nmesh {\n\t// meshes:  \n\tshader \"skin\"\n\n"
        "\tnumverts 2\n\tvert 0 ( 0.250000 0.750000 ) 0 1\n\tvert 1 ( 0.500000 1.000000 ) 1 2\n\n"
        "\tnumtris 1\n\ttri 0 1 0 1\n\n"
        "\tnumweights 3\n"
        "\tweight 0 0 1.000000 ( 0.125000 -2.000000 3.000000 )\n"
        "\tweight 1 1 0.250000 ( 1.000000 2.000000 3.000000 )\n"
        "\tweight 2 3 0.750000 ( -0.000000 0.000000 0.000000 )\n"
        "}\n\n";
    EXPECT_EQ(formatMd5Mesh(meshScene()), expected);
}

TEST(Md5MeshText, MeshWithoutTrianglesHasACountOfZeroThenTheBlankLine)
{
    Scene scene;
    scene.joints = {joint("root", -1, "")};
    scene.joints[0].bindTransform = bind({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0});
    scene.outputMeshes.push_back(Md5Mesh{});
    const std::string text = formatMd5Mesh(scene);
    const std::string tail = "mesh {\n\t// meshes:  \n\tshader \"\"\n\n\tnumverts 0\n\n\tnumtris 0\n\n"
                             "\tnumweights 0\n}\n\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// Three joints over scene frames 10 and 11 at 24 fps.
Scene animScene()
{
    Scene scene;
    scene.firstFrame = 10;
    scene.lastFrame = 11;
    scene.framesPerSecond = 24;
    scene.joints = {joint("root", -1, ""), joint("hip", 0, "root"), joint("knee", 1, "hip")};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    scene.joints[0].framePositions = {{1, 2, 3}, {1e8f, 0.5f, -0.0f}};
    scene.joints[0].frameOrientations = {{0, 0, 0, 1}, {0.5f, -0.5f, 0.5f, -0.5f}};
    scene.joints[1].framePositions = {{0, 0, 1}, {0.25f, 0, 0}};
    scene.joints[1].frameOrientations = {{0, 0, 1, 0}, {0, 0.6f, 0, 0.8f}};
    scene.joints[2].framePositions = {{0, 0, 0}, {0, 0, 0}};
    scene.joints[2].frameOrientations = {{0, 0, 0, 1}, {0.25f, 0, 0, nan}};
    // The second box's x is 0.1 - 1e8 relative to the root: exact in double
    // (-99999999.9), 1e8 in single precision.
    scene.frameBounds = {FrameBounds{{0, 1, 2.5f}, {2, 3, 3.5f}}, FrameBounds{{0.1f, -1, -1}, {1, 1, 1}}};
    return scene;
}

TEST(Md5AnimText, SmallSceneByteForByte)
{
    const std::string expected =
        "MD5Version 10\ncommandline \"\"\n\nnumFrames 2\nnumJoints 3\nframeRate 24\nnumAnimatedComponents 18\n\n"
        "hierarchy {\n"
        "\t\"root\"\t-1 63 0\t// \n"
        "\t\"hip\"\t0 63 6\t// root ( Tx Ty Tz Qx Qy Qz )\n"
        "\t\"knee\"\t1 63 12\t// hip ( Tx Ty Tz Qx Qy Qz )\n"
        "}\n\nbounds {\n"
        "\t( -1.000000 -1.000000 -0.500000 ) ( 1.000000 1.000000 0.500000 )\n"
        "\t( -99999999.900000 -1.500000 -1.000000 ) ( -99999999.000000 0.500000 1.000000 )\n"
        "}\n\nbaseframe {\n"
        "\t( 1.000000 2.000000 3.000000 ) ( 0.000000 0.000000 0.000000 )\n"
        "\t( 0.000000 0.000000 1.000000 ) ( 0.000000 0.000000 1.000000 )\n"
        "\t( 0.000000 0.000000 0.000000 ) ( 0.000000 0.000000 0.000000 )\n"
        "}\n\nframe 0 {\n"
        "\t1.000000 2.000000 3.000000 0.000000 0.000000 0.000000\n"
        "\t0.000000 0.000000 1.000000 0.000000 0.000000 1.000000\n"
        "\t0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
        "}\n\nframe 1 {\n"
        "\t100000000.000000 0.500000 -0.000000 -0.500000 0.500000 -0.500000\n"
        "\t0.250000 0.000000 0.000000 0.000000 0.600000 0.000000\n"
        "\t0.000000 0.000000 0.000000 0.250000 0.000000 0.000000\n"
        "}\n\n";
    EXPECT_EQ(formatMd5Anim(animScene()), expected);
}

struct Writer {
    const char* name;
    const char* extension;
    std::function<Scene()> scene;
    std::function<std::string(const Scene&)> format;
    std::function<bool(const std::string&, const Scene&, Reporter&)> write;
};

const Writer kWriters[] = {
    {"md5mesh", ".md5mesh", meshScene, [](const Scene& s) { return formatMd5Mesh(s); },
     [](const std::string& p, const Scene& s, Reporter& r) { return writeMd5Mesh(p, s, r); }},
    {"md5anim", ".md5anim", animScene, [](const Scene& s) { return formatMd5Anim(s); },
     [](const std::string& p, const Scene& s, Reporter& r) { return writeMd5Anim(p, s, r); }},
};

std::set<std::string> entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(Md5Files, WrittenBesideTheSceneReplacingAnExistingFile)
{
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        const TempDir dir;
        fs::create_directory(dir / "scenes");
        const std::string target = std::string("walk.final") + writer.extension;
        dir.write("scenes/" + target, "an older conversion\n");
        const Scene scene = writer.scene();
        CaptureReporter report;
        EXPECT_TRUE(writer.write((dir / "scenes" / "walk.final.lws").string(), scene, report));
        EXPECT_TRUE(report.events.empty());
        EXPECT_EQ(testing::readFile(dir / "scenes" / target), testing::platformText(writer.format(scene)));
        EXPECT_EQ(entries(dir / "scenes"), std::set<std::string>{target});
    }
}

// An animation of several megabytes reaches the file whole.
TEST(Md5Files, LongAnimationIsWrittenWhole)
{
    Scene scene;
    scene.framesPerSecond = 30;
    scene.lastFrame = 29999;
    scene.joints = {joint("root", -1, "")};
    for (int k = 0; k < 30000; ++k) {
        const float f = static_cast<float>(k);
        scene.joints[0].framePositions.push_back({f, -f, 0.5f * f});
        scene.joints[0].frameOrientations.push_back({0, 0, 0, 1});
        scene.frameBounds.push_back(FrameBounds{{-f, 0, 0}, {f, 1, 1}});
    }
    const TempDir dir;
    CaptureReporter report;
    ASSERT_TRUE(writeMd5Anim((dir / "long.lws").string(), scene, report));
    const std::string expected = formatMd5Anim(scene);
    EXPECT_GT(expected.size(), 3u << 20);
    EXPECT_TRUE(testing::readFile(dir / "long.md5anim") == testing::platformText(expected));
}

// Each failure leaves what was there, removes the temporary file and says so
// in one error line naming the output.
TEST(Md5Files, FailedWriteKeepsTheOldFile)
{
    enum Failure { kMissingFolder, kReadOnlyFolder, kTargetIsFolder, kDiskFull };
    for (const Writer& writer : kWriters) {
        for (const Failure failure : {kMissingFolder, kReadOnlyFolder, kTargetIsFolder, kDiskFull}) {
            SCOPED_TRACE(::testing::Message() << writer.name << " failure " << failure);
            const TempDir dir;
            const std::string target = std::string("walk") + writer.extension;
            std::string scenePath = (dir / "walk.lws").string();
            const std::string old = "previous output\n";
            std::string link;
            switch (failure) {
            case kMissingFolder:
                scenePath = (dir / "missing" / "walk.lws").string();
                break;
            case kReadOnlyFolder: {
                dir.write(target, old);
                fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
                std::ofstream probe(dir / "probe");
                if (probe) {
                    probe.close();
                    fs::remove(dir / "probe");
                    fs::permissions(dir.path(), fs::perms::owner_all);
                    continue; // the folder stays writable for this user (root)
                }
                break;
            }
            case kTargetIsFolder:
                fs::create_directory(dir / target);
                dir.write(target + "/inside", old);
                break;
            case kDiskFull:
#ifdef _WIN32
                continue;
#else
                // An output that is a link to a full disk: the writer follows
                // the link to the device and its flush fails.
                if (!fs::exists("/dev/full")) continue;
                link = target;
                fs::create_symlink("/dev/full", dir / link);
                break;
#endif
            }
            const std::set<std::string> before = entries(dir.path());
            CaptureReporter report;
            EXPECT_FALSE(writer.write(scenePath, writer.scene(), report));
            fs::permissions(dir.path(), fs::perms::owner_all);
            ASSERT_EQ(report.events.size(), 1u);
            EXPECT_EQ(report.events[0].kind, CaptureReporter::Event::Error);
            EXPECT_NE(report.events[0].text.find(target), std::string::npos) << report.events[0].text;

            EXPECT_EQ(entries(dir.path()), before);
            if (failure == kReadOnlyFolder) {
                EXPECT_EQ(testing::readFile(dir / target), old);
            }
            if (failure == kDiskFull) {
                EXPECT_EQ(fs::read_symlink(dir / link), "/dev/full");
            }
            if (failure == kTargetIsFolder) {
                EXPECT_TRUE(fs::is_directory(dir / target));
                EXPECT_EQ(testing::readFile(dir / target / "inside"), old);
            }
        }
    }
}

} // namespace
} // namespace lwmd5
