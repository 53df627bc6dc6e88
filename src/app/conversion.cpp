#include "app/conversion.h"

#include "app/output_check.h"
#include "md5/md5_file.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "scene/scene_reader.h"

namespace lwmd5 {

namespace {

bool isAnimation(Program program)
{
    return program == Program::AnimationConverter;
}

Conversion convertMesh(const ConversionInputs& inputs, const JointOrder& order, const ConversionOptions& options,
                       Reporter& report)
{
    Conversion result;
    result.joints = buildSkeleton(inputs.scene.bones, order, options.scaleFactor);
    reportSkeleton(result.joints, report);
    result.meshes.push_back(buildSkinnedMesh(inputs.object, result.joints, options.scaleFactor, report));
    return result;
}

Conversion convertAnimation(const ConversionInputs& inputs, const JointOrder& order,
                            const ConversionOptions& options, Reporter& report)
{
    Conversion result = convertMesh(inputs, order, options, report);
    const Scene& scene = inputs.scene;
    result.channels = computeJointChannels(result.joints, scene, options.scaleFactor, options.threads);
    result.bounds = computeFrameBounds(result.joints, result.channels, result.meshes, options.threads);
    result.firstFrame = scene.firstFrame;
    result.framesPerSecond = scene.framesPerSecond;
    return result;
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
    const ValidationInputs checked{inputs.scene, inputs.object, inputs.scenePath, inputs.objectPath,
                                   isAnimation(program)};
    const std::optional<JointOrder> order = validateInputs(checked, limits, report);
    if (!order) return std::nullopt;
    std::optional<Conversion> result = isAnimation(program) ? convertAnimation(inputs, *order, options, report)
                                                            : convertMesh(inputs, *order, options, report);
    if (!isFinite(program, *result, inputs.scenePath, report)) return std::nullopt;
    return result;
}

void formatConversion(Program program, const Conversion& conversion, TextOutput& output)
{
    if (isAnimation(program)) {
        formatMd5Anim(conversion.joints, conversion.channels, conversion.bounds, conversion.framesPerSecond, output);
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
