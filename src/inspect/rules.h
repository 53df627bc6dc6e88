#pragma once

#include "md5/engine.h"
#include "md5/md5_reader.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5 {

// Whose rules a file is held to (Engine): None, what no reader can use is an
// error and what only some engines refuse a warning; Doom3, all that id Tech
// 4 refuses is an error; Bfg, Doom3's rules and the limits of its renderer.
enum class Severity { Warning, Error };

// One broken rule. `rule` is a short fixed name ("weight-joint") that tests
// and scripts can match; `line` is 0 where no single line is to blame.
struct Finding {
    Severity severity = Severity::Error;
    std::string_view rule;
    std::size_t line = 0;
    std::string text;
};

// The rules that one file breaks on its own.
std::vector<Finding> checkModel(const Md5ModelFile& model, Engine engine);
std::vector<Finding> checkAnim(const Md5AnimFile& anim, Engine engine);

// The ways an animation's hierarchy differs from the mesh's joints (names,
// parents, order, count), one sentence each, at most `limit` of them and
// then one that says how many more.
std::vector<std::string> compareHierarchies(const Md5ModelFile& model, const Md5AnimFile& anim,
                                            std::size_t limit = 20);
// A hierarchy that differs is an error for every engine.
std::vector<Finding> checkHierarchy(const Md5ModelFile& model, const Md5AnimFile& anim, Engine engine);

// True when posing the animation on the mesh is meaningful: the hierarchies
// match and neither file breaks a rule that makes posing guesswork (parents,
// components or weights that point nowhere).
bool canPose(const std::vector<Finding>& findings);

// How a rule weighs under an engine: nothing, a warning or an error.
enum class RuleLevel { Off, Warning, Error };
RuleLevel ruleLevel(std::string_view rule, Engine engine);
// Adds a finding at the rule's level for the engine (nothing when off).
void addFinding(std::vector<Finding>& findings, std::string_view rule, Engine engine, std::size_t line,
                std::string text);

// The figures the report shows for one mesh.
struct MeshMeasures {
    long long mostWeights = 0;      // on one vertex
    double worstBiasError = 0.0;    // |sum of biases - 1| over the weighted vertices
    std::size_t unusedVertices = 0; // in no triangle
    std::size_t repeatedCorners = 0; // triangles with a corner twice
};
MeshMeasures measureMesh(const Md5FileMesh& mesh);

} // namespace lwmd5
