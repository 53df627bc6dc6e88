// The md5 reader on small texts written here, line by line, and on cuts of
// the example character; posing on hand-worked joints.

#include "md5/md5_pose.h"
#include "md5/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lwmd5 {
namespace {

using testing::readFile;
using testing::sourceDir;

// Line numbers matter: each entry sits on the line its comment gives.
const std::string kModel = "MD5Version 10\n"                           // 1
                           "commandline \"\"\n"                        // 2
                           "numJoints 1\n"                             // 3
                           "numMeshes 1\n"                             // 4
                           "joints {\n"                                // 5
                           "\t\"root\" -1 ( 0 0 0 ) ( 0 0 0 )\n"       // 6
                           "}\n"                                       // 7
                           "mesh {\n"                                  // 8
                           "\tshader \"skin\"\n"                       // 9
                           "\tnumverts 3\n"                            // 10
                           "\tvert 0 ( 0 0 ) 0 1\n"                    // 11
                           "\tvert 1 ( 1 0 ) 1 1\n"                    // 12
                           "\tvert 2 ( 0 1 ) 2 1\n"                    // 13
                           "\tnumtris 1\n"                             // 14
                           "\ttri 0 0 1 2\n"                           // 15
                           "\tnumweights 3\n"                          // 16
                           "\tweight 0 0 1 ( 0 0 0 )\n"                // 17
                           "\tweight 1 0 1 ( 1 0 0 )\n"                // 18
                           "\tweight 2 0 BIAS ( 0 0 1 )\n"             // 19
                           "}\n";                                      // 20

const std::string kAnim = "MD5Version 10\ncommandline \"\"\n"          // 1-2
                          "numFrames 2\nnumJoints 2\nframeRate 24\n"   // 3-5
                          "numAnimatedComponents 3\n"                  // 6
                          "hierarchy {\n"                              // 7
                          "\t\"root\" -1 0 0\n"                        // 8
                          "\t\"arm\" 0 7 0\n"                          // 9
                          "}\nbounds {\n"                              // 10-11
                          "\t( 0 0 0 ) ( 1 1 1 )\n"                    // 12
                          "\t( 0 0 0 ) ( 1 1 1 )\n"                    // 13
                          "}\nbaseframe {\n"                           // 14-15
                          "\t( 0 0 0 ) ( 0 0 -0.7071068 )\n"           // 16
                          "\t( 0 1 0 ) ( 0 0 0 )\n"                    // 17
                          "}\nframe 0 {\n\t0 1 0\n}\n"                 // 18-21
                          "frame 1 {\n\t0 2 0\n}\n";                   // 22-24

std::string edited(std::string text, std::string_view from, std::string_view to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string modelWithBias(std::string_view bias)
{
    return edited(kModel, "BIAS", bias);
}

TEST(Md5Reader, TakesEveryNumberSpellingThatStrtodTakesWhole)
{
    const std::pair<const char*, double> spellings[] = {
        {"1", 1.0},         {"+0.5", 0.5},     {"-.25", -0.25},  {"5.", 5.0},           {"1e-1", 0.1},
        {"1E+1", 10.0},     {"0x1p-2", 0.25},  {"0X10", 16.0},   {"000.125", 0.125},    {"-0", -0.0},
        {"1e-320", 1e-320}, {"0.000001", 1e-6}, {"123456789.5", 123456789.5},
    };
    for (const auto& [spelling, value] : spellings) {
        Md5ModelFile model;
        const auto error = parseMd5Model(modelWithBias(spelling), model);
        ASSERT_FALSE(error) << spelling << ": " << error->text;
        EXPECT_EQ(model.meshes.at(0).weights.at(2).bias, value) << spelling;
        EXPECT_EQ(std::signbit(model.meshes[0].weights[2].bias), std::signbit(value)) << spelling;
    }
}

// Whole texts laid out differently from the writer's layout, and what each
// must read as.
TEST(Md5Reader, ReadsAnyLayoutOfTokens)
{
    const std::string crlf = [] {
        std::string text;
        for (char c : modelWithBias("1")) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return text;
    }();
    const std::string packed = edited(edited(modelWithBias("1"), "( 0 0 0 ) ( 0 0 0 )", "(0 0 0)(0 0 0)"),
                                      "\"root\" -1", "\"root\"-1");
    const std::string commented = edited(edited(edited(modelWithBias("1"), "numJoints 1", "numJoints// one\n1"),
                                                "tri 0 0 1 2", "tri 0 0 1 2// a comment { ( \""),
                                         "\"skin\"", "skin//x");
    const std::string oddNames = edited(edited(modelWithBias("1"), "\"root\"", "\"left // arm\""), "\"skin\"", "\"\"");
    const std::string controlBytes = edited(modelWithBias("1"), "numMeshes 1", std::string("numMeshes\v\f\x01" "1", 13));
    const std::string integers = edited(edited(modelWithBias("1"), "vert 0 ( 0 0 ) 0 1", "vert 0 ( 0 0 ) +0 1.0"),
                                        "tri 0 0 1 2", "tri 0 0e0 0x1 2");
    const std::pair<const std::string*, std::string> cases[] = {
        {&crlf, "root"}, {&packed, "root"}, {&commented, "root"}, {&oddNames, "left // arm"},
        {&controlBytes, "root"}, {&integers, "root"},
    };
    for (const auto& [text, jointName] : cases) {
        Md5ModelFile model;
        const auto error = parseMd5Model(*text, model);
        ASSERT_FALSE(error) << *text << "\n" << error->line << ": " << error->text;
        ASSERT_EQ(model.joints.size(), 1u);
        EXPECT_EQ(model.joints[0].name, jointName);
        const Md5FileMesh& mesh = model.meshes.at(0);
        EXPECT_EQ(mesh.vertices.size(), 3u);
        EXPECT_EQ(mesh.triangles.at(0).corners[1], 1);
        EXPECT_EQ(mesh.weights.at(1).offset.x, 1.0);
        EXPECT_EQ(mesh.vertices[0].weightCount, 1);
        EXPECT_EQ(mesh.vertices[2].line, text == &commented ? 14u : 13u);
    }
    Md5ModelFile model;
    ASSERT_FALSE(parseMd5Model(oddNames, model));
    EXPECT_EQ(model.meshes.at(0).shader, "");
}

TEST(Md5Reader, NamesTheLineAndWhatWasExpected)
{
    const std::string hugeWord(60, 'z');
    const struct {
        const std::string* base;
        std::string from, to;
        std::size_t line;
        std::string message;
    } cases[] = {
        {&kModel, kModel, "", 1, "expected 'MD5Version' but found the end of the file"},
        {&kModel, kModel, "MD5Version 10\ncommandline \"abc", 2, "expected a quoted name but found '\"abc'"},
        {&kModel, "numJoints 1", "numJoints -1", 3, "expected a count but found '-1'"},
        {&kModel, "numJoints 1", "numJoints 1.5", 3, "expected a count but found '1.5'"},
        {&kModel, "numJoints 1", "numJoints 99999", 3, "numJoints 99999 is more than the rest of the file can hold"},
        {&kModel, "\"root\" -1", "\"root\" 0.5", 6, "expected an integer but found '0.5'"},
        {&kModel, "\"root\" -1", "\"root\" 1e300", 6, "expected an integer but found '1e300'"},
        {&kModel, "\"root\" -1", "( -1", 6, "expected a quoted name but found '('"},
        {&kModel, "BIAS", "nan", 19, "expected a number but found 'nan'"},
        {&kModel, "BIAS", "-inf", 19, "expected a number but found '-inf'"},
        {&kModel, "BIAS", "1e999", 19, "expected a number but found '1e999'"},
        {&kModel, "BIAS", "0x", 19, "expected a number but found '0x'"},
        {&kModel, "BIAS", "1,5", 19, "expected a number but found '1,5'"},
        {&kModel, "BIAS", "1\x7f", 19, "expected a number but found '1\\x7f'"},
        {&kModel, "BIAS", hugeWord, 19, "expected a number but found '" + std::string(40, 'z') + "...'"},
        {&kModel, "( 1 0 ) 1 1", "( 1 0 1 1", 12, "expected ')' but found '1'"},
        {&kModel, "\tvert 2 ( 0 1 ) 2 1\n", "", 13, "expected 'vert' but found 'numtris'"},
        {&kModel, "numtris 1", "numtri 1", 14, "expected 'numtris' but found 'numtri'"},
        {&kModel, "BIAS ( 0 0 1 )\n}\n", "1 ( 0 0 1 )\n}\n}\n", 21, "expected the end of the file but found '}'"},
        {&kModel, "numMeshes 1", "numMeshes 2", 21, "expected 'mesh' but found the end of the file"},
        {&kAnim, "frame 1 {", "frame 1 (", 22, "expected '{' but found '('"},
        {&kAnim, "\t0 2 0\n", "\t0 2\n", 24, "expected a number but found '}'"},
        {&kAnim, "numFrames 2", "numFrames 3", 14, "expected '(' but found '}'"},
        {&kAnim, "frameRate 24", "frameRate fast", 5, "expected a number but found 'fast'"},
        {&kAnim, "numAnimatedComponents 3", "numAnimatedComponents 30", 18,
         "numFrames times numAnimatedComponents is more than the rest of the file can hold"},
        {&kAnim, "\"arm\" 0 7 0", "\"arm\" 0 7", 10, "expected an integer but found '}'"},
    };
    for (const auto& c : cases) {
        std::string text = edited(*c.base, c.from, c.to);
        const auto at = text.find("BIAS");
        if (at != std::string::npos) text.replace(at, 4, "1");
        Md5ModelFile model;
        Md5AnimFile anim;
        const auto error = c.base == &kModel ? parseMd5Model(text, model) : parseMd5Anim(text, anim);
        ASSERT_TRUE(error) << c.to;
        EXPECT_EQ(error->line, c.line) << c.to;
        EXPECT_EQ(error->text, c.message) << c.to;
    }
}

// Cut at every line end, and at every byte of the first entries of each
// kind and of the file's start and end: each cut gives an error or a file,
// never a crash (the sanitizer build checks the reads). Every byte of the
// whole files would cost time quadratic in their size.
TEST(Md5Reader, EndsCleanlyOnEveryCutOfTheExample)
{
    for (const char* name : {"character.md5mesh", "character.md5anim"}) {
        const std::string text = readFile(sourceDir() / "examples" / name);
        const bool mesh = text.find("numMeshes") != std::string::npos;
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (text[at] == '\n' || at < 1500 || at + 1500 > text.size()) cuts.push_back(at);
        }
        for (const char* mark : {"\tvert 0", "\ttri 0", "\tweight 0", "baseframe", "frame 0", "frame 60"}) {
            const std::size_t at = text.find(mark);
            for (std::size_t k = 0; at != std::string::npos && k < 400 && at + k < text.size(); ++k) {
                cuts.push_back(at + k);
            }
        }
        std::size_t read = 0;
        for (const std::size_t cut : cuts) {
            SCOPED_TRACE(cut);
            const std::vector<char> prefix(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(cut));
            const std::string_view view(prefix.data(), prefix.size());
            Md5ModelFile model;
            Md5AnimFile anim;
            const auto error = mesh ? parseMd5Model(view, model) : parseMd5Anim(view, anim);
            read += error ? 0 : 1;
            // Only cuts into the white space after the last closing brace read.
            if (!error) {
                EXPECT_EQ(text.find_first_not_of(" \t\r\n", cut), std::string::npos);
            } else {
                EXPECT_GE(error->line, 1u);
            }
        }
        EXPECT_GE(read, 1u) << name;
        Md5ModelFile model;
        Md5AnimFile anim;
        EXPECT_FALSE(mesh ? parseMd5Model(text, model) : parseMd5Anim(text, anim)) << name;
    }
}

// Components replace Tx Ty Tz Qx Qy Qz in order where the flag bits are set,
// from the start index on; each joint is then joined to its parent. The root
// turns 90 degrees about z (stored -0.7071068 completes to w < 0, the same
// turn), so the arm's local (0, y, 0) lands at (-y, 0, 0).
TEST(Md5Pose, ReplacesFlaggedComponentsAndJoinsEachJointToItsParent)
{
    const struct {
        const char* flags; // the arm's "parent flags start"
        const char* frame; // frame 0's components
        Vec3d arm;         // the arm in model space
    } cases[] = {
        {"0 7 0", "0 1 0", {-1, 0, 0}},   {"0 7 0", "0 3 0", {-3, 0, 0}},  {"0 2 1", "9 2 9", {-2, 0, 0}},
        {"0 5 1", "9 0.5 2", {-1, 0.5, 2}}, {"0 0 0", "9 9 9", {-1, 0, 0}}, {"0 1 2", "9 9 0.25", {-1, 0.25, 0}},
        {"-1 7 0", "0 4 0", {0, 4, 0}},
    };
    for (const auto& c : cases) {
        Md5AnimFile anim;
        const std::string text = edited(edited(kAnim, "0 7 0", c.flags), "\t0 1 0\n", "\t" + std::string(c.frame) + "\n");
        ASSERT_FALSE(parseMd5Anim(text, anim)) << c.flags;
        JointPose pose;
        poseFrame(anim, 0, pose);
        ASSERT_EQ(pose.size(), 2u);
        EXPECT_NEAR(pose[1].position.x, c.arm.x, 1e-6) << c.flags << " / " << c.frame;
        EXPECT_NEAR(pose[1].position.y, c.arm.y, 1e-6) << c.flags << " / " << c.frame;
        EXPECT_NEAR(pose[1].position.z, c.arm.z, 1e-6) << c.flags << " / " << c.frame;
        const bool child = c.flags[0] == '0';
        EXPECT_NEAR(angleBetween(pose[1].orientation, pose[0].orientation), child ? 0.0 : 90.0, 1e-4) << c.flags;
    }
}

// A vertex is the bias-weighted sum of its weights placed by their joints;
// the box of every pose agrees with the skinned vertices of that pose, to
// the float sums the boxer makes, whether boxed alone or 16 at a time.
TEST(Md5Pose, SkinsVerticesAndBoxesThemAlike)
{
    Md5ModelFile model;
    ASSERT_FALSE(parseMd5Model(edited(edited(modelWithBias("0.5"), "( 0 1 ) 2 1", "( 0 1 ) 1 2"),
                                      "( 0 0 0 ) ( 0 0 0 )", "( 1 2 3 ) ( 0 0 -0.7071068 )"),
                               model));
    std::vector<Vec3d> points;
    skinVertices(model.meshes.at(0), bindPose(model), points);
    ASSERT_EQ(points.size(), 3u);
    // Weights 1 (offset x 1, bias 1) and 2 (offset z 1, bias 0.5): (1,2,3) + (0,1,0) and half of (1,2,3) + (0,0,1).
    EXPECT_NEAR(points[2].x, 1.5, 1e-6);
    EXPECT_NEAR(points[2].y, 4.0, 1e-6);
    EXPECT_NEAR(points[2].z, 5.0, 1e-6);

    Md5ModelFile character;
    Md5AnimFile walk;
    ASSERT_FALSE(parseMd5Model(readFile(sourceDir() / "examples" / "character.md5mesh"), character));
    ASSERT_FALSE(parseMd5Anim(readFile(sourceDir() / "examples" / "character.md5anim"), walk));
    const MeshBoxer boxer(character);
    std::vector<JointPose> poses(walk.frameCount());
    for (std::size_t f = 0; f < walk.frameCount(); ++f) poseFrame(walk, f, poses[f]);
    const std::vector<Md5Box> boxes = boxer.boxesOf(poses);
    ASSERT_EQ(boxes.size(), poses.size());
    for (std::size_t f = 0; f < walk.frameCount(); f += 7) {
        const JointPose& pose = poses[f];
        skinVertices(character.meshes.at(0), pose, points);
        Md5Box expected{points[0], points[0]};
        for (const Vec3d& p : points) {
            expected.min = {std::min(expected.min.x, p.x), std::min(expected.min.y, p.y), std::min(expected.min.z, p.z)};
            expected.max = {std::max(expected.max.x, p.x), std::max(expected.max.y, p.y), std::max(expected.max.z, p.z)};
        }
        const Md5Box alone = boxer.boxOf(pose);
        for (const auto& [a, b] : {std::pair{alone.min, expected.min}, std::pair{alone.max, expected.max},
                                   std::pair{boxes[f].min, alone.min}, std::pair{boxes[f].max, alone.max}}) {
            EXPECT_NEAR(a.x, b.x, 1e-5) << f;
            EXPECT_NEAR(a.y, b.y, 1e-5) << f;
            EXPECT_NEAR(a.z, b.z, 1e-5) << f;
        }
    }
}

} // namespace
} // namespace lwmd5
