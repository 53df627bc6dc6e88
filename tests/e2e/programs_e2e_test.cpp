// The built programs, run in a temporary folder on a case worked by hand, on
// the example character and on real objects. Files committed as expected
// output are trusted through checks made from the written files alone, the
// way engines read them.

#include "lwo_builder.h"
#include "md5/md5_pose.h"
#include "object/lwo_reader.h"
#include "scene_builder.h"
#include "support/capture_reporter.h"
#include "support/md5_check.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

#ifdef _WIN32
constexpr bool kWindows = true;
constexpr const char* kSeparator = "\\";
#else
constexpr bool kWindows = false;
constexpr const char* kSeparator = "/";
#endif

// The written mesh rebuilt from its joints and weights, each triangle corner
// against the object's point (x, y, z) mapped to (x, z, y): the largest
// difference, relative to the object's extent.
double rebuildError(const Md5ModelFile& md5, const fs::path& objectFile)
{
    CaptureReporter report;
    const std::optional<LwoObject> object = loadLwoObject(objectFile.string(), report);
    if (!object) return 1.0;
    const LwoMesh& source = object->meshes.at(0);
    std::vector<Vec3d> rebuilt;
    skinVertices(md5.meshes.at(0), bindPose(md5), rebuilt);
    const std::vector<Md5FileTriangle>& triangles = md5.meshes[0].triangles;
    EXPECT_EQ(triangles.size(), source.triangles.size());
    double worst = 0.0, size = 0.0;
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        for (std::size_t c = 0; c < 3; ++c) {
            const auto& p = source.points.at(static_cast<std::size_t>(source.triangles.at(t)[c]));
            const Vec3d& v = rebuilt.at(static_cast<std::size_t>(triangles[t].corners[c]));
            worst = std::max(worst, std::hypot(v.x - p[0], v.y - p[2], v.z - p[1]));
            size = std::max<double>(size, std::hypot(p[0], p[1], p[2]));
        }
    }
    return size > 0.0 ? worst / size : worst;
}

// Worked by hand. The root's bind rotation is the turn of 90 degrees about x
// (cos 90° as a float is -4.371139e-8): its quaternion prints -0.707107 0 0
// and each weight offset is the vertex position (x, z, y) turned back, so
// (1, 3, 2) gives (1, 2, -3) and (0, 0, 1) gives (0, 1, -4.4e-8), printed with
// its minus sign. The weights 1, 0.5 and 2 normalise to 1; point 3 has no
// weight and belongs to joint 0, no UV entry and gets (0, 0); v is flipped.
// The quad becomes the fan (0, 1, 2), (0, 2, 3), and the fix splits point 2
// off in both triangles, as vertices 4 and 5 sharing its weight.
const std::string kHandMesh =
    "MD5Version 10\ncommandline \"\"\n\nnumJoints 1\nnumMeshes 1\n\njoints {\n"
    "\t\"root\"\t-1 ( 0.000000 0.000000 0.000000 ) ( -0.707107 0.000000 0.000000 )\t// \n}\n\n"
    "mesh {\n\t// meshes:  \n\tshader \"skin\"\n\n\tnumverts 6\n"
    "\tvert 0 ( 0.250000 0.750000 ) 0 1\n\tvert 1 ( 1.000000 1.000000 ) 1 1\n"
    "\tvert 2 ( 0.000000 0.000000 ) 2 1\n\tvert 3 ( 0.000000 0.000000 ) 3 1\n"
    "\tvert 4 ( 0.500000 0.750000 ) 2 1\n\tvert 5 ( 0.500000 0.750000 ) 2 1\n\n"
    "\tnumtris 2\n\ttri 0 0 1 4\n\ttri 1 0 5 3\n\n\tnumweights 4\n"
    "\tweight 0 0 1.000000 ( 1.000000 2.000000 -3.000000 )\n\tweight 1 0 1.000000 ( 0.000000 0.000000 0.000000 )\n"
    "\tweight 2 0 1.000000 ( 0.000000 1.000000 -0.000000 )\n\tweight 3 0 1.000000 ( 1.000000 1.000000 -1.000000 )\n"
    "}\n\n";

