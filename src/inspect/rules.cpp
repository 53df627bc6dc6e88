#include "inspect/rules.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace lwmd5 {

namespace {

constexpr RuleLevel W = RuleLevel::Warning;
constexpr RuleLevel E = RuleLevel::Error;
constexpr RuleLevel Off = RuleLevel::Off;

struct RuleLevels {
    std::string_view rule;
    RuleLevel any, doom3, bfg;
};

// What only id Tech 4 refuses is a warning for other readers; what makes a
// file unusable for any reader is an error everywhere; the BFG renderer's
// limits count only there.
constexpr RuleLevels kRules[] = {
    {"version", W, E, E},         {"parent-order", E, E, E},     {"roots", W, E, E},
    {"flags", W, E, E},           {"start-index", E, E, E},      {"frames", W, E, E},
    {"frame-numbers", W, E, E},   {"vertex-weights", W, E, E},   {"weight-range", E, E, E},
    {"weight-joint", E, E, E},    {"triangle-corner", E, E, E},  {"hierarchy", E, E, E},
    {"bounds", W, W, W},          {"bounds-relative", W, W, W},  {"weights-per-vertex", Off, Off, E},
    {"weight-sum", Off, Off, E},  {"vertex-count", Off, Off, E}, {"joint-count", Off, Off, E},
};

constexpr long long kBfgWeightsPerVertex = 4;
constexpr double kBfgBiasTolerance = 0.001;
constexpr std::size_t kBfgVerticesPerMesh = 65535;
constexpr std::size_t kBfgJoints = 256;

// The first case of a rule broken many times, and how many more there are,
// so a damaged list of 100,000 vertices makes one line, not 100,000.
struct Tally {
    std::size_t count = 0;
    std::size_t line = 0;
    std::string first;

    void note(std::size_t atLine, const std::string& text)
    {
        if (count++ == 0) {
            line = atLine;
            first = text;
        }
    }
    void report(std::vector<Finding>& findings, std::string_view rule, Engine engine) const
    {
        if (count == 0) return;
        std::string text = first;
        if (count > 1) text += " (and " + std::to_string(count - 1) + " more like it)";
        addFinding(findings, rule, engine, line, std::move(text));
    }
};

std::string quotedName(const std::string& name)
{
    return "'" + name + "'";
}

std::string jointLabel(std::size_t index, const std::string& name)
{
    return "joint " + std::to_string(index) + " " + quotedName(name);
}

bool isEarlierJoint(long long parent, std::size_t joint)
{
    return parent == -1 || (parent >= 0 && static_cast<std::size_t>(parent) < joint);
}

int countBits(long long flags)
{
    int bits = 0;
    for (int c = 0; c < 6; ++c) bits += (flags >> c) & 1 ? 1 : 0;
    return bits;
}

void checkVersion(long long version, std::size_t line, Engine engine, std::vector<Finding>& findings)
{
    if (version != 10) {
        addFinding(findings, "version", engine, line, "MD5Version is " + std::to_string(version) + ", not 10");
    }
}

template <typename Joints>
void checkParents(const Joints& joints, Engine engine, std::vector<Finding>& findings)
{
    Tally order;
    for (std::size_t j = 0; j < joints.size(); ++j) {
        if (isEarlierJoint(joints[j].parent, j)) continue;
        order.note(joints[j].line, jointLabel(j, joints[j].name) + " has parent " + std::to_string(joints[j].parent) +
                                       ", which is not an earlier joint");
    }
    order.report(findings, "parent-order", engine);
}

void checkVertices(const Md5FileMesh& mesh, const std::string& label, Engine engine, std::vector<Finding>& findings)
{
    Tally unweighted, range, many, sum;
    const auto weights = static_cast<long long>(mesh.weights.size());
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
        const Md5FileVertex& vertex = mesh.vertices[v];
        const std::string name = label + "vert " + std::to_string(v);
        if (vertex.weightCount <= 0) {
            unweighted.note(vertex.line, name + " has no weights");
            continue;
        }
        if (vertex.firstWeight < 0 || vertex.firstWeight > weights - vertex.weightCount) {
            range.note(vertex.line, name + " uses weights " + std::to_string(vertex.firstWeight) + " to " +
                                        std::to_string(vertex.firstWeight + vertex.weightCount - 1) + " of " +
                                        std::to_string(weights));
            continue;
        }
        if (vertex.weightCount > kBfgWeightsPerVertex) {
            many.note(vertex.line, name + " has " + std::to_string(vertex.weightCount) +
                                       " weights; the engine keeps 4");
        }
        double total = 0.0;
        for (long long w = 0; w < vertex.weightCount; ++w) {
            total += mesh.weights[static_cast<std::size_t>(vertex.firstWeight + w)].bias;
        }
        if (std::abs(total - 1.0) > kBfgBiasTolerance) {
            sum.note(vertex.line, name + "'s weights sum to " + std::to_string(total) + ", not 1 within 0.001");
        }
    }
    unweighted.report(findings, "vertex-weights", engine);
    range.report(findings, "weight-range", engine);
    many.report(findings, "weights-per-vertex", engine);
    sum.report(findings, "weight-sum", engine);
}

