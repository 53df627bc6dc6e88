#include "app/inspect_run.h"

#include "app/command_line.h"
#include "app/options.h"
#include "inspect/inspection.h"
#include "inspect/report.h"
#include "platform/report.h"

#ifdef LWMD5_HAVE_CAIRO
#include "inspect/picture.h"
#endif

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace lwmd5 {

namespace {

constexpr OptionSpec kOptions[] = {
    {"engine", "doom3|bfg", "doom3: all id Tech 4 refuses is an error; bfg: also its renderer's limits"},
    {"png", "FILE", "write a picture: the bind pose from the front and side, and frames of each animation"},
    {"frames", "N", "frames shown per animation in the picture, first and last included (default 8, 1 to 64)"},
    {"help", "", "show this text"},
    {"version", "", "show the version"},
};

constexpr std::size_t kMostFrames = 64;

struct InspectRequest {
    std::string modelPath;
    std::vector<std::string> animPaths;
    Engine engine = Engine::None;
    std::string picturePath; // empty: no picture
    std::size_t frames = 8;
};

void printOut(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string helpText()
{
    return "usage: md5inspect MODEL.md5mesh [ANIM.md5anim ...] [--engine doom3|bfg] [--png OUT.png] [--frames N]\n"
           "Checks an md5 (version 10) model and its animations against the engines' rules and prints a report.\n"
           "\noptions:\n" +
           describeOptions(kOptions) +
           "\nexit status:\n  0  no error (warnings do not count)\n  1  at least one error\n"
           "  2  wrong usage: an unknown option, a bad value, no model file\n";
}

// Fills the request from the options; one error line and false on a bad value.
bool readRequest(const ParsedOptions& options, InspectRequest& request, Reporter& report)
{
    if (const auto name = options.value("engine")) {
        const std::optional<Engine> engine = engineNamed(*name);
        if (!engine) {
            report.error("option '--engine' takes doom3 or bfg, not '" + *name + "'");
            return false;
        }
        request.engine = *engine;
    }
    if (const auto frames = options.value("frames")) {
        std::size_t value = 0;
        const auto [end, ec] = std::from_chars(frames->data(), frames->data() + frames->size(), value);
        if (ec != std::errc() || end != frames->data() + frames->size() || value < 1 || value > kMostFrames) {
            report.error("option '--frames' takes a whole number from 1 to 64, not '" + *frames + "'");
            return false;
        }
        request.frames = value;
    }
    if (const auto png = options.value("png")) {
        if (png->empty()) {
            report.error("option '--png' needs a file name");
            return false;
        }
#ifdef LWMD5_HAVE_CAIRO
        request.picturePath = *png;
#else
        report.error("this md5inspect was built without Cairo and cannot write pictures (--png)");
        return false;
#endif
    }
    if (options.arguments.empty()) {
        report.error("no model file given (--help shows the usage)");
        return false;
    }
    request.modelPath = options.arguments.front();
    request.animPaths.assign(options.arguments.begin() + 1, options.arguments.end());
    return true;
}

} // namespace

int runInspect(int argc, const char* const* argv)
{
    ConsoleReporter report("md5inspect");
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::string error;
    const std::optional<ParsedOptions> options = parseOptions(arguments, kOptions, error);
    if (!options) {
        report.error(error);
        return kExitUsage;
    }
    if (options->has("help")) {
        printOut(helpText());
        return kExitSuccess;
    }
    if (options->has("version")) {
        printOut("md5inspect " + std::string(projectVersion()) + "\n");
        return kExitSuccess;
    }
    InspectRequest request;
    if (!readRequest(*options, request, report)) return kExitUsage;

    const unsigned threads = threadsFromEnvironment();
    const Inspection inspection =
        inspectFiles(request.modelPath, request.animPaths, request.engine, report, threads);
    printOut(formatReport(inspection));
    bool pictured = true;
#ifdef LWMD5_HAVE_CAIRO
    if (!request.picturePath.empty()) {
        std::string reason;
        pictured = writePicture(inspection, request.frames, request.picturePath, reason, threads);
        if (!pictured) report.error("cannot write the picture '" + request.picturePath + "': " + reason);
    }
#endif
    return inspection.errorCount() == 0 && pictured ? kExitSuccess : kExitFailure;
}

} // namespace lwmd5
