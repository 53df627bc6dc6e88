#include "app/validation.h"

#include "platform/report.h"
#include "skin/skeleton.h"

#include <algorithm>
#include <unordered_map>

namespace lwmd5 {

namespace {

std::string quotedList(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ", ";
        text += "'" + names[i] + "'";
    }
    return text;
}

// md5 files quote names and have no escapes: a double quote or a line break
// inside a name would end it early and break the file for every loader.
const char* unquotableCharacter(const std::string& name)
{
    for (const char c : name) {
        if (c == '"') return "a double quote";
        if (c == '\n' || c == '\r') return "a line break";
    }
    return nullptr;
}

// The name as one line of a message: line breaks shown as \n and \r.
std::string oneLine(const std::string& name)
{
    std::string shown;
    for (const char c : name) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else {
            shown += c;
        }
    }
    return shown;
}

bool checkNameQuotable(const std::string& file, const std::string& what, const std::string& name, Reporter& report)
{
    const char* character = unquotableCharacter(name);
    if (character == nullptr) return true;
    report.error(file + ": " + what + " '" + oneLine(name) + "' holds " + character +
                 ", which a name in an md5 file cannot hold");
    return false;
}

// The joint order, unless the bones cannot make a skeleton.
std::optional<JointOrder> checkSkeleton(const ValidationInputs& inputs, Reporter& report)
{
    const std::vector<Bone>& bones = inputs.scene.bones;
    if (bones.empty()) {
        report.error(inputs.scenePath + ": the scene has no bones (no AddBone line)");
        return std::nullopt;
    }
    for (const Bone& bone : bones) {
        if (!checkNameQuotable(inputs.scenePath, "the bone name", bone.name, report)) return std::nullopt;
    }
    JointOrder plan = planJointOrder(bones);
    if (!plan.cycle.empty()) {
        std::vector<std::string> cycle;
        for (const int record : plan.cycle) cycle.push_back(bones[static_cast<std::size_t>(record)].name);
        report.error(inputs.scenePath + ": the parents of the bones " + quotedList(cycle) +
                     " form a cycle, so no bone of them has a root");
        return std::nullopt;
    }
    return plan;
}

// Frames times what each frame samples and poses.
std::int64_t frameWork(const ValidationInputs& inputs)
{
    std::int64_t perFrame = static_cast<std::int64_t>(inputs.scene.bones.size());
    for (const LwoMesh& mesh : inputs.object.meshes) perFrame += mesh.pointCount();
    for (const LwoUvFixMap& map : inputs.object.uvFixMaps) perFrame += static_cast<std::int64_t>(map.entries.size());
    for (const LwoWeightMap& map : inputs.object.weightMaps) perFrame += static_cast<std::int64_t>(map.entries.size());
    for (const Bone& bone : inputs.scene.bones) {
        for (std::size_t c = 0; c < 6; ++c) perFrame += static_cast<std::int64_t>(bone.channels[c].keys.size());
    }
    return inputs.scene.frameCount() * perFrame;
}

bool checkFrames(const ValidationInputs& inputs, const RunLimits& limits, Reporter& report)
{
    const Scene& scene = inputs.scene;
    if (scene.framesPerSecond <= 0) {
        report.error(inputs.scenePath + ": the frame rate (FramesPerSecond) is " +
                     std::to_string(scene.framesPerSecond) + "; it must be 1 or more");
        return false;
    }
    if (scene.lastFrame < scene.firstFrame) {
        report.error(inputs.scenePath + ": the last frame (PreviewLastFrame " + std::to_string(scene.lastFrame) +
                     ") comes before the first frame (PreviewFirstFrame " + std::to_string(scene.firstFrame) + ")");
        return false;
    }
    const std::int64_t samples = scene.frameCount() * static_cast<std::int64_t>(scene.bones.size());
    if (samples > limits.maxJointSamples) {
        report.error(inputs.scenePath + ": the preview range of " + std::to_string(scene.frameCount()) +
                     " frames for " + std::to_string(scene.bones.size()) + " bones asks for " +
                     std::to_string(samples) + " joint samples; at most " + std::to_string(limits.maxJointSamples) +
                     " fit in memory");
        return false;
    }
    if (frameWork(inputs) > limits.maxFrameWork) {
        report.error(inputs.scenePath + ": the animation asks for more work than this run allows");
        return false;
    }
    return true;
}