void checkMesh(const Md5FileMesh& mesh, std::size_t index, std::size_t joints, Engine engine,
               std::vector<Finding>& findings)
{
    const std::string label = "mesh " + std::to_string(index) + ": ";
    if (mesh.vertices.size() > kBfgVerticesPerMesh) {
        addFinding(findings, "vertex-count", engine, mesh.line,
                   label + std::to_string(mesh.vertices.size()) + " vertices; the engine takes at most 65535");
    }
    checkVertices(mesh, label, engine, findings);
    Tally joint, corner;
    for (std::size_t w = 0; w < mesh.weights.size(); ++w) {
        const long long j = mesh.weights[w].joint;
        if (j < 0 || static_cast<std::size_t>(j) >= joints) {
            joint.note(mesh.weights[w].line, label + "weight " + std::to_string(w) + " names joint " +
                                                 std::to_string(j) + " of " + std::to_string(joints));
        }
    }
    for (std::size_t t = 0; t < mesh.triangles.size(); ++t) {
        for (const long long c : mesh.triangles[t].corners) {
            if (c >= 0 && static_cast<std::size_t>(c) < mesh.vertices.size()) continue;
            corner.note(mesh.triangles[t].line, label + "tri " + std::to_string(t) + " has corner " +
                                                    std::to_string(c) + " of " +
                                                    std::to_string(mesh.vertices.size()) + " vertices");
            break;
        }
    }
    joint.report(findings, "weight-joint", engine);
    corner.report(findings, "triangle-corner", engine);
}

void checkAnimJoints(const Md5AnimFile& anim, Engine engine, std::vector<Finding>& findings)
{
    checkParents(anim.hierarchy, engine, findings);
    Tally roots, flags, start;
    std::string rootNames;
    for (std::size_t j = 0; j < anim.hierarchy.size(); ++j) {
        const Md5HierarchyEntry& entry = anim.hierarchy[j];
        if (entry.parent == -1) {
            rootNames += (rootNames.empty() ? "" : ", ") + quotedName(entry.name);
            roots.note(entry.line, "");
        }
        if (entry.flags < 0 || entry.flags > 63) {
            flags.note(entry.line, jointLabel(j, entry.name) + " has flags " + std::to_string(entry.flags) +
                                       ", not 0 to 63");
        }
        const long long bits = countBits(entry.flags);
        if (bits > 0 && (entry.startIndex < 0 || entry.startIndex > anim.animatedComponents - bits)) {
            start.note(entry.line, jointLabel(j, entry.name) + " reads components " +
                                       std::to_string(entry.startIndex) + " to " +
                                       std::to_string(entry.startIndex + bits - 1) + " of a frame of " +
                                       std::to_string(anim.animatedComponents));
        }
    }
    if (roots.count > 1) {
        addFinding(findings, "roots", engine, roots.line,
                   std::to_string(roots.count) + " joints are roots (" + rootNames + "); engines take one");
    }
    flags.report(findings, "flags", engine);
    start.report(findings, "start-index", engine);
}

} // namespace

RuleLevel ruleLevel(std::string_view rule, Engine engine)
{
    for (const RuleLevels& levels : kRules) {
        if (levels.rule != rule) continue;
        return engine == Engine::None ? levels.any : engine == Engine::Doom3 ? levels.doom3 : levels.bfg;
    }
    return Off;
}

void addFinding(std::vector<Finding>& findings, std::string_view rule, Engine engine, std::size_t line,
                std::string text)
{
    const RuleLevel level = ruleLevel(rule, engine);
    if (level == Off) return;
    // The table's own spelling outlives the caller's string.
    const auto known = std::find_if(std::begin(kRules), std::end(kRules),
                                    [rule](const RuleLevels& levels) { return levels.rule == rule; });
    findings.push_back({level == E ? Severity::Error : Severity::Warning, known->rule, line, std::move(text)});
}

std::vector<Finding> checkModel(const Md5ModelFile& model, Engine engine)
{
    std::vector<Finding> findings;
    checkVersion(model.version, model.versionLine, engine, findings);
    checkParents(model.joints, engine, findings);
    if (model.joints.size() > kBfgJoints) {
        addFinding(findings, "joint-count", engine, 0,
                   std::to_string(model.joints.size()) + " joints; the engine takes at most 256");
    }
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        checkMesh(model.meshes[m], m, model.joints.size(), engine, findings);
    }
    return findings;
}