// With zero channels the root's pitch becomes -90, which the z mirror turns
// into the bind turn, so every frame's quaternion prints -0.707107 0 0; z is
// the negated channel value, -0; each frame poses the vertices at their bind
// positions moved by the root, so every bounds line relative to the root is
// (0 0 0) (1 3 2).
const std::string kHandAnim =
    "MD5Version 10\ncommandline \"\"\n\nnumFrames 3\nnumJoints 1\nframeRate 2\nnumAnimatedComponents 6\n\n"
    "hierarchy {\n\t\"root\"\t-1 63 0\t// \n}\n\nbounds {\n"
    "\t( 0.000000 0.000000 0.000000 ) ( 1.000000 3.000000 2.000000 )\n"
    "\t( 0.000000 0.000000 0.000000 ) ( 1.000000 3.000000 2.000000 )\n"
    "\t( 0.000000 0.000000 0.000000 ) ( 1.000000 3.000000 2.000000 )\n}\n\n"
    "baseframe {\n\t( 0.000000 0.000000 -0.000000 ) ( -0.707107 0.000000 0.000000 )\n}\n\n"
    "frame 0 {\n\t0.000000 0.000000 -0.000000 -0.707107 0.000000 0.000000\n}\n\n"
    "frame 1 {\n\t0.500000 0.000000 -0.000000 -0.707107 0.000000 0.000000\n}\n\n"
    "frame 2 {\n\t1.000000 0.000000 -0.000000 -0.707107 0.000000 0.000000\n}\n\n";

