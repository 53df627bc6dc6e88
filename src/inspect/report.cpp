#include "inspect/report.h"

#include "md5/md5_text.h"

#include <algorithm>
#include <cmath>

namespace lwmd5 {

namespace {

// Deep chains are indented no further than this, so the tree of a hostile
// file stays linear in its joint count.
constexpr std::size_t kDeepestIndent = 24;

std::string fixed(double value)
{
    std::string text;
    appendFixed(text, value);
    return text;
}

// A whole number without decimals (frame rates are mostly whole).
std::string shortNumber(double value)
{
    if (value == std::trunc(value) && std::abs(value) < 1e15) return std::to_string(static_cast<long long>(value));
    return fixed(value);
}

std::string boxText(const Md5Box& box)
{
    std::string text = "( ";
    appendFixedTriple(text, box.min.x, box.min.y, box.min.z);
    text += " ) to ( ";
    appendFixedTriple(text, box.max.x, box.max.y, box.max.z);
    return text + " )";
}

std::string plural(std::size_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

template <typename Joints>
std::string jointName(const Joints& joints, std::size_t index)
{
    return index < joints.size() ? "'" + joints[index].name + "'" : "?";
}

void appendFindings(std::string& out, const std::string& path, const std::vector<Finding>& findings)
{
    if (findings.empty()) out += "  no problems found\n";
    for (const Finding& f : findings) {
        out += f.severity == Severity::Error ? "  error: " : "  warning: ";
        out.append(path);
        if (f.line > 0) out.append(":").append(std::to_string(f.line));
        out.append(": ").append(f.text).append(" [").append(f.rule).append("]\n");
    }
}

void appendJointTree(std::string& out, const std::vector<Md5FileJoint>& joints)
{
    std::vector<std::size_t> depth(joints.size(), 0);
    std::size_t roots = 0;
    for (std::size_t j = 0; j < joints.size(); ++j) {
        const long long parent = joints[j].parent;
        const bool earlier = parent >= 0 && static_cast<std::size_t>(parent) < j;
        depth[j] = earlier ? depth[static_cast<std::size_t>(parent)] + 1 : 0;
        roots += earlier ? 0 : 1;
    }
    out += "  joints: " + std::to_string(joints.size()) + " (" + plural(roots, "root", "roots") + ")\n";
    for (std::size_t j = 0; j < joints.size(); ++j) {
        out += std::string(4 + 2 * std::min(depth[j], kDeepestIndent), ' ');
        out += std::to_string(j) + " \"" + joints[j].name + "\"\n";
    }
}

void appendModel(std::string& out, const InspectedModel& inspected)
{
    out += inspected.path;
    if (!inspected.read) {
        out += ": not read (see the error above)\n";
        return;
    }
    const Md5ModelFile& model = inspected.model;
    out += ": md5mesh, MD5Version " + std::to_string(model.version) + ", " +
           plural(model.joints.size(), "joint", "joints") + ", " + plural(model.meshes.size(), "mesh", "meshes") +
           "\n";
    appendJointTree(out, model.joints);
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        const Md5FileMesh& mesh = model.meshes[m];
        const MeshMeasures& measures = inspected.measures[m];
        out += "  mesh " + std::to_string(m) + ", shader \"" + mesh.shader + "\": " +
               plural(mesh.vertices.size(), "vertex", "vertices") + ", " +
               plural(mesh.triangles.size(), "triangle", "triangles") + ", " +
               plural(mesh.weights.size(), "weight", "weights") + "\n";
        const auto most = static_cast<std::size_t>(std::max(0LL, measures.mostWeights));
        out += "    at most " + plural(most, "weight", "weights") + " on a vertex; worst |sum of biases - 1|: " + fixed(measures.worstBiasError) + "\n";
        out += "    unused vertices: " + std::to_string(measures.unusedVertices) +
               "; triangles with a repeated corner: " + std::to_string(measures.repeatedCorners) + "\n";
    }
    out += "  bind-pose box: " + boxText(inspected.bindBox) + "\n";
    appendFindings(out, inspected.path, inspected.findings);
}

std::string_view readingName(BoundsReading reading)
{
    switch (reading) {
    case BoundsReading::ModelSpace: return "model-space boxes of the posed mesh, as engines read them";
    case BoundsReading::RelativeToJoint0: return "boxes relative to joint 0";
    case BoundsReading::Both: return "both readings (joint 0 stays at the origin)";
    case BoundsReading::Neither: return "neither reading";
    }
    return "";
}

void appendPoseChecks(std::string& out, const InspectedAnim& inspected, const Md5ModelFile& model)
{
    const PoseDistance& d = inspected.firstFrame;
    out += "  frame 0 against the bind pose: joints up to " + fixed(d.position) + " apart (" +
           jointName(model.joints, d.positionJoint) + "), turned up to " + fixed(d.degrees) + " degrees (" +
           jointName(model.joints, d.angleJoint) + ")\n";
    const BoundsCheck& b = inspected.bounds;
    out += "  bounds against the posed mesh: model space off by up to " + fixed(b.worstModel) + " (frame " +
           std::to_string(b.worstModelFrame) + "), relative to joint 0 off by up to " + fixed(b.worstRelative) +
           " (frame " + std::to_string(b.worstRelativeFrame) + ")\n";
    out += "  bounds follow: " + std::string(readingName(b.reading)) + "\n";
}

void appendAnim(std::string& out, const InspectedAnim& inspected, const InspectedModel& model)
{
    out.append("\n").append(inspected.path);
    if (!inspected.read) {
        out += ": not read (see the error above)\n";
        return;
    }
    const Md5AnimFile& anim = inspected.anim;
    out += ": md5anim, MD5Version " + std::to_string(anim.version) + ", " +
           plural(anim.frameCount(), "frame", "frames") + " at " + shortNumber(anim.frameRate) + " per second, " +
           plural(static_cast<std::size_t>(anim.animatedComponents), "animated component", "animated components") +
           ", " + plural(anim.hierarchy.size(), "joint", "joints") + "\n";
    if (!inspected.compared) {
        out += "  hierarchy: not compared (the mesh was not read)\n";
    } else if (inspected.differences.empty()) {
        out += "  hierarchy: matches the mesh (names, parents and order)\n";
    } else {
        out += "  hierarchy: differs from the mesh\n";
        for (const std::string& difference : inspected.differences) out += "    " + difference + "\n";
    }
    if (inspected.posed) {
        appendPoseChecks(out, inspected, model.model);
    } else if (inspected.compared) {
        out += "  not posed: the joints do not match the mesh or cannot be built\n";
    }
    appendFindings(out, inspected.path, inspected.findings);
}

} // namespace

std::string_view engineName(Engine engine)
{
    return engine == Engine::Doom3 ? "doom3" : engine == Engine::Bfg ? "bfg" : "any";
}

std::string formatReport(const Inspection& inspection)
{
    std::string out = "rules: ";
    out += inspection.engine == Engine::None ? std::string("any engine (--engine doom3 or bfg for one engine's)")
                                            : std::string(engineName(inspection.engine));
    out += "\n\n";
    appendModel(out, inspection.model);
    for (const InspectedAnim& anim : inspection.anims) appendAnim(out, anim, inspection.model);
    out.append("\n").append(plural(inspection.errorCount(), "error", "errors")).append(", ");
    out.append(plural(inspection.warningCount(), "warning", "warnings")).append("\n");
    return out;
}

} // namespace lwmd5
