#include "app/run.h"

#include "app/command_line.h"
#include "platform/parallel.h"
#include "platform/report.h"

#include <algorithm>
#include <cstdlib>

namespace lwmd5 {

namespace {

// LWMD5_THREADS when it holds a number of 1 or more (at most 256), else
// the machine's hardware concurrency.
unsigned threadsFromEnvironment()
{
    if (const char* setting = std::getenv("LWMD5_THREADS")) {
        const long requested = std::strtol(setting, nullptr, 10);
        if (requested >= 1) return static_cast<unsigned>(std::min(requested, 256L));
    }
    return hardwareThreadCount();
}

} // namespace

int runProgram(Program program, int argc, const char* const* argv)
{
    const bool animation = program == Program::AnimationConverter;
    ConsoleReporter report(animation ? "animconv" : "meshconv");
    printBanner(animation ? "md5anim" : "md5mesh");

    int status = kExitSuccess;
    const std::optional<CommandLine> line = parseCommandLine(argc, argv, report, status);
    if (!line) return status;
    if (line->objectPath.empty()) {
        report.error("no argument is an object file (.lwo)");
        return kExitFailure;
    }

    ConversionOptions options;
    options.scaleFactor = line->scaleFactor;
    options.threads = threadsFromEnvironment();
    const std::optional<ConversionInputs> inputs = readInputs(program, line->scenePath, line->objectPath, options, report);
    if (!inputs) return kExitFailure;
    const std::optional<Conversion> conversion = convert(program, *inputs, options, RunLimits{}, report);
    if (!conversion) return kExitFailure;
    if (!writeConversion(program, *conversion, line->scenePath, report)) return kExitFailure;
    return kExitSuccess;
}

} // namespace lwmd5
