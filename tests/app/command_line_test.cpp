#include "app/command_line.h"

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace lwmd5 {
namespace {

using namespace lwmd5::authoring;
using namespace lwmd5::testing;

TEST(CommandLine, FileKindIsTheFourCharactersFromTheLastDot)
{
    // "s" a scene, "o" an object.
    const std::pair<const char*, const char*> cases[] = {
        {"walk.lws", "s"}, {"walk.lwo", "o"}, {"walk.lwsx", "s"}, {"walk.lwob", "o"}, {"walk.LWS", ""}, {"walk.lw", ""},
        {"walk", ""}, {".lws", "s"}, {"walk.lws.", ""}, {"walk.lwo.lws", "s"}, {"a.b/walk", ""}, {"a.lws/walk", "s"},
        {"a.b/walk.lwo", "o"}, {"C:\\a.b\\walk.lws", "s"},
    };
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(std::string(isSceneFile(name) ? "s" : "") + (isObjectFile(name) ? "o" : ""), kind) << name;
    }
}

TEST(CommandLine, ScaleFactorIsTheLeadingDecimalNumberRoundedToFloat)
{
    // The scale in its shortest exact spelling, or "refused".
    const std::pair<const char*, const char*> cases[] = {
        {"0.5", "0.5"}, {"-2.25", "-2.25"}, {"+.5", "0.5"}, {" \t\n5.", "5"}, {"2.5cm", "2.5"}, {"1.5.5", "1.5"},
        {"2E-1", "0.2"}, {"1.5e2x", "150"}, {"4e+", "4"}, {"0x10", "0"}, {"-0.0", "-0"}, {"3.4e38", "3.4e+38"},
        // Rounded to double first, which lands halfway between 1 and the next float and so rounds to 1.
        {"1.00000005960464477539062500001", "1"},
        {"", "refused"}, {" ", "refused"}, {"-", "refused"}, {".", "refused"}, {"-.e5", "refused"}, {"inf", "refused"},
        {"nan", "refused"}, {"-1e39", "refused"},
        // Too small for a float: every position would silently collapse to the origin.
        {"-1e-46", "refused"},
        // Halfway between the largest float and 2^128: rounds to even, which is infinity.
        {"340282356779733661637539395458142568448", "refused"},
    };
    for (const auto& [argument, expected] : cases) {
        const std::optional<float> scale = parseScaleFactor(argument);
        EXPECT_EQ(scale ? formatNumber(*scale) : "refused", expected) << argument;
    }
}

// walk.lws and walk.lwo in `folder`: two bones over one weighted triangle, every position times `size`. The
// positions are short binary fractions, so halving them is exact.
void writeCase(const TempDir& dir, const std::string& folder, float size)
{
    std::filesystem::create_directories(dir / folder);
    const BoneSpec root{"root", "root", {size / 2, size, 2 * size}, {}, 1, -1, restChannels(size / 2, size, 2 * size)};
    const BoneSpec tip{"tip", "tip", {0, 1.5f * size, 0}, {}, 1, 0, restChannels(0, 1.5f * size, size / 4)};
    dir.write(folder + "/walk.lws", SceneTextBuilder().header(0, 1, 24, "walk.lwo").bone(root).bone(tip).text());
    dir.write(folder + "/walk.lwo",
              form("LWO2", {pntsChunk({{size, 0, size / 2}, {0, 2 * size, 0}, {size / 4, 0, 4 * size}}),
                            weightMapChunk("root", {{0, 1}, {1, 0.5f}, {2, 1}}), weightMapChunk("tip", {{1, 0.5f}}),
                            polsChunk({{0, 1, 2}}), surfChunk("skin")}));
}

TEST(CommandLineRun, StatusesAndTheirLinesEitherOrderAFolderWithADotAndScaleHalf)
{
    TempDir dir;
    for (const char* folder : {".", "models.old"}) writeCase(dir, folder, 1);
    writeCase(dir, "half", 0.5f);
    // Arguments, exit status, stdout after the banner, the one stderr line after "program: ".
    const std::tuple<std::vector<std::string>, int, std::string, std::string> refusals[] = {
        {{"walk.lws"}, 2,
         "start the program with \"tools/conv x lwsfile lwofile [scalefactor]\"\n"
         "or drag and drop a lwsfile and a lwofile\n", ""},
        {{"walk.txt", "walk.lwo"}, 2, "", "neither 'walk.txt' nor 'walk.lwo' is a scene file (.lws)"},
        {{"walk.lwo", "missing.lws"}, 1, "", "cannot open scene file 'missing.lws': No such file or directory"},
    };
    for (const bool mesh : {true, false}) {
        const std::filesystem::path program = mesh ? meshconvPath() : animconvPath();
        const std::string format = mesh ? "md5mesh" : "md5anim";
        for (const auto& [arguments, status, out, err] : refusals) {
            ProgramResult run = runProgram(program, arguments, dir.path(), "tools/conv x");
            std::erase(run.err, '\r');
            EXPECT_EQ(run.exitStatus, status) << program << ' ' << arguments[0];
            EXPECT_EQ(run.out, platformText("lw to " + format + " converter by Tarvel, v0.1\n\n" + out));
            EXPECT_EQ(run.err, err.empty() ? "" : program.stem().string() + ": " + err + "\n");
        }
        // Runs the program, which must succeed, and returns the bytes of its output `name`.format.
        const auto convert = [&](const std::vector<std::string>& arguments, const std::string& name) {
            std::filesystem::remove(dir / (name + "." + format));
            EXPECT_EQ(runProgram(program, arguments, dir.path(), "conv").exitStatus, 0) << program;
            return readFile(dir / (name + "." + format));
        };
        const std::string usual = convert({"walk.lws", "walk.lwo"}, "walk");
        EXPECT_EQ(convert({"walk.lwo", "walk.lws"}, "walk"), usual);
        // Only the last dot is cut: the output lands beside the scene.
        EXPECT_EQ(convert({"models.old/walk.lws", "models.old/walk.lwo"}, "models.old/walk"), usual);
        // Scale 0.5 gives the bytes of the same character built at half its size.
        const std::string half = convert({"half/walk.lws", "half/walk.lwo"}, "half/walk");
        EXPECT_EQ(convert({"walk.lws", "walk.lwo", "0.5"}, "walk"), half);
    }
}

} // namespace
} // namespace lwmd5
