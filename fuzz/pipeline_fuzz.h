#pragma once

// The whole run of one program, from the two inputs' bytes to the md5 text in
// memory, with the checks an engine loading the output would make.

#include "app/command_line.h"
#include "app/output_check.h"
#include "app/pipelines.h"
#include "app/validation.h"
#include "fuzz_input.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "object/lwo_reader.h"
#include "scene/scene_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace lwmd5::fuzz {

// Small enough that one input's legitimate work stays far below the per-input
// time limit, so a timeout means a fault rather than a long animation.
constexpr std::int64_t kFuzzMaxJointSamples = 20'000;
// Frames times the things posed at each frame (points, split vertices,
// weights, keys): inputs above this are skipped after validation.
constexpr std::int64_t kFuzzMaxFrameWork = 5'000'000;

inline std::int64_t frameWork(const Scene& scene)
{
    std::int64_t perFrame = static_cast<std::int64_t>(scene.bones.size());
    for (const LwoMesh& mesh : scene.object.meshes) perFrame += mesh.pointCount();
    for (const LwoUvFixMap& map : scene.object.uvFixMaps) perFrame += static_cast<std::int64_t>(map.entries.size());
    for (const LwoWeightMap& map : scene.object.weightMaps) perFrame += static_cast<std::int64_t>(map.entries.size());
    for (const Bone& bone : scene.bones) {
        for (std::size_t c = 0; c < 6; ++c) perFrame += static_cast<std::int64_t>(bone.channels[c].keys.size());
    }
    return scene.frameCount() * perFrame;
}

// What a loader of the written mesh would check: parents before children,
// every vertex weighted by joints that exist, triangle corners in range.
inline void checkStageResults(const Scene& scene)
{
    const auto jointCount = static_cast<std::int64_t>(scene.joints.size());
    for (std::int64_t j = 0; j < jointCount; ++j) {
        const int parent = scene.joints[static_cast<std::size_t>(j)].parentIndex;
        if (parent < -1 || parent >= j) __builtin_trap();
    }
    if (scene.outputMeshes.size() != 1) __builtin_trap();
    const Md5Mesh& mesh = scene.outputMeshes.front();
    const auto vertexCount = static_cast<std::int64_t>(mesh.vertices.size());
    const auto weightCount = static_cast<std::int64_t>(mesh.weights.size());
    for (const Md5Triangle& triangle : mesh.triangles) {
        for (const std::int32_t corner : triangle.corners) {
            if (corner < 0 || corner >= vertexCount) __builtin_trap();
        }
    }
    for (const Md5Vertex& vertex : mesh.vertices) {
        if (vertex.weightCount < 1 || vertex.weightCount > kMaxVertexWeights) __builtin_trap();
        if (vertex.firstWeight < 0 || vertex.firstWeight + std::int64_t{vertex.weightCount} > weightCount) {
            __builtin_trap();
        }
    }
    for (const Md5Weight& weight : mesh.weights) {
        if (weight.joint < 0 || weight.joint >= jointCount) __builtin_trap();
    }
}

// True when a line of md5 text holds a number spelled "nan" or "inf".
// Quoted names and the comments after "//" are text, not numbers.
inline bool holdsNonFiniteNumber(std::string_view text)
{
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        std::string_view line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        std::string numbers;
        bool quoted = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"') {
                quoted = !quoted;
                numbers += ' ';
            } else if (!quoted && line.substr(i, 2) == "//") {
                break;
            } else {
                numbers += quoted ? ' ' : line[i];
            }
        }
        for (std::size_t at = 0; (at = numbers.find_first_not_of(" \t()", at)) != std::string::npos;) {
            const std::size_t end = std::min(numbers.find_first_of(" \t()", at), numbers.size());
            std::string_view token = std::string_view(numbers).substr(at, end - at);
            if (!token.empty() && token.front() == '-') token.remove_prefix(1);
            if (token == "nan" || token == "inf") return true;
            at = end;
        }
    }
    return false;
}

inline void runPipeline(const std::uint8_t* data, std::size_t size, bool animation)
{
    const PipelineInput input = splitPipelineInput(data, size);
    DiscardReporter report;
    Scene scene;
    if (!input.scale.empty()) {
        const std::optional<float> scale = parseScaleFactor(input.scale);
        if (!scale) return; // the program stops with a usage error
        scene.scaleFactor = *scale;
    }
    parseScene(input.scene, scene, animation ? SceneFlavour::Full : SceneFlavour::BonesOnly, report, "fuzz.lws");
    if (!parseLwoObject(input.object, scene.object, report, "fuzz.lwo")) return;

    RunInputs inputs{"fuzz.lws", "fuzz.lwo", animation, kFuzzMaxJointSamples};
    if (!validateInputs(scene, inputs, report)) return;
    if (animation && frameWork(scene) > kFuzzMaxFrameWork) return;

    if (animation) {
        convertAnimation(scene, report);
    } else {
        convertMesh(scene, report);
    }
    checkStageResults(scene);
    // The program refuses output with numbers that are not finite.
    const bool finite = animation ? checkAnimationOutputIsFinite(scene, "fuzz.lws", report)
                                  : checkMeshOutputIsFinite(scene, "fuzz.lws", report);
    if (!finite) return;
    if (animation) {
        const auto frames = static_cast<std::size_t>(scene.frameCount());
        if (scene.frameBounds.size() != frames) __builtin_trap();
        for (const Joint& joint : scene.joints) {
            if (joint.framePositions.size() != frames || joint.frameOrientations.size() != frames) __builtin_trap();
        }
    }
    const std::string text = animation ? formatMd5Anim(scene) : formatMd5Mesh(scene);
    if (text.rfind("MD5Version 10\n", 0) != 0) __builtin_trap();
    // Names are written between quotes as they stand; one holding a quote or
    // a line end leaves the text ambiguous, and the scan is skipped.
    bool plainNames = scene.outputMeshes.front().shader.find_first_of("\"\r\n") == std::string::npos;
    for (const Joint& joint : scene.joints) {
        plainNames = plainNames && joint.name.find_first_of("\"\r\n") == std::string::npos &&
                     joint.parentName.find_first_of("\"\r\n") == std::string::npos;
    }
    if (plainNames && holdsNonFiniteNumber(text)) __builtin_trap();
}

// The per-frame stages run on one thread here: the fuzzer measures each input
// alone, and thread start-up would dominate the small inputs.
inline void useOneFrameThread()
{
    setenv("LWMD5_THREADS", "1", 1);
}

} // namespace lwmd5::fuzz
