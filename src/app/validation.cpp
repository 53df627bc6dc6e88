#include "app/validation.h"

#include "platform/report.h"
#include "skin/skeleton.h"

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

bool checkSkeleton(const Scene& scene, const RunInputs& inputs, Reporter& report)
{
    if (scene.bones.empty()) {
        report.error(inputs.scenePath + ": the scene has no bones (no AddBone line)");
        return false;
    }
    for (const Bone& bone : scene.bones) {
        if (!checkNameQuotable(inputs.scenePath, "the bone name", bone.name, report)) return false;
    }
    std::vector<std::string> names;
    std::vector<std::string> parentNames;
    for (const Bone& bone : scene.bones) {
        names.push_back(bone.name);
        parentNames.push_back(parentBoneName(scene.bones, bone));
    }
    const JointOrder plan = planJointOrder(names, parentNames);
    if (!plan.cycle.empty()) {
        std::vector<std::string> cycle;
        for (const int record : plan.cycle) cycle.push_back(names[static_cast<std::size_t>(record)]);
        report.error(inputs.scenePath + ": the parents of the bones " + quotedList(cycle) +
                     " form a cycle, so no bone of them has a root");
        return false;
    }
    return true;
}

bool checkFrames(const Scene& scene, const RunInputs& inputs, Reporter& report)
{
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
    if (samples > inputs.maxJointSamples) {
        report.error(inputs.scenePath + ": the preview range of " + std::to_string(scene.frameCount()) +
                     " frames for " + std::to_string(scene.bones.size()) + " bones asks for " +
                     std::to_string(samples) + " joint samples; at most " + std::to_string(inputs.maxJointSamples) +
                     " fit in memory");
        return false;
    }
    return true;
}

bool checkObject(const Scene& scene, const RunInputs& inputs, Reporter& report)
{
    const LwoObject& object = scene.object;
    if (object.meshes.empty()) {
        report.error(inputs.objectPath + ": the object holds no point set (PNTS chunk)");
        return false;
    }
    const LwoMesh& mesh = object.meshes.front();
    if (mesh.points.empty()) {
        report.warning(inputs.objectPath + ": the first point set has no points; the mesh stays empty");
    } else if (mesh.triangles.empty()) {
        report.warning(inputs.objectPath + ": the first point set has no triangles");
    }
    if (object.surfaces.empty()) {
        report.warning(inputs.objectPath + ": the object has no surface; the shader name stays empty");
    } else if (!inputs.animation &&
               !checkNameQuotable(inputs.objectPath, "the surface name", object.surfaces.front().name, report)) {
        return false;
    }
    if (object.uvMaps.empty()) {
        report.warning(inputs.objectPath + ": the object has no UV map; every vertex gets (0, 0)");
    }
    return true;
}

} // namespace

bool validateInputs(const Scene& scene, const RunInputs& inputs, Reporter& report)
{
    if (!checkSkeleton(scene, inputs, report)) return false;
    if (inputs.animation && !checkFrames(scene, inputs, report)) return false;
    return checkObject(scene, inputs, report);
}

void reportSkeleton(const Scene& scene, Reporter& report)
{
    std::unordered_map<std::string_view, std::size_t> firstIndex;
    for (std::size_t i = 0; i < scene.joints.size(); ++i) firstIndex.emplace(scene.joints[i].name, i);
    std::size_t roots = 0;
    for (std::size_t i = 0; i < scene.joints.size(); ++i) {
        const Joint& joint = scene.joints[i];
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
