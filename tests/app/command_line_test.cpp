#include "app/command_line.h"

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using namespace lwmd5::testing;

// What the command line makes of one argument: "s" for a scene and "o" for an object (the four characters from
// its last dot, case-sensitive), then its scale factor rounded to float in its shortest exact spelling, or "no".
TEST(CommandLine, ArgumentKindAndScaleFactor)
{
    const std::pair<const char*, const char*> cases[] = {
        {"w.lws", "s no"}, {"w.lwo", "o no"}, {"w.lwsx", "s no"}, {"w.lwob", "o no"}, {"w.LWS", " no"}, {"w", " no"},
        {"w.lw", " no"}, {".lws", "s no"}, {"w.lws.", " no"}, {"w.lwo.lws", "s no"}, {"a.lws/w", "s no"},
        {"C:\\a.b\\w.lws", "s no"}, {"2.5.lwo", "o 2.5"}, {"0.5", " 0.5"}, {"-2.25", " -2.25"}, {"+.5", " 0.5"},
        {" \t\n5.", " 5"}, {"1.5.5", " 1.5"}, {"2E-1", " 0.2"}, {"1.5e2x", " 150"}, {"4e+", " 4"}, {"0x10", " 0"},
        {"-0.0", " -0"}, {"3.4e38", " 3.4e+38"}, {"", " no"}, {" ", " no"}, {"-", " no"}, {".", " no"}, {"-.e5", " no"},
        {"inf", " no"}, {"nan", " no"},
        // Rounded to double first, which lands halfway between 1 and the next float and so rounds to 1.
        {"1.00000005960464477539062500001", " 1"},
        // Too small for a float: every position would silently collapse to the origin.
        {"-1e-46", " no"},
        // Halfway between the largest float and 2^128: rounds to even, which is infinity.
        {"340282356779733661637539395458142568448", " no"},
    };
    for (const auto& [argument, expected] : cases) {
        const std::optional<float> scale = parseScaleFactor(argument);
        const std::string kind = std::string(isSceneFile(argument) ? "s" : "") + (isObjectFile(argument) ? "o" : "");
        EXPECT_EQ(kind + ' ' + (scale ? formatNumber(*scale) : "no"), expected) << argument;
    }
}

// walk.lws and walk.lwo in `folder`: two bones over one weighted triangle, every position times `size`. The
// positions are short binary fractions, so halving them is exact.
void writeCase(const TempDir& dir, const std::string& folder, float size)
{
    std::filesystem::create_directories(dir / folder);
    const BoneSpec root{.name = "root", .weightMapName = "root", .restPosition = {size / 2, size, 2 * size},
                        .channels = restChannels(size / 2, size, 2 * size)};
    const BoneSpec tip{.name = "tip", .weightMapName = "tip", .restPosition = {0, 1.5f * size, 0}, .parentBone = 0,
                       .channels = restChannels(0, 1.5f * size, size / 4)};
    dir.write(folder + "/walk.lws", SceneTextBuilder().header(0, 1, 24, "walk.lwo").bone(root).bone(tip).text());
    dir.write(folder + "/walk.lwo",
              form("LWO2", {pntsChunk({{size, 0, size / 2}, {0, 2 * size, 0}, {size / 4, 0, 4 * size}}),
                            weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 1}}), weightMapChunk("tip", {{1, 0.5f}}),
                            polsChunk({{0, 1, 2}}), surfChunk("skin")}));
}

// The usage text names the program as it was started. The other refusals (status 1 and 2, each with its stderr
// line) are runs of the hostile-input table; the object given first, of the end-to-end tests.
TEST(CommandLineRun, UsageNamesTheProgramAndTheOutputLandsBesideTheSceneScaledAsAsked)
{
    TempDir dir;
    writeCase(dir, ".", 1);
    writeCase(dir, "models.old", 0.5f);
    for (const bool mesh : {true, false}) {
        const std::filesystem::path program = mesh ? meshconvPath() : animconvPath();
        const std::string format = mesh ? "md5mesh" : "md5anim";
        const ProgramResult usage = runProgram(program, {"walk.lws"}, dir.path(), "tools/conv x");
        EXPECT_EQ(usage.exitStatus, 2) << program;
        EXPECT_EQ(usage.out, platformText("lw to " + format + " converter by Tarvel, v0.1\n\nstart the program with "
                                          "\"tools/conv x lwsfile lwofile [scalefactor]\"\n"
                                          "or drag and drop a lwsfile and a lwofile\n"));
        // Runs the program, which must succeed, and returns the bytes of its output `name`.format.
        const auto convert = [&](const std::vector<std::string>& arguments, const std::string& name) {
            EXPECT_EQ(runProgram(program, arguments, dir.path(), "conv").exitStatus, 0) << program;
            const std::string bytes = readFile(dir / (name + "." + format));
            EXPECT_TRUE(bytes.starts_with("MD5Version 10")) << name; // a missing file reads as ""
            return bytes;
        };
        // Only the last dot is cut, so the output lands beside the scene; scale 0.5 gives the bytes of the same
        // character built at half its size.
        EXPECT_EQ(convert({"walk.lws", "walk.lwo", "0.5"}, "walk"),
                  convert({"models.old/walk.lws", "models.old/walk.lwo"}, "models.old/walk"));
    }
}

} // namespace
} // namespace lwmd5
