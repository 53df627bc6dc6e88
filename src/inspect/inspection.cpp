#include "inspect/inspection.h"

#include <algorithm>

namespace lwmd5 {

namespace {

std::size_t countSeverity(const std::vector<Finding>& findings, Severity severity)
{
    return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                  [severity](const Finding& f) { return f.severity == severity; }));
}

void append(std::vector<Finding>& to, std::vector<Finding> from)
{
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

} // namespace

std::size_t Inspection::errorCount() const
{
    std::size_t errors = (model.read ? 0 : 1) + countSeverity(model.findings, Severity::Error);
    for (const InspectedAnim& anim : anims) {
        errors += (anim.read ? 0 : 1) + countSeverity(anim.findings, Severity::Error);
    }
    return errors;
}

std::size_t Inspection::warningCount() const
{
    std::size_t warnings = countSeverity(model.findings, Severity::Warning);
    for (const InspectedAnim& anim : anims) warnings += countSeverity(anim.findings, Severity::Warning);
    return warnings;
}

void inspectModel(InspectedModel& inspected, Engine engine)
{
    if (!inspected.read) return;
    inspected.findings = checkModel(inspected.model, engine);
    inspected.measures.clear();
    for (const Md5FileMesh& mesh : inspected.model.meshes) inspected.measures.push_back(measureMesh(mesh));
    inspected.bindBox = bindPoseBox(inspected.model);
}

void inspectAnim(const InspectedModel& model, InspectedAnim& inspected, Engine engine, unsigned threads)
{
    if (!inspected.read) return;
    inspected.findings = checkAnim(inspected.anim, engine);
    if (!model.read) return;
    inspected.compared = true;
    inspected.differences = compareHierarchies(model.model, inspected.anim);
    append(inspected.findings, checkHierarchy(model.model, inspected.anim, engine));
    // Posing a hierarchy that differs from the mesh's would compare unrelated
    // joints; posing a broken one would follow the workaround, not the file.
    if (!canPose(inspected.findings) || !canPose(model.findings) || inspected.anim.frameCount() == 0) return;
    inspected.posed = true;
    inspected.firstFrame = compareWithBindPose(model.model, inspected.anim, 0);
    inspected.bounds = classifyBounds(model.model, inspected.anim, threads);
    append(inspected.findings, checkBounds(inspected.bounds, inspected.anim, engine));
}

Inspection inspectFiles(const std::string& modelPath, const std::vector<std::string>& animPaths, Engine engine,
                        Reporter& report, unsigned threads)
{
    Inspection inspection;
    inspection.engine = engine;
    inspection.model.path = modelPath;
    inspection.model.read = loadMd5Model(modelPath, inspection.model.model, report);
    inspectModel(inspection.model, engine);
    for (const std::string& path : animPaths) {
        InspectedAnim& anim = inspection.anims.emplace_back();
        anim.path = path;
        anim.read = loadMd5Anim(path, anim.anim, report);
        inspectAnim(inspection.model, anim, engine, threads);
    }
    return inspection;
}

} // namespace lwmd5