// One root bone, its position x keyed linearly from 0 at 0 s to 1 at 1 s,
// frames 0 to 2 at 2 frames per second, over a quad of the points (1, 2, 3),
// (0, 0, 0), (0, 1, 0) and (1, 1, 1). In between, the object holds what the
// reader reports: a UV map, the quad, polygon tags, a nested FORM of another
// type, a UV fix of point 2 in the quad, a weight map without point 3.
//
// Both programs on the case worked by hand and on the example, run from a
// folder with a blank in its name, with the scene given relative to it
// (through a backslash on Windows) and the object by its full path: the
// banner, the reader's messages in file order (on Windows too, where they go
// to the desktop and the debugger), the output beside the scene in text mode
// (CR LF on Windows) and nothing else left there. The example's debug lines
// follow from its design: 600 points, maps covering the points of the tubes
// each bone weights (pelvis: torso and legs; spine: torso, head and arms;
// head: torso and head; each limb bone its 110-point tube), 1176 triangles,
// 141 seam corners.
TEST(Programs, WriteTheBytesWorkedByHandAndTheCommittedExampleThatEnginesRebuildAndBound)
{
    const TempDir dir;
    const fs::path folder = dir / "my models" / "walk cycle";
    const fs::path examples = sourceDir() / "examples";
    fs::create_directories(folder);
    BoneSpec root{.name = "root", .weightMapName = "root"};
    root.channels[0].keys = {KeySpec{0.0f, 0.0f, 3}, KeySpec{1.0f, 1.0f, 3}};
    dir.write("my models/walk cycle/hero run.lws", SceneTextBuilder().header(0, 2, 2, "hero run.lwo").bone(root).text());
    dir.write("my models/walk cycle/hero run.lwo",
              form("LWO2", {pntsChunk({{1, 2, 3}, {0, 0, 0}, {0, 1, 0}, {1, 1, 1}}),
                            uvMapChunk("uv", {{0, 0.25f, 0.25f}, {1, 1, 0}, {2, 0, 1}}), polsChunk({{0, 1, 2, 3}}),
                            ptagChunk("SURF", {{0, 0}}), form("LWOB", {pntsChunk({{5, 5, 5}})}),
                            uvFixMapChunk("uv", {{2, 0, 0.5f, 0.25f}}),
                            weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 2}}), surfChunk("skin")}));
    // The reader's notices and progress lines, flagged true, and the program's own stderr lines, in the order
    // they come. On Windows the reader's go to the desktop and the debugger, which collects them before the
    // program's own.
    using Said = std::vector<std::pair<bool, std::string>>;
    const auto stderrOf = [](const Said& said) {
        std::string reader, own;
        for (const auto& [fromReader, line] : said) (fromReader || !kWindows ? reader : own) += line;
        return reader + own;
    };
    const auto messages = [&](const std::string& program, const std::string& format) {
        const std::string lwo = (folder / "hero run.lwo").string();
        return stderrOf({{true, "Mesh: 1\tUVs:3/3\n"},
                         {true, program + ": ERROR!!!: Check Geometry! Only 3 verts per poly!\n"},
                         {false, program + ": warning: " + lwo +
                                     ": 1 polygon of more than three corners became 2 triangles; the conversion goes on\n"},
                         {true, "PTags: 4 - 1\n"},
                         {true, program + ": Whassuuup??: Wrong File Format!\n"},
                         {true, "Mesh: 1\tUVFIXs:1/1\n"},
                         {true, "Mesh: 1\tWs:3/3\n"},
                         {false, program + ": wrote walk cycle" + kSeparator + "hero run." + format + "\n"}});
    };
    for (const char* name : {"character.lws", "character.lwo"}) fs::copy_file(examples / name, folder / name);
    std::string debugLines = "Mesh: 1\tUVs:600/600\nMesh: 1\tWs:318/318\nMesh: 1\tWs:380/380\nMesh: 1\tWs:160/160\n";
    for (int limb = 0; limb < 8; ++limb) debugLines += "Mesh: 1\tWs:110/110\n";
    debugLines += "PTags: 4704 - 1176\nMesh: 1\tUVFIXs:141/141\n";
    const auto example = [&](const std::string& program, const std::string& what) {
        return stderrOf({{true, debugLines}, {false, program + ": wrote walk cycle" + kSeparator + "character." + what + "\n"}});
    };
    const std::tuple<fs::path, std::string, std::string, std::string> runs[] = {
        {meshconvPath(), "hero run.md5mesh", messages("meshconv", "md5mesh: 1 joint, 1 mesh, 6 vertices, 2 triangles"),
         kHandMesh},
        {animconvPath(), "hero run.md5anim", messages("animconv", "md5anim: 1 joint, 3 frames at 2 fps"), kHandAnim},
        {meshconvPath(), "character.md5mesh",
         example("meshconv", "md5mesh: 13 joints, 1 mesh, 741 vertices, 1176 triangles"),
         readFile(examples / "character.md5mesh")},
        {animconvPath(), "character.md5anim", example("animconv", "md5anim: 13 joints, 61 frames at 30 fps"),
         readFile(examples / "character.md5anim")},
    };
    long outputs = 4;
    for (const auto& [program, output, reports, text] : runs) {
        const std::string input = output.substr(0, output.find('.'));
        const std::string scene = (fs::path("walk cycle") / (input + ".lws")).make_preferred().string();
        const ProgramResult run =
            runProgram(program, {(folder / (input + ".lwo")).string(), "--verbose", scene}, dir / "my models", "x", true);
        EXPECT_EQ(run.exitStatus, 0) << output;
        const std::string format = output.substr(output.size() - 4);
        EXPECT_EQ(run.out, platformText("lw to md5" + format + " converter by Tarvel, v0.1\n\n"));
        EXPECT_EQ(run.err, reports);
        EXPECT_EQ(readFile(folder / output), platformText(text));
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), ++outputs);
    }
    Md5ModelFile mesh;
    Md5AnimFile anim;
    ASSERT_EQ(engineComplaint(readFile(folder / "character.md5mesh"), mesh), "");
    ASSERT_EQ(engineComplaint(readFile(folder / "character.md5anim"), anim), "");
    EXPECT_LT(rebuildError(mesh, folder / "character.lwo"), 1e-4);
    ASSERT_EQ(anim.frameCount(), 61u);
    // The mesh posed in every frame lies inside that frame's bounds, taken relative to joint 0, to the six decimals
    // of the printed numbers.
    JointPose pose;
    std::vector<Vec3d> posed;
    for (std::size_t k = 0; k < anim.frameCount(); ++k) {
        poseFrame(anim, k, pose);
        const Vec3d& r = pose.at(0).position;
        const Md5Box& b = anim.bounds.at(k);
        skinVertices(mesh.meshes.at(0), pose, posed);
        for (const Vec3d& v : posed) {
            const Vec3d d = v - r;
            EXPECT_TRUE(b.min.x - 1e-4 <= d.x && d.x <= b.max.x + 1e-4 && b.min.y - 1e-4 <= d.y &&
                        d.y <= b.max.y + 1e-4 && b.min.z - 1e-4 <= d.z && d.z <= b.max.z + 1e-4)
                << "frame " << k;
        }
    }
}