std::vector<Finding> checkAnim(const Md5AnimFile& anim, Engine engine)
{
    std::vector<Finding> findings;
    checkVersion(anim.version, anim.versionLine, engine, findings);
    if (anim.frameCount() == 0 || !(anim.frameRate > 0.0)) {
        addFinding(findings, "frames", engine, 0,
                   std::to_string(anim.frameCount()) + " frames at frame rate " + std::to_string(anim.frameRate) +
                       "; engines need at least one frame and a rate above 0");
    }
    checkAnimJoints(anim, engine, findings);
    Tally numbers;
    for (std::size_t f = 0; f < anim.frameCount(); ++f) {
        if (anim.frameNumbers[f] == static_cast<long long>(f)) continue;
        numbers.note(anim.frameLines[f], "frame " + std::to_string(f) + " is numbered " +
                                             std::to_string(anim.frameNumbers[f]));
    }
    numbers.report(findings, "frame-numbers", engine);
    return findings;
}

std::vector<std::string> compareHierarchies(const Md5ModelFile& model, const Md5AnimFile& anim, std::size_t limit)
{
    std::vector<std::string> differences;
    const auto& joints = model.joints;
    const auto& entries = anim.hierarchy;
    if (joints.size() != entries.size()) {
        differences.push_back("the mesh has " + std::to_string(joints.size()) + " joints, the animation " +
                              std::to_string(entries.size()));
    }
    std::map<std::string, std::size_t> inAnim;
    for (std::size_t j = entries.size(); j-- > 0;) inAnim[entries[j].name] = j;
    auto parentText = [](long long parent, const auto& list) {
        if (parent < 0 || static_cast<std::size_t>(parent) >= list.size()) return std::to_string(parent);
        return std::to_string(parent) + " " + quotedName(list[static_cast<std::size_t>(parent)].name);
    };
    for (std::size_t j = 0; j < std::max(joints.size(), entries.size()); ++j) {
        if (j >= entries.size()) {
            differences.push_back("the mesh's " + jointLabel(j, joints[j].name) + " is not in the animation");
        } else if (j >= joints.size()) {
            differences.push_back("the animation's " + jointLabel(j, entries[j].name) + " is not in the mesh");
        } else if (joints[j].name != entries[j].name) {
            const auto elsewhere = inAnim.find(joints[j].name);
            differences.push_back("joint " + std::to_string(j) + " is " + quotedName(joints[j].name) +
                                  " in the mesh but " + quotedName(entries[j].name) + " in the animation" +
                                  (elsewhere == inAnim.end() ? std::string()
                                                             : " (which has " + quotedName(joints[j].name) +
                                                                   " at " + std::to_string(elsewhere->second) + ")"));
        } else if (joints[j].parent != entries[j].parent) {
            differences.push_back(jointLabel(j, joints[j].name) + " has parent " +
                                  parentText(joints[j].parent, joints) + " in the mesh but " +
                                  parentText(entries[j].parent, entries) + " in the animation");
        }
    }
    if (differences.size() > limit) {
        const std::size_t more = differences.size() - limit;
        differences.resize(limit);
        differences.push_back("and " + std::to_string(more) + " more differences");
    }
    return differences;
}

std::vector<Finding> checkHierarchy(const Md5ModelFile& model, const Md5AnimFile& anim, Engine engine)
{
    std::vector<Finding> findings;
    for (std::string& difference : compareHierarchies(model, anim)) {
        addFinding(findings, "hierarchy", engine, 0, "hierarchy: " + std::move(difference));
    }
    return findings;
}

bool canPose(const std::vector<Finding>& findings)
{
    return std::none_of(findings.begin(), findings.end(), [](const Finding& f) {
        return f.rule == "hierarchy" || f.rule == "parent-order" || f.rule == "start-index" ||
               f.rule == "weight-joint" || f.rule == "weight-range";
    });
}

MeshMeasures measureMesh(const Md5FileMesh& mesh)
{
    MeshMeasures measures;
    std::vector<bool> used(mesh.vertices.size(), false);
    for (const Md5FileTriangle& triangle : mesh.triangles) {
        const long long* c = triangle.corners;
        measures.repeatedCorners += c[0] == c[1] || c[1] == c[2] || c[0] == c[2] ? 1 : 0;
        for (int k = 0; k < 3; ++k) {
            if (c[k] >= 0 && static_cast<std::size_t>(c[k]) < used.size()) used[static_cast<std::size_t>(c[k])] = true;
        }
    }
    measures.unusedVertices = static_cast<std::size_t>(std::count(used.begin(), used.end(), false));
    const auto weights = static_cast<long long>(mesh.weights.size());
    for (const Md5FileVertex& vertex : mesh.vertices) {
        measures.mostWeights = std::max(measures.mostWeights, vertex.weightCount);
        if (vertex.weightCount <= 0 || vertex.firstWeight < 0 || vertex.firstWeight > weights - vertex.weightCount) {
            continue;
        }
        double total = 0.0;
        for (long long w = 0; w < vertex.weightCount; ++w) {
            total += mesh.weights[static_cast<std::size_t>(vertex.firstWeight + w)].bias;
        }
        measures.worstBiasError = std::max(measures.worstBiasError, std::abs(total - 1.0));
    }
    return measures;
}

} // namespace lwmd5
