#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

const char kMeshBanner[] = "lw to md5mesh converter by Tarvel, v0.1\n\n";
const char kAnimBanner[] = "lw to md5anim converter by Tarvel, v0.1\n\n";

// Two bones over one weighted triangle; every coordinate is a short binary
// fraction, so halving it is exact in the printed text as well.
std::string tinyScene()
{
    BoneSpec root{"root", "root", {0.5f, 1.0f, 2.0f}, {0, 0, 0}, 1.0f, -1, restChannels(0.5f, 1.0f, 2.0f)};
    BoneSpec tip{"tip", "tip", {0.0f, 1.5f, 0.0f}, {0, 0, 0}, 1.0f, 0, restChannels(0.0f, 1.5f, 0.25f)};
    return SceneTextBuilder().header(0, 1, 24, "walk.lwo").bone(root).bone(tip).text();
}

Bytes tinyObject()
{
    return form("LWO2", {tagsChunk({"skin"}), layrChunk(0, ""),
                         pntsChunk({{1.0f, 0.0f, 0.5f}, {0.0f, 2.0f, 0.0f}, {0.25f, 0.0f, 4.0f}}),
                         uvMapChunk("uv", {{0, 0.0f, 0.0f}, {1, 1.0f, 0.0f}, {2, 0.0f, 1.0f}}),
                         weightMapChunk("root", {{0, 1.0f}, {1, 0.5f}, {2, 1.0f}}),
                         weightMapChunk("tip", {{1, 0.5f}}), polsChunk({{0, 1, 2}}),
                         ptagChunk("SURF", {{0, 0}}), surfChunk("skin")});
}

// Writes the tiny case as <folder>/walk.lws and <folder>/walk.lwo.
void writeTinyCase(const fs::path& folder)
{
    fs::create_directories(folder);
    std::ofstream(folder / "walk.lws", std::ios::binary) << tinyScene();
    const Bytes object = tinyObject();
    std::ofstream(folder / "walk.lwo", std::ios::binary)
        .write(reinterpret_cast<const char*>(object.data()), static_cast<std::streamsize>(object.size()));
}

std::string usage(const std::string& argv0)
{
    return "start the program with \"" + argv0 + " lwsfile lwofile [scalefactor]\"\n"
           "or drag and drop a lwsfile and a lwofile\n";
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back(); // text mode on Windows
        result.push_back(line);
    }
    return result;
}

TEST(CommandLineRun, UsageAndRefusals)
{
    TempDir dir;
    writeTinyCase(dir.path());
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string usageOut;    // after the banner
        std::string errorLine;   // exact stderr line, or "" for none
        std::string errorNames;  // when not exact: a text the one stderr line must name
    };
    const Case cases[] = {
        {{"walk.lws"}, 2, usage("tools/conv x"), "", ""},
        {{"walk.lws", "walk.lwo", "1", "extra"}, 2, usage("tools/conv x"), "", ""},
        {{"walk.txt", "walk.lwo"}, 2, "", "", "walk.txt"},
        {{"walk.LWS", "walk.lwo"}, 2, "", "", "walk.LWS"},
        {{"walk.lws", "walk.lwo", "abc"}, 2, "", "", "abc"},
        {{"walk.lws", "walk.lwo", ""}, 2, "", "", "scale"},
        {{"missing.lws", "walk.lwo"}, 1, "",
         "cannot open scene file 'missing.lws': No such file or directory", ""},
        {{"walk.lwo", "missing.lws"}, 1, "",
         "cannot open scene file 'missing.lws': No such file or directory", ""},
        {{"walk.lws", "other.lws"}, 1, "", "", ".lwo"},   // two scenes: no object
        {{"walk.lws", "notes.txt"}, 1, "", "", ".lwo"},
    };
    for (const bool animation : {false, true}) {
        const std::string program = animation ? "animconv" : "meshconv";
        for (const Case& c : cases) {
            std::string joined;
            for (const std::string& a : c.arguments) joined += " '" + a + "'";
            SCOPED_TRACE(program + joined);
            const ProgramResult run =
                runProgram(animation ? animconvPath() : meshconvPath(), c.arguments, dir.path(), "tools/conv x");
            EXPECT_EQ(run.exitStatus, c.status);
            EXPECT_EQ(run.out, platformText(std::string(animation ? kAnimBanner : kMeshBanner) + c.usageOut));
            const std::vector<std::string> errors = lines(run.err);
            if (c.errorLine.empty() && c.errorNames.empty()) {
                EXPECT_EQ(run.err, "");
                continue;
            }
            ASSERT_EQ(errors.size(), 1u) << run.err;
            if (!c.errorLine.empty()) {
                EXPECT_EQ(errors[0], program + ": " + c.errorLine);
            } else {
                EXPECT_EQ(errors[0].rfind(program + ": ", 0), 0u) << errors[0];
                EXPECT_NE(errors[0].find(c.errorNames), std::string::npos) << errors[0];
            }
        }
        EXPECT_FALSE(fs::exists(dir / (animation ? "walk.md5anim" : "walk.md5mesh")));
        EXPECT_FALSE(fs::exists(dir / (animation ? "missing.md5anim" : "missing.md5mesh")));
    }
}