TEST(Md5Reader, RefusesWhatEnginesRefuse)
{
    Md5ModelFile mesh;
    Md5AnimFile anim;
    ASSERT_EQ(engineComplaint(kHandMesh, mesh), "");
    ASSERT_EQ(engineComplaint(kHandAnim, anim), "");
    const std::tuple<const std::string*, const char*, const char*, const char*> damages[] = {
        {&kHandMesh, "MD5Version 10", "MD5Version 11", "line 1: MD5Version is 11, not 10 [version]"},
        {&kHandMesh, "1.000000 ) 1 1", "1.000000 ) 1 0", "line 17: mesh 0: vert 1 has no weights [vertex-weights]"},
        {&kHandMesh, "tri 1 0 5 3", "tri 1 0 6 3", "line 25: mesh 0: tri 1 has corner 6 of 6 vertices [triangle-corner]"},
        {&kHandMesh, "weight 2 0 ", "weight 2 1 ", "line 30: mesh 0: weight 2 names joint 1 of 1 [weight-joint]"},
        {&kHandMesh, "weight 1 0 1.000000", "weight 1 0 nan", "line 29: expected a number but found 'nan'"},
        {&kHandAnim, "numAnimatedComponents 6", "numAnimatedComponents 12", "line 25: expected a number but found '}'"},
        {&kHandAnim, "numFrames 3", "numFrames 4", "line 17: expected '(' but found '}'"},
        {&kHandAnim, "frame 1 {", "frame 2 {", "line 27: frame 1 is numbered 2 [frame-numbers]"},
        {&kHandAnim, "-1 63 0", "0 63 0", "line 10: joint 0 'root' has parent 0, which is not an earlier joint [parent-order]"},
        {&kHandAnim, "-1 63 0", "-1 63 1", "line 10: joint 0 'root' reads components 1 to 6 of a frame of 6 [start-index]"},
    };
    for (const auto& [text, from, to, reason] : damages) {
        std::string damaged = *text;
        damaged.replace(damaged.find(from), std::string_view(from).size(), to);
        EXPECT_EQ(text == &kHandMesh ? engineComplaint(damaged, mesh) : engineComplaint(damaged, anim), reason) << to;
    }
}

