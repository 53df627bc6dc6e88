#include "app/command_line.h"

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

// What the command line makes of one argument: "s" for a scene and "o" for an object (the four characters from
// its last dot, case-sensitive), then its scale factor rounded to float in its shortest exact spelling, or "no".
TEST(CommandLine, ArgumentKindAndScaleFactor)
{
    const std::pair<const char*, const char*> cases[] = {
        {"w.lws", "s no"}, {"w.lwo", "o no"}, {"w.lwsx", "s no"}, {"w.lwob", "o no"}, {"w.LWS", " no"}, {"w", " no"},
        {"w.lw", " no"}, {".lws", "s no"}, {"w.lws.", " no"}, {"w.lwo.lws", "s no"}, {"a.lws/w", "s no"},
        {"C:\\a.b\\w.lws", "s no"}, {"2.5.lwo", "o no"}, {"0.5", " 0.5"}, {"-2.25", " -2.25"}, {"+.5", " 0.5"},
        {" \t\n5. ", " 5"}, {"2E-1", " 0.2"}, {"3.4e38", " 3.4e+38"}, {"1e2", " 100"},
        // The whole argument is the number: a comma, a unit, a second point or a dangling exponent is not.
        {"1,5", " no"}, {"1.5x", " no"}, {"1.5.5", " no"}, {"4e+", " no"}, {"1 5", " no"}, {"0x10", " no"},
        {"", " no"}, {" ", " no"}, {"-", " no"}, {".", " no"}, {"-.e5", " no"}, {"inf", " no"}, {"nan", " no"},
        // 0 would put every position at the origin.
        {"0", " no"}, {"-0.0", " no"},
        // Rounded to double first, which lands halfway between 1 and the next float and so rounds to 1.
        {"1.00000005960464477539062500001", " 1"},
        // Too small for a float: every position would silently collapse to the origin.
        {"-1e-46", " no"},
        // Halfway between the largest float and 2^128: rounds to even, which is infinity.
        {"340282356779733661637539395458142568448", " no"},
    };
    for (const auto& [argument, expected] : cases) {
        std::string problem;
        const std::optional<float> scale = parseScaleFactor(argument, problem);
        const std::string kind = std::string(isSceneFile(argument) ? "s" : "") + (isObjectFile(argument) ? "o" : "");
        EXPECT_EQ(kind + ' ' + (scale ? formatNumber(*scale) : "no"), expected) << argument;
        EXPECT_EQ(problem.empty(), scale.has_value()) << argument;
    }
}

// walk.lws and walk.lwo in `folder`: two bones over two triangles that the first weights, every position times `size`. The
// positions are short binary fractions, so halving them is exact.
void writeCase(const TempDir& dir, const std::string& folder, float size)
{
    fs::create_directories(dir / folder);
    const BoneSpec root{.name = "root", .weightMapName = "root", .restPosition = {size / 2, size, 2 * size},
                        .channels = restChannels(size / 2, size, 2 * size)};
    const BoneSpec tip{.name = "tip", .weightMapName = "tip", .restPosition = {0, 1.5f * size, 0}, .parentBone = 0,
                       .channels = restChannels(0, 1.5f * size, size / 4)};
    dir.write(folder + "/walk.lws", SceneTextBuilder().header(0, 2, 24, "walk.lwo").bone(root).bone(tip).text());
    dir.write(folder + "/walk.lwo",
              form("LWO2", {pntsChunk({{size, 0, size / 2}, {0, 2 * size, 0}, {size / 4, 0, 4 * size}, {0, 0, 0}}),
                            uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}}),
                            weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 1}}),
                            polsChunk({{0, 1, 2}, {0, 2, 3}}), surfChunk("skin")}));
}

