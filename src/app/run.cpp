#include "app/run.h"

#include "app/command_line.h"
#include "app/options.h"
#include "md5/md5_text.h"
#include "platform/report.h"


namespace lwmd5 {

namespace {

std::string counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "13 joints, 1 mesh, 741 vertices, 1176 triangles" or "13 joints, 61 frames at 30 fps".
std::string describe(Program program, const Conversion& conversion)
{
    std::string text = counted(conversion.joints.size(), "joint", "joints");
    if (program == Program::AnimationConverter) {
        return text + ", " + counted(conversion.bounds.size(), "frame", "frames") + " at " +
               std::to_string(conversion.framesPerSecond) + " fps";
    }
    std::size_t vertices = 0;
    std::size_t triangles = 0;
    for (const Md5Mesh& mesh : conversion.meshes) {
        vertices += mesh.vertices.size();
        triangles += mesh.triangles.size();
    }
    return text + ", " + counted(conversion.meshes.size(), "mesh", "meshes") + ", " +
           counted(vertices, "vertex", "vertices") + ", " + counted(triangles, "triangle", "triangles");
}

} // namespace

int runProgram(Program program, int argc, const char* const* argv)
{
    const bool animation = program == Program::AnimationConverter;
    const ConverterName name{animation ? "animconv" : "meshconv", animation ? "md5anim" : "md5mesh"};
    ConsoleReporter report(name.program);
    printBanner(name);

    int status = kExitSuccess;
    const std::optional<CommandLine> line = parseCommandLine(name, argc, argv, report, status);
    if (!line) return status;
    report.showDebugLines(line->verbose);

    ConversionOptions options = line->options;
    options.threads = threadsFromEnvironment();
    const std::optional<ConversionInputs> inputs = readInputs(program, line->scenePath, line->objectPath, options, report);
    if (!inputs) return kExitFailure;
    const std::optional<Conversion> conversion = convert(program, *inputs, options, RunLimits{}, report);
    if (!conversion) return kExitFailure;
    if (!writeConversion(program, *conversion, line->scenePath, report)) return kExitFailure;
    const std::string written = outputPathFor(line->scenePath, animation ? ".md5anim" : ".md5mesh");
    report.note("wrote " + written + ": " + describe(program, *conversion));
    return kExitSuccess;
}

} // namespace lwmd5
