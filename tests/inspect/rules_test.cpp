// The engines' rules on damaged copies of the example pair: each damage is
// caught by the rule it breaks (and only by the rules that follow from it),
// at the severity each engine gives it; the clean pair breaks none.

#include "inspect/inspection.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace lwmd5 {
namespace {

using testing::readFile;
using testing::sourceDir;

const std::string& exampleMesh()
{
    static const std::string text = readFile(sourceDir() / "examples" / "character.md5mesh");
    return text;
}

const std::string& exampleAnim()
{
    static const std::string text = readFile(sourceDir() / "examples" / "character.md5anim");
    return text;
}

// The findings of the pair, as "error rule" and "warning rule", sorted.
std::set<std::string> findingsOf(const std::string& meshText, const std::string& animText, Engine engine)
{
    InspectedModel model;
    InspectedAnim anim;
    model.read = !parseMd5Model(meshText, model.model);
    anim.read = !parseMd5Anim(animText, anim.anim);
    EXPECT_TRUE(model.read && anim.read);
    inspectModel(model, engine);
    inspectAnim(model, anim, engine);
    std::set<std::string> found;
    for (const auto* findings : {&model.findings, &anim.findings}) {
        for (const Finding& f : *findings) {
            found.insert((f.severity == Severity::Error ? "error " : "warning ") + std::string(f.rule));
        }
    }
    return found;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// The animation without its last joint: its hierarchy line and base frame line.
std::string withoutLastJoint(std::string text)
{
    text = replaced(text, "\t\"shin_R\"\t11 63 72\t// thigh_R ( Tx Ty Tz Qx Qy Qz )\n", "");
    text = replaced(text, "numJoints 13", "numJoints 12");
    const std::size_t end = text.find("}", text.find("baseframe {"));
    const std::size_t lastLine = text.rfind('\t', end);
    return text.erase(lastLine, end - lastLine);
}

TEST(Rules, CatchEachDamageToTheExampleByTheRuleItBreaks)
{
    const std::string& mesh = exampleMesh();
    const std::string& anim = exampleAnim();
    const std::string vert0 = "vert 0 ( 0.000000 0.000000 ) 0 2";
    const std::string weight0 = "weight 0 3 0.727273";
    const std::string head = "\"head\"\t3 63 24";
    const std::string shin = "\"shin_R\"\t11 63 72";
    const std::string bounds5 = "( -0.530824 -0.239735 0.041251 ) ( 0.503747 0.377583 1.862449 )";
    const std::string raised5 = "( -0.530824 -0.239735 0.541251 ) ( 0.503747 0.377583 2.362449 )";
    const struct {
        const char* damage;
        std::string meshText, animText;
        Engine engine;
        std::set<std::string> expected;
    } cases[] = {
        {"clean", mesh, anim, Engine::None, {}},
        {"clean", mesh, anim, Engine::Doom3, {}},
        {"clean", mesh, anim, Engine::Bfg, {}},
        {"renamed joint", mesh, replaced(anim, head, "\"skull\"\t3 63 24"), Engine::None, {"error hierarchy"}},
        {"reparented joint", mesh, replaced(anim, head, "\"head\"\t2 63 24"), Engine::Doom3, {"error hierarchy"}},
        {"missing joint", mesh, withoutLastJoint(anim), Engine::Doom3, {"error hierarchy"}},
        {"second root", mesh, replaced(anim, "\"ground\"\t0", "\"ground\"\t-1"), Engine::Doom3,
         {"error roots", "error hierarchy"}},
        {"second root", mesh, replaced(anim, "\"ground\"\t0", "\"ground\"\t-1"), Engine::None,
         {"warning roots", "error hierarchy"}},
        {"parent after child", replaced(mesh, "\"head\"\t3", "\"head\"\t5"), anim, Engine::Doom3,
         {"error parent-order", "error hierarchy"}},
        {"weight sum off by 0.01", replaced(mesh, weight0, "weight 0 3 0.737273"), anim, Engine::Bfg,
         {"error weight-sum"}},
        {"weight sum off by 0.01", replaced(mesh, weight0, "weight 0 3 0.737273"), anim, Engine::Doom3, {}},
        // Vertex 0 takes vertex 1's weights too, so it moves out of every frame's box.
        {"5 weights on a vertex", replaced(mesh, vert0, "vert 0 ( 0.000000 0.000000 ) 0 5"), anim, Engine::Bfg,
         {"error weights-per-vertex", "error weight-sum", "warning bounds"}},
        {"5 weights on a vertex", replaced(mesh, vert0, "vert 0 ( 0.000000 0.000000 ) 0 5"), anim, Engine::Doom3,
         {"warning bounds"}},
        {"vertex without weights", replaced(mesh, vert0, "vert 0 ( 0.000000 0.000000 ) 0 0"), anim, Engine::Doom3,
         {"error vertex-weights"}},
        {"vertex without weights", replaced(mesh, vert0, "vert 0 ( 0.000000 0.000000 ) 0 0"), anim, Engine::None,
         {"warning vertex-weights"}},
        {"weights past the list", replaced(mesh, vert0, "vert 0 ( 0.000000 0.000000 ) 1199 2"), anim, Engine::None,
         {"error weight-range"}},
        {"weight joint out of range", replaced(mesh, weight0, "weight 0 13 0.727273"), anim, Engine::Doom3,
         {"error weight-joint"}},
        {"triangle corner out of range", replaced(mesh, "tri 0 0 ", "tri 0 741 "), anim, Engine::None,
         {"error triangle-corner"}},
        {"bounds line moved", mesh, replaced(anim, bounds5, raised5), Engine::Doom3, {"warning bounds"}},
        {"frame number skipped", mesh, replaced(anim, "frame 3 {", "frame 4 {"), Engine::Doom3,
         {"error frame-numbers"}},
        {"version 11", replaced(mesh, "MD5Version 10", "MD5Version 11"), anim, Engine::Doom3, {"error version"}},
        {"version 11", mesh, replaced(anim, "MD5Version 10", "MD5Version 11"), Engine::None, {"warning version"}},
        {"flags above 63", mesh, replaced(anim, shin, "\"shin_R\"\t11 127 72"), Engine::Doom3, {"error flags"}},
        {"start index past the components", mesh, replaced(anim, shin, "\"shin_R\"\t11 63 73"), Engine::None,
         {"error start-index"}},
        {"no frame rate", mesh, replaced(anim, "frameRate 30", "frameRate 0"), Engine::Doom3, {"error frames"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findingsOf(c.meshText, c.animText, c.engine), c.expected)
            << c.damage << " under --engine " << static_cast<int>(c.engine);
    }
}

// Files from other tools may be larger than ours: the BFG renderer's limits
// of joints and vertices, at the limit and one past it.
TEST(Rules, HoldTheBfgLimitsOfJointsAndVertices)
{
    auto model = [](std::size_t joints, std::size_t vertices) {
        std::string text = "MD5Version 10 commandline \"\" numJoints " + std::to_string(joints) +
                           " numMeshes 1 joints {\n";
        for (std::size_t j = 0; j < joints; ++j) {
            text += "\"j" + std::to_string(j) + "\" " + std::to_string(static_cast<long long>(j) - 1) +
                    " ( 0 0 0 ) ( 0 0 0 )\n";
        }
        text += "} mesh { shader \"s\" numverts " + std::to_string(vertices) + "\n";
        for (std::size_t v = 0; v < vertices; ++v) text += "vert " + std::to_string(v) + " ( 0 0 ) 0 1\n";
        return text + "numtris 0 numweights 1 weight 0 0 1 ( 0 0 0 ) }";
    };
    const struct {
        std::size_t joints, vertices;
        std::vector<std::string_view> rules;
    } cases[] = {{256, 65535, {}}, {257, 3, {"joint-count"}}, {1, 65536, {"vertex-count"}}};
    for (const auto& c : cases) {
        Md5ModelFile file;
        ASSERT_FALSE(parseMd5Model(model(c.joints, c.vertices), file));
        for (const Engine engine : {Engine::Doom3, Engine::Bfg}) {
            std::vector<std::string_view> rules;
            for (const Finding& f : checkModel(file, engine)) rules.push_back(f.rule);
            EXPECT_EQ(rules, engine == Engine::Bfg ? c.rules : std::vector<std::string_view>{})
                << c.joints << " joints, " << c.vertices << " vertices";
        }
    }
}

// One line per difference, each naming the joints; the list stops at its limit.
TEST(Rules, NameEachDifferenceOfTheHierarchies)
{
    Md5ModelFile model;
    Md5AnimFile anim;
    ASSERT_FALSE(parseMd5Model(exampleMesh(), model));
    std::string text = replaced(exampleAnim(), "\"head\"\t3 63 24", "\"spine\"\t3 63 24");
    text = replaced(text, "\"spine\"\t2 63 18", "\"head\"\t2 63 18");
    text = replaced(text, "\"shin_L\"\t9", "\"shin_L\"\t2");
    ASSERT_FALSE(parseMd5Anim(text, anim));
    EXPECT_EQ(compareHierarchies(model, anim),
              (std::vector<std::string>{
                  "joint 3 is 'spine' in the mesh but 'head' in the animation (which has 'spine' at 4)",
                  "joint 4 is 'head' in the mesh but 'spine' in the animation (which has 'head' at 3)",
                  "joint 10 'shin_L' has parent 9 'thigh_L' in the mesh but 2 'pelvis' in the animation"}));
    ASSERT_FALSE(parseMd5Anim(withoutLastJoint(exampleAnim()), anim));
    EXPECT_EQ(compareHierarchies(model, anim),
              (std::vector<std::string>{"the mesh has 13 joints, the animation 12",
                                        "the mesh's joint 12 'shin_R' is not in the animation"}));
    EXPECT_EQ(compareHierarchies(model, anim, 1),
              (std::vector<std::string>{"the mesh has 13 joints, the animation 12", "and 1 more differences"}));
}

// Joint 0 of the example stays at the origin, so its bounds read both ways.
TEST(BoundsReading, OfTheExampleIsBoth)
{
    Md5ModelFile model;
    Md5AnimFile anim;
    ASSERT_FALSE(parseMd5Model(exampleMesh(), model));
    ASSERT_FALSE(parseMd5Anim(exampleAnim(), anim));
    const BoundsCheck check = classifyBounds(model, anim);
    EXPECT_EQ(check.reading, BoundsReading::Both);
    EXPECT_LT(check.worstModel, 1e-5);
    EXPECT_LT(check.worstRelative, 1e-5);
    EXPECT_EQ(check.jointZeroTravel, 0.0);
    EXPECT_EQ(check.missingFrames, 0u);
}

} // namespace
} // namespace lwmd5
