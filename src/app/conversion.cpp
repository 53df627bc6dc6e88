#include "app/conversion.h"

#include "app/output_check.h"
#include "md5/md5_file.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "platform/report.h"
#include "scene/scene_reader.h"
#include "skin/surface_meshes.h"

#include <algorithm>

namespace lwmd5 {

namespace {

bool isAnimation(Program program)
{
    return program == Program::AnimationConverter;
}

MeshOptions meshOptions(const ConversionOptions& options)
{
    const int limit = options.engine == Engine::Bfg ? kBfgMaxWeights : kMaxVertexWeights;
    return {options.scaleFactor, std::min(options.maxWeights, limit), options.shaderPrefix};
}

SceneMapping mappingOf(const ConversionOptions& options)
{
    return options.engine == Engine::None ? SceneMapping::Specified : SceneMapping::Engine;
}

// The converters' own output takes the first layer and the first surface
// only, and turns the second joint: say so where it costs the user something.
void warnWhatIsLeftOut(Program program, const ConversionInputs& inputs, const Conversion& result, Reporter& report)
{
    const LwoObject& object = inputs.object;
    if (object.meshes.size() > 1) {
        report.warning("the object has " + std::to_string(object.meshes.size()) +
                       " layers; only the first is converted (--engine converts all)");
    }
    if (!isAnimation(program) && object.surfaces.size() > 1) {
        report.warning(std::to_string(object.surfaces.size()) + " surfaces: every triangle gets the shader '" +
                       result.meshes.front().shader + "' (--engine writes one mesh per surface)");
    }
    if (isAnimation(program) && result.joints.size() > 1) {
        const std::vector<Md5Weight>& weights = result.meshes.front().weights;
        if (std::any_of(weights.begin(), weights.end(), [](const Md5Weight& w) { return w.joint == 1; })) {
            report.warning("the second joint '" + result.joints[1].name +
                           "' carries weights; the animation turns it by 90\xC2\xB0 of heading, so the mesh twists "
                           "(--engine doom3 keeps the rig as built)");
        }
    }
}

Conversion convertMesh(Program program, const ConversionInputs& inputs, const JointOrder& order,
                       const ConversionOptions& options, Reporter& report)
{
    Conversion result;
    if (options.engine == Engine::None) {
        result.joints = buildSkeleton(inputs.scene.bones, order, options.scaleFactor);
        reportSkeleton(result.joints, report);
        result.meshes.push_back(buildSkinnedMesh(inputs.object, result.joints, meshOptions(options), report));
        warnWhatIsLeftOut(program, inputs, result, report);
    } else {
        result.joints = buildEngineSkeleton(inputs.scene.bones, order, options.scaleFactor, report);
        result.meshes = buildSurfaceMeshes(inputs.object, result.joints, meshOptions(options), report);
        result.boundsSpace = BoundsSpace::ModelSpace;
    }
    return result;
}

Conversion convertAnimation(const ConversionInputs& inputs, const JointOrder& order,
                            const ConversionOptions& options, Reporter& report)
{
    Conversion result = convertMesh(Program::AnimationConverter, inputs, order, options, report);
    const Scene& scene = inputs.scene;
    const SceneMapping mapping = mappingOf(options);
    result.channels = computeJointChannels(result.joints, scene, options.scaleFactor, options.threads, mapping);
    result.bounds = computeFrameBounds(result.joints, result.channels, result.meshes, options.threads, mapping);
    result.firstFrame = scene.firstFrame;
    result.framesPerSecond = scene.framesPerSecond;
    return result;
}

// Doom 3 BFG keeps vertex indices in 16 bits and skins with at most 256 joints.
bool fitsEngine(const Conversion& conversion, const ConversionOptions& options, const std::string& scenePath,
                Reporter& report)
{
    if (options.engine != Engine::Bfg) return true;
    if (conversion.joints.size() > kBfgMaxJoints) {
        report.error(scenePath + ": the skeleton has " + std::to_string(conversion.joints.size()) +
                     " joints (the origin joint included); Doom 3 BFG takes at most 256");
        return false;
    }
    for (const Md5Mesh& mesh : conversion.meshes) {
        if (mesh.vertices.size() > kBfgMaxVertices) {
            report.error(scenePath + ": the mesh of shader '" + mesh.shader + "' has " +
                         std::to_string(mesh.vertices.size()) + " vertices; Doom 3 BFG takes at most 65535 a mesh");
            return false;
        }
    }
    return true;
}

bool isFinite(Program program, const Conversion& conversion, const std::string& scenePath, Reporter& report)
{
    if (isAnimation(program)) {
        return checkAnimationOutputIsFinite(conversion.joints, conversion.channels, conversion.bounds,
                                            conversion.firstFrame, scenePath, report);
    }
    return checkMeshOutputIsFinite(conversion.joints, conversion.meshes, scenePath, report);
}

} // namespace

std::optional<ConversionInputs> readInputs(Program program, const std::string& scenePath,
                                           const std::string& objectPath, const ConversionOptions& options,
                                           Reporter& report)
{
    std::optional<Scene> scene =
        isAnimation(program) ? readScene(scenePath, report, options.threads) : readSceneBones(scenePath, report);
    if (!scene) return std::nullopt;
    std::optional<LwoObject> object = loadLwoObject(objectPath, report);
    if (!object) return std::nullopt;
    return ConversionInputs{scenePath, objectPath, std::move(*scene), std::move(*object)};
}

std::optional<ConversionInputs> parseInputs(Program program, std::string_view sceneText,
                                            std::span<const std::uint8_t> objectBytes, const std::string& scenePath,
                                            const std::string& objectPath, const ConversionOptions& options,
                                            Reporter& report)
{
    const SceneFlavour flavour = isAnimation(program) ? SceneFlavour::Full : SceneFlavour::BonesOnly;
    Scene scene = parseScene(sceneText, flavour, report, scenePath, options.threads);
    std::optional<LwoObject> object = parseLwoObject(objectBytes, report, objectPath);
    if (!object) return std::nullopt;
    return ConversionInputs{scenePath, objectPath, std::move(scene), std::move(*object)};
}

std::optional<Conversion> convert(Program program, const ConversionInputs& inputs, const ConversionOptions& options,
                                  const RunLimits& limits, Reporter& report)
{
    const ValidationInputs checked{inputs.scene,        inputs.object,
                                   inputs.scenePath,    inputs.objectPath,
                                   isAnimation(program), options.engine != Engine::None};
    const std::optional<JointOrder> order = validateInputs(checked, limits, report);
    if (!order) return std::nullopt;
    std::optional<Conversion> result = isAnimation(program) ? convertAnimation(inputs, *order, options, report)
                                                            : convertMesh(program, inputs, *order, options, report);
    if (!fitsEngine(*result, options, inputs.scenePath, report)) return std::nullopt;
    if (!isFinite(program, *result, inputs.scenePath, report)) return std::nullopt;
    return result;
}

void formatConversion(Program program, const Conversion& conversion, TextOutput& output)
{
    if (isAnimation(program)) {
        formatMd5Anim({conversion.joints, conversion.channels, conversion.bounds, conversion.framesPerSecond,
                       conversion.boundsSpace},
                      output);
    } else {
        formatMd5Mesh(conversion.joints, conversion.meshes, output);
    }
}

std::string formatConversion(Program program, const Conversion& conversion)
{
    return formatToString([&](TextOutput& output) { formatConversion(program, conversion, output); });
}

bool writeConversion(Program program, const Conversion& conversion, const std::string& scenePath, Reporter& report)
{
    return writeOutputFile(
        scenePath, isAnimation(program) ? ".md5anim" : ".md5mesh",
        [&](TextOutput& output) { formatConversion(program, conversion, output); }, report);
}

} // namespace lwmd5