std::string withoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Each command line as both programs end it: the status, what stdout holds after the banner (the usage text
// when the argument count is wrong), and stderr, whole, "P" standing for the program's name. "F" stands for
// the format's name: md5mesh or md5anim. The usage text names the program as it was started; a failed run
// writes nothing.
TEST(CommandLineRun, OptionsScaleFactorsFileChoiceAndWhatEachRunSays)
{
    const std::string usage = "start the program with \"tools/conv x lwsfile lwofile [scalefactor]\"\n"
                              "or drag and drop a lwsfile and a lwofile\n";
    const std::string wrote = "P: wrote walk.F: 2 joints, <what it holds>\n";
    // The reader's progress lines reach stderr with --verbose; on Windows they go to the debugger.
#ifdef _WIN32
    const std::string debugLines;
#else
    const std::string debugLines = "Mesh: 1\tUVs:4/4\nMesh: 1\tWs:3/3\n";
#endif
    struct Row {
        std::vector<std::string> arguments;
        int status;
        std::string out; // after the banner
        std::string err;
    };
    const Row rows[] = {
        {{"walk.lws"}, 2, usage, ""},
        {{"walk.lws", "walk.lwo", "1", "2"}, 2, usage, ""},
        {{"--verbose"}, 2, usage, ""},
        {{"--version"}, 0, "P 0.2.0\n", ""},
        {{"walk.lws", "--bogus", "walk.lwo"}, 2, "", "P: unknown option '--bogus' (--help lists the options)\n"},
        {{"--verbose=yes", "walk.lws", "walk.lwo"}, 2, "", "P: option '--verbose' takes no value\n"},
        {{"--engine", "quake", "walk.lws", "walk.lwo"}, 2, "", "P: option '--engine' takes doom3 or bfg, not 'quake'\n"},
        {{"--engine=", "walk.lws", "walk.lwo"}, 2, "", "P: option '--engine' takes doom3 or bfg, not ''\n"},
        {{"walk.lws", "walk.lwo", "--max-weights", "0"}, 2, "",
         "P: option '--max-weights' takes a whole number from 1 to 8, not '0'\n"},
        {{"--max-weights", "9", "walk.lws", "walk.lwo"}, 2, "",
         "P: option '--max-weights' takes a whole number from 1 to 8, not '9'\n"},
        {{"--max-weights=x", "walk.lws", "walk.lwo"}, 2, "",
         "P: option '--max-weights' takes a whole number from 1 to 8, not 'x'\n"},
        {{"walk.lws", "walk.lwo", "--max-weights"}, 2, "", "P: option '--max-weights' needs a value (N)\n"},
        {{"--shader-prefix", "a\"b/", "walk.lws", "walk.lwo"}, 2, "",
         "P: option '--shader-prefix' cannot hold a double quote or a line break\n"},
        // The origin joint joins the two bones.
        {{"--engine", "bfg", "--max-weights", "3", "--shader-prefix", "models/", "walk.lws", "walk.lwo"}, 0, "",
         "P: wrote walk.F: 3 joints, <what it holds>\n"},
        // Options stand anywhere; "--" ends them.
        {{"walk.lwo", "--verbose", "walk.lws"}, 0, "", debugLines + wrote},
        {{"--", "walk.lws", "walk.lwo", "0.5"}, 0, "", wrote},
        {{"walk.lws", "walk.lwo", "-1"}, 0, "",
         "P: warning: the scale factor '-1' is negative: it mirrors the model and turns its triangles inside out\n" +
             wrote},
        {{"walk.lws", "walk.lwo", "1,5"}, 2, "",
         "P: the scale factor '1,5' is not a decimal number; write its decimals after a point, as in 1.5\n"},
        {{"walk.lws", "walk.lwo", "1.5x"}, 2, "", "P: the scale factor '1.5x' is not a decimal number\n"},
        {{"walk.lws", "walk.lwo", "0x10"}, 2, "", "P: the scale factor '0x10' is not a decimal number\n"},
        {{"walk.lws", "walk.lwo", ""}, 2, "", "P: the scale factor '' is not a decimal number\n"},
        {{"walk.lws", "walk.lwo", "0"}, 2, "", "P: the scale factor '0' would put every position at the origin\n"},
        {{"walk.lws", "walk.lwo", "1e39"}, 2, "", "P: the scale factor '1e39' does not fit a 32-bit float\n"},
        {{"walk.lws", "w.txt"}, 2, "", "P: neither 'walk.lws' nor 'w.txt' is an object file (.lwo)\n"},
        {{"walk.lws", "WALK.LWO"}, 2, "",
         "P: neither 'walk.lws' nor 'WALK.LWO' is an object file (.lwo); extensions are matched in lower case, so "
         "'WALK.LWO' must end in .lwo\n"},
        {{"walk.lwo", "Walk.Lws"}, 2, "",
         "P: neither 'walk.lwo' nor 'Walk.Lws' is a scene file (.lws); extensions are matched in lower case, so "
         "'Walk.Lws' must end in .lws\n"},
    };
    const TempDir dir;
    writeCase(dir, ".", 1);
    for (const bool mesh : {true, false}) {
        const std::string program = mesh ? "meshconv" : "animconv";
        const std::string format = mesh ? "md5mesh" : "md5anim";
        const std::string summary = mesh ? "1 mesh, 4 vertices, 2 triangles" : "3 frames at 24 fps";
        const auto expand = [&](std::string text) {
            for (std::size_t at; (at = text.find("P: ")) != std::string::npos;) text.replace(at, 1, program);
            for (std::size_t at; (at = text.find(".F")) != std::string::npos;) text.replace(at + 1, 1, format);
            const std::size_t at = text.find("<what it holds>");
            if (at != std::string::npos) text.replace(at, 15, summary);
            return text;
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(program + " " + ::testing::PrintToString(row.arguments));
            fs::remove(dir / ("walk." + format));
            const ProgramResult run =
                runProgram(mesh ? meshconvPath() : animconvPath(), row.arguments, dir.path(), "tools/conv x");
            EXPECT_EQ(run.exitStatus, row.status);
            std::string expectedOut = "lw to " + format + " converter by Tarvel, v0.1\n\n" + row.out;
            for (std::size_t at; (at = expectedOut.find("P 0.2.0")) != std::string::npos;) {
                expectedOut.replace(at, 1, program);
            }
            EXPECT_EQ(run.out, platformText(expectedOut));
            EXPECT_EQ(withoutCarriageReturns(run.err), expand(row.err));
            EXPECT_EQ(fs::exists(dir / ("walk." + format)), row.err.find(" wrote ") != std::string::npos);
        }
        // --help and -h: the usage, every option on a line of its own, the exit statuses, where output goes.
        for (const char* help : {"--help", "-h"}) {
            const ProgramResult run = runProgram(mesh ? meshconvPath() : animconvPath(), {"walk.lws", help},
                                                 dir.path(), "conv");
            EXPECT_EQ(run.exitStatus, 0);
            EXPECT_TRUE(run.err.empty()) << run.err;
            const std::string out = withoutCarriageReturns(run.out);
            for (const std::string& part :
                 {"usage: " + program + " [options] scene.lws object.lwo [scalefactor]\n", std::string("\n  --verbose"),
                  std::string("\n  --help "), std::string("\n  --version "), std::string("Exit status: 0 the file "),
                  std::string("standard error")}) {
                EXPECT_NE(out.find(part), std::string::npos) << part << " in\n" << out;
            }
        }
    }
}

// The output lands beside the scene (only the last dot is cut); scale 0.5 gives the bytes of the same
// character built at half its size.
TEST(CommandLineRun, OutputLandsBesideTheSceneScaledAsAsked)
{
    TempDir dir;
    writeCase(dir, ".", 1);
    writeCase(dir, "models.old", 0.5f);
    for (const bool mesh : {true, false}) {
        const fs::path program = mesh ? meshconvPath() : animconvPath();
        const std::string format = mesh ? "md5mesh" : "md5anim";
        const auto convert = [&](const std::vector<std::string>& arguments, const std::string& name) {
            EXPECT_EQ(runProgram(program, arguments, dir.path(), "conv").exitStatus, 0) << program;
            const std::string bytes = readFile(dir / (name + "." + format));
            EXPECT_TRUE(bytes.starts_with("MD5Version 10")) << name; // a missing file reads as ""
            return bytes;
        };
        EXPECT_EQ(convert({"walk.lws", "walk.lwo", "0.5"}, "walk"),
                  convert({"models.old/walk.lws", "models.old/walk.lwo"}, "models.old/walk"));
    }
}

} // namespace
} // namespace lwmd5