// Engine output writes a mesh per surface, named by the surface or by the
// polygons' tag: each of those names must go between quotes.
bool checkShaderNames(const ValidationInputs& inputs, Reporter& report)
{
    const LwoObject& object = inputs.object;
    if (inputs.animation || object.surfaces.empty()) return true;
    if (!inputs.engine) return checkNameQuotable(inputs.objectPath, "the surface name", object.surfaces.front().name, report);
    for (const LwoSurface& surface : object.surfaces) {
        if (!checkNameQuotable(inputs.objectPath, "the surface name", surface.name, report)) return false;
    }
    for (const std::string& tag : object.tags) {
        if (!checkNameQuotable(inputs.objectPath, "the surface tag", tag, report)) return false;
    }
    return true;
}

void checkGeometry(const ValidationInputs& inputs, Reporter& report)
{
    const LwoObject& object = inputs.object;
    if (inputs.engine) {
        const bool triangles = std::any_of(object.meshes.begin(), object.meshes.end(),
                                           [](const LwoMesh& mesh) { return !mesh.triangles.empty(); });
        if (!triangles) report.warning(inputs.objectPath + ": the object has no triangles in any layer");
        return;
    }
    const LwoMesh& mesh = object.meshes.front();
    if (mesh.points.empty()) {
        report.warning(inputs.objectPath + ": the first point set has no points; the mesh stays empty");
    } else if (mesh.triangles.empty()) {
        report.warning(inputs.objectPath + ": the first point set has no triangles");
    }
}

bool checkObject(const ValidationInputs& inputs, Reporter& report)
{
    const LwoObject& object = inputs.object;
    if (object.meshes.empty()) {
        report.error(inputs.objectPath + ": the object holds no point set (PNTS chunk)");
        return false;
    }
    checkGeometry(inputs, report);
    if (object.surfaces.empty()) {
        report.warning(inputs.objectPath + ": the object has no surface; the shader name stays empty");
    } else if (!checkShaderNames(inputs, report)) {
        return false;
    }
    if (object.uvMaps.empty()) {
        report.warning(inputs.objectPath + ": the object has no UV map; every vertex gets (0, 0)");
    }
    return true;
}

} // namespace

std::optional<JointOrder> validateInputs(const ValidationInputs& inputs, const RunLimits& limits, Reporter& report)
{
    std::optional<JointOrder> plan = checkSkeleton(inputs, report);
    if (!plan) return std::nullopt;
    if (inputs.animation && !checkFrames(inputs, limits, report)) return std::nullopt;
    if (!checkObject(inputs, report)) return std::nullopt;
    return plan;
}

void reportSkeleton(const std::vector<Joint>& joints, Reporter& report)
{
    std::unordered_map<std::string_view, std::size_t> firstIndex;
    for (std::size_t i = 0; i < joints.size(); ++i) firstIndex.emplace(joints[i].name, i);
    std::size_t roots = 0;
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const Joint& joint = joints[i];
        if (joint.parentIndex >= 0) continue;
        ++roots;
        const auto found = firstIndex.find(joint.parentName);
        if (found != firstIndex.end() && found->second == i) {
            report.warning(joint.name.empty()
                               ? std::string("a bone without a name matches its own empty parent name; it becomes a root")
                               : "bone '" + joint.name + "' names itself as its parent; it becomes a root");
        }
    }
    if (roots > 1) {
        report.warning("the skeleton has " + std::to_string(roots) +
                       " root joints; some engines accept only one root in an animation");
    }
}

} // namespace lwmd5
