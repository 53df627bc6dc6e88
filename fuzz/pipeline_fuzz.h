#pragma once

// The whole run of one program, from the two inputs' bytes to the md5 text in
// memory, with the checks an engine loading the output would make.

#include "app/command_line.h"
#include "app/conversion.h"
#include "app/options.h"
#include "fuzz_input.h"
#include "platform/report.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lwmd5::fuzz {

// Small enough that one input's legitimate work stays far below the per-input
// time limit, so a timeout means a fault rather than a long animation.
constexpr RunLimits kFuzzLimits{20'000, 5'000'000};

// What a loader of the written mesh would check: parents before children,
// every vertex weighted by joints that exist, triangle corners in range, and
// one frame of each joint for each bounds line.
inline void checkStageResults(const Conversion& conversion, bool animation)
{
    const auto jointCount = static_cast<std::int64_t>(conversion.joints.size());
    for (std::int64_t j = 0; j < jointCount; ++j) {
        const int parent = conversion.joints[static_cast<std::size_t>(j)].parentIndex;
        if (parent < -1 || parent >= j) __builtin_trap();
    }
    if (conversion.meshes.empty()) __builtin_trap();
    for (const Md5Mesh& mesh : conversion.meshes) {
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
    if (!animation) return;
    if (conversion.channels.size() != conversion.joints.size()) __builtin_trap();
    for (const JointChannels& joint : conversion.channels) {
        if (joint.framePositions.size() != conversion.bounds.size() ||
            joint.frameOrientations.size() != conversion.bounds.size()) {
            __builtin_trap();
        }
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

// Names are written between quotes as they stand; one holding a quote or a
// line end leaves the text ambiguous for a scan.
inline bool hasPlainNames(const Conversion& conversion)
{
    const auto plain = [](const std::string& name) { return name.find_first_of("\"\r\n") == std::string::npos; };
    for (const Md5Mesh& mesh : conversion.meshes) {
        if (!plain(mesh.shader)) return false;
    }
    return std::all_of(conversion.joints.begin(), conversion.joints.end(),
                       [&](const Joint& joint) { return plain(joint.name) && plain(joint.parentName); });
}

// The per-frame stages run on one thread here: the fuzzer measures each input
// alone, and thread start-up would dominate the small inputs.
inline void runPipeline(const std::uint8_t* data, std::size_t size, Program program)
{
    const PipelineInput input = splitPipelineInput(data, size);
    SilentReporter report;
    ConversionOptions options;
    ParsedOptions given;
    given.given = input.options;
    std::string problem;
    if (!readConversionOptions(given, options, problem)) return; // the program stops with a usage error
    if (!input.scale.empty()) {
        const std::optional<float> scale = parseScaleFactor(input.scale, problem);
        if (!scale) return; // the program stops with a usage error
        options.scaleFactor = *scale;
    }
    const std::optional<ConversionInputs> inputs =
        parseInputs(program, input.scene, input.object, "fuzz.lws", "fuzz.lwo", options, report);
    if (!inputs) return;
    const std::optional<Conversion> conversion = convert(program, *inputs, options, kFuzzLimits, report);
    if (!conversion) return;
    checkStageResults(*conversion, program == Program::AnimationConverter);
    const std::string text = formatConversion(program, *conversion);
    if (text.rfind("MD5Version 10\n", 0) != 0) __builtin_trap();
    // The program refuses output with numbers that are not finite.
    if (hasPlainNames(*conversion) && holdsNonFiniteNumber(text)) __builtin_trap();
}

} // namespace lwmd5::fuzz
