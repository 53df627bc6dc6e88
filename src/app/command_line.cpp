#include "app/command_line.h"

#include "platform/report.h"
#include "scene/text_scan.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace lwmd5 {

namespace {

bool hasExtension(std::string_view argument, std::string_view extension)
{
    const std::size_t dot = argument.rfind('.');
    if (dot == std::string_view::npos) return false;
    return argument.substr(dot, extension.size()) == extension;
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

bool isSceneFile(std::string_view argument)
{
    return hasExtension(argument, ".lws");
}

bool isObjectFile(std::string_view argument)
{
    return hasExtension(argument, ".lwo");
}

std::optional<float> parseScaleFactor(std::string_view argument)
{
    // Only the decimal spelling counts: hex, inf and nan are not scale factors.
    std::size_t start = 0;
    while (start < argument.size() && isCSpace(argument[start])) ++start;
    const DecimalSpelling spelling = scanDecimalSpelling(argument.substr(start));
    if (spelling.length == 0) return std::nullopt;
    const std::string number(argument.substr(start, spelling.length));
    const double value = std::strtod(number.c_str(), nullptr);
    const float scale = static_cast<float>(value);
    // Too large for a float, or so small it would put every position at the
    // origin although the user did not ask for 0.
    if (!std::isfinite(scale) || (scale == 0.0f && value != 0.0)) return std::nullopt;
    return scale;
}

void printBanner(std::string_view programTitle)
{
    std::printf("lw to %.*s converter by Tarvel, v0.1\n\n", static_cast<int>(programTitle.size()),
                programTitle.data());
    std::fflush(stdout);
}

std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, Reporter& report, int& status)
{
    status = kExitUsage;
    if (argc != 3 && argc != 4) {
        std::printf("start the program with \"%s lwsfile lwofile [scalefactor]\"\n", argc > 0 ? argv[0] : "");
        std::printf("or drag and drop a lwsfile and a lwofile\n");
        std::fflush(stdout);
        return std::nullopt;
    }
    CommandLine line;
    if (argc == 4) {
        const std::optional<float> scale = parseScaleFactor(argv[3]);
        if (!scale) {
            report.error(std::string("the scale factor '") + argv[3] + "' is not a decimal number");
            return std::nullopt;
        }
        line.scaleFactor = *scale;
    }
    const std::string first = argv[1];
    const std::string second = argv[2];
    if (isSceneFile(first)) {
        line.scenePath = first;
    } else if (isSceneFile(second)) {
        line.scenePath = second;
    } else {
        report.error("neither '" + first + "' nor '" + second + "' is a scene file (.lws)");
        return std::nullopt;
    }
    // The object is looked for in the opposite order.
    if (isObjectFile(second)) {
        line.objectPath = second;
    } else if (isObjectFile(first)) {
        line.objectPath = first;
    }
    status = kExitSuccess;
    return line;
}

} // namespace lwmd5