// Runs a program that must succeed and returns the bytes it wrote.
std::string convert(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
                    const fs::path& output)
{
    const ProgramResult run = runProgram(program, arguments, folder, program.filename().string());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.signal, 0);
    EXPECT_TRUE(fs::exists(output)) << output;
    return readFile(output);
}

TEST(CommandLineRun, EitherOrderAndAnyFolderGiveTheSameOutput)
{
    TempDir dir;
    writeTinyCase(dir.path());
    writeTinyCase(dir / "models.old");
    // Folder names of 200 characters, six deep: the path passes 1024.
    fs::path deep = "d";
    for (int i = 0; i < 6; ++i) deep /= std::string(200, static_cast<char>('a' + i));
    writeTinyCase(dir.path() / deep);
    ASSERT_GT((deep / "walk.lws").string().size(), 1024u);

    for (const bool animation : {false, true}) {
        const fs::path program = animation ? animconvPath() : meshconvPath();
        const std::string extension = animation ? ".md5anim" : ".md5mesh";
        SCOPED_TRACE(program.filename().string());
        const std::string usual = convert(program, {"walk.lws", "walk.lwo"}, dir.path(), dir / ("walk" + extension));
        ASSERT_FALSE(usual.empty());
        fs::remove(dir / ("walk" + extension));
        EXPECT_EQ(convert(program, {"walk.lwo", "walk.lws"}, dir.path(), dir / ("walk" + extension)), usual);
        // Only the last dot is cut: the output lands beside the scene.
        EXPECT_EQ(convert(program, {"models.old/walk.lws", "models.old/walk.lwo"}, dir.path(),
                          dir / "models.old" / ("walk" + extension)),
                  usual);
        EXPECT_FALSE(fs::exists(dir / ("models" + extension)));
        const std::string deepScene = (deep / "walk.lws").string();
        const std::string deepObject = (deep / "walk.lwo").string();
        EXPECT_EQ(convert(program, {deepObject, deepScene}, dir.path(), dir.path() / deep / ("walk" + extension)), usual);
    }
}

// Splits a line into white-space separated words.
std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> result;
    std::istringstream in(line);
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

TEST(CommandLineRun, ScaleFactorHalvesEveryPositionAndNothingElse)
{
    TempDir dir;
    writeTinyCase(dir.path());
    const std::string whole = convert(meshconvPath(), {"walk.lws", "walk.lwo", "1"}, dir.path(), dir / "walk.md5mesh");
    const std::string half = convert(meshconvPath(), {"walk.lws", "walk.lwo", " 0.5x"}, dir.path(), dir / "walk.md5mesh");
    const std::vector<std::string> wholeLines = lines(whole);
    const std::vector<std::string> halfLines = lines(half);
    ASSERT_EQ(wholeLines.size(), halfLines.size());
    int positions = 0;
    for (std::size_t i = 0; i < wholeLines.size(); ++i) {
        const std::vector<std::string> w = words(wholeLines[i]);
        const std::vector<std::string> h = words(halfLines[i]);
        ASSERT_EQ(w.size(), h.size()) << wholeLines[i];
        // A joint line carries its position in the first ( x y z ), a weight
        // line its offset; the words in between are positions.
        const bool joint = w.size() >= 10 && w[2] == "(";
        const bool weight = !w.empty() && w[0] == "weight";
        const std::size_t first = joint ? 3 : weight ? 5 : w.size();
        for (std::size_t k = 0; k < w.size(); ++k) {
            if (k >= first && k < first + 3) {
                ++positions;
                EXPECT_EQ(std::strtod(h[k].c_str(), nullptr), std::strtod(w[k].c_str(), nullptr) / 2)
                    << halfLines[i] << " | " << wholeLines[i];
            } else {
                EXPECT_EQ(h[k], w[k]) << halfLines[i] << " | " << wholeLines[i];
            }
        }
    }
    EXPECT_EQ(positions, 3 * (2 + 4)); // two joints, four weights
}

} // namespace
} // namespace lwmd5