// Each object of ../shared/realdata/objects under two bones of our own (their
// weight maps are the ones layers_and_weights.lwo holds in its second layer)
// converts, n-gons split and extra layers and maps skipped, or ends with its
// message and status: the status, the words each "meshconv: " line of stderr
// holds, in order, and the triangles written (-1: no output).
TEST(Programs, ConvertEachRealObjectOrEndWithItsMessage)
{
    if (realDataDir().empty()) GTEST_SKIP() << "../shared/realdata is not beside the checkout";
    // The status, how many "Check Geometry!" boxes come, the words each other "meshconv: " line of stderr
    // holds, in order, and the triangles written (-1: no output). Each box is followed by a line saying what
    // became of the polygons.
    const std::string split = "of more than three corners became";
    const std::string wrote = "wrote rig.md5mesh";
    const std::map<std::string, std::tuple<int, int, std::vector<std::string>, int>> cases = {
        {"cube_quads.lwo", {0, 1, {"6 polygons " + split + " 12 triangles", "no UV map", wrote}, 12}},
        {"ngon_143.lwo", {0, 1, {"1 polygon " + split + " 141 triangles", "no UV map", wrote}, 141}},
        {"layers_and_weights.lwo",
         {0, 4,
          {split, split, split, split, "no UV map", "map 'Weight='", "map 'Weight0'", "has 4 layers", "3 surfaces",
           wrote},
          12}},
        {"two_layers_uv.lwo", {0, 2, {split, split, "has 2 layers", "7 surfaces", wrote}, 1584}},
        {"two_uv_maps_with_vmad.lwo", {0, 1, {split, wrote}, 12}},
        {"vertex_colors_24gon.lwo", {0, 1, {split, "3 surfaces: every triangle gets the shader 'Default'", wrote}, 3202}},
        {"patches_only.lwo", {0, 0, {"no triangles", "no UV map", wrote}, 0}},
        {"lwob_form.lwo", {1, 0, {"Whassuuup??: Wrong File Format!", "form type LWOB is not LWO2"}, -1}},
        {"empty.lwo", {1, 0, {"0 bytes long"}, -1}},
        {"lwo3_box_uv.lwo", {0, 1, {split, "6 surfaces", wrote}, 12}},
    };
    const BoneSpec root{.name = "root", .weightMapName = "Weight0"};
    const BoneSpec arm{.name = "arm", .weightMapName = "Weight=", .restPosition = {0, 0, 0.5f}, .restDirection = {0, 0, 30},
                       .parentBone = 0, .channels = restChannels(0, 0, 0.5f)};
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        const auto& [status, boxes, words, triangles] = expected;
        const TempDir dir;
        dir.write("rig.lws", SceneTextBuilder().header(0, 1, 30, "object.lwo").bone(root).bone(arm).text());
        fs::copy_file(realDataDir() / "objects" / name, dir / "object.lwo");
        const ProgramResult run = runProgram(meshconvPath(), {"rig.lws", "object.lwo"}, dir.path(), "x", true);
        EXPECT_EQ(run.exitStatus, status) << run.err;
        std::vector<std::string> said;
        int boxesSeen = 0;
        std::istringstream err(run.err);
        for (std::string line; std::getline(err, line);) {
            if (line == "meshconv: ERROR!!!: Check Geometry! Only 3 verts per poly!") {
                ++boxesSeen;
            } else if (line.starts_with("meshconv: ")) {
                said.push_back(line);
            }
        }
        EXPECT_EQ(boxesSeen, boxes) << run.err;
        ASSERT_EQ(said.size(), words.size()) << run.err;
        for (std::size_t i = 0; i < said.size(); ++i) EXPECT_NE(said[i].find(words[i]), said[i].npos) << said[i];
        Md5ModelFile md5;
        const std::string complaint = engineComplaint(readFile(dir / "rig.md5mesh"), md5);
        EXPECT_EQ(complaint.empty(), triangles >= 0) << complaint;
        if (triangles < 0) continue;
        EXPECT_EQ(md5.meshes.at(0).triangles.size(), static_cast<std::size_t>(triangles));
        EXPECT_LT(rebuildError(md5, dir / "object.lwo"), 1e-4);
    }
}

} // namespace
} // namespace lwmd5
