#include "app/command_line.h"

#include "app/options.h"
#include "platform/report.h"
#include "scene/text_scan.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace lwmd5 {

namespace {

constexpr std::array<OptionSpec, 6> kConverterOptions{{
    {"engine", "doom3|bfg", "write for id Tech 4 (Doom 3, dhewm3) or Doom 3 BFG: see below"},
    {"max-weights", "N", "keep each vertex's N largest weights (1 to 8), normalised to sum 1"},
    {"shader-prefix", "TEXT", "put TEXT in front of every shader name (models/characters/bob/)"},
    {"verbose", "", "print the object reader's progress lines on stderr"},
    {"help", "", "show this help and exit (also -h)"},
    {"version", "", "print the program's version and exit"},
}};

bool hasExtension(std::string_view argument, std::string_view extension)
{
    const std::size_t dot = argument.rfind('.');
    if (dot == std::string_view::npos) return false;
    return argument.substr(dot, extension.size()) == extension;
}

char lowerCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the argument would be a scene or object file if its extension
// were written in lower case.
bool hasExtensionInOtherCase(std::string_view argument, std::string_view extension)
{
    const std::size_t dot = argument.rfind('.');
    if (dot == std::string_view::npos || argument.size() - dot < extension.size()) return false;
    const std::string_view written = argument.substr(dot, extension.size());
    if (written == extension) return false;
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (lowerCase(written[i]) != extension[i]) return false;
    }
    return true;
}

void printUsage(const char* argv0)
{
    std::printf("start the program with \"%s lwsfile lwofile [scalefactor]\"\n", argv0);
    std::printf("or drag and drop a lwsfile and a lwofile\n");
    std::fflush(stdout);
}

void printHelp(const ConverterName& name)
{
    const bool mesh = name.format == "md5mesh";
    std::string text = "usage: " + std::string(name.program) + " [options] scene.lws object.lwo [scalefactor]\n\n";
    text += mesh ? "Converts a LightWave scene's skeleton and the object it skins into an md5mesh file: the joints\n"
                   "in their bind pose and the mesh with its vertices, triangles and weights.\n"
                 : "Converts a LightWave scene's keyed bone motion over the object it animates into an md5anim\n"
                   "file: the joint hierarchy, a bounding box per frame, a base frame and every frame.\n";
    text += "The two files may come in either order; a scene ends in .lws and an object in .lwo, in lower\n"
            "case. The scale factor (a decimal number, default 1) multiplies every position written.\n"
            "The output lands beside the scene under its name: models/walk.lws gives models/walk." +
            std::string(name.format) + ".\n\nOptions:\n";
    text += describeOptions(kConverterOptions);
    text += "\nWith --engine, joint 0 is an 'origin' joint at the model origin, joints sit on their bones,\n"
            "the bind pose and the frames follow one rule (a frame of the rest values is the bind pose),\n"
            "bounds are model-space boxes, every layer is read and every surface becomes a mesh of its\n"
            "own; bfg also keeps at most 4 weights a vertex and refuses meshes of more than 65,535\n"
            "vertices and skeletons of more than 256 joints. Convert a model and its animations with the\n"
            "same options.\n";
    text += "\nExit status: 0 the file was written; 1 the run failed (one line on standard error says why,\n"
            "and nothing was written); 2 wrong usage.\n"
            "Standard output shows the banner (and the usage text on a wrong argument count); problems,\n"
            "warnings and the closing line that names the file written go to standard error.\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string quoted(std::string_view text)
{
    std::string result = "'";
    result += text;
    result += "'";
    return result;
}

// "neither 'a' nor 'b' is a scene file (.lws)", with a hint for an extension
// written in capitals.
std::string missingFileMessage(const std::vector<std::string>& files, std::string_view kind,
                               std::string_view extension)
{
    std::string text = "neither " + quoted(files[0]) + " nor " + quoted(files[1]) + " is " + std::string(kind) +
                       " (" + std::string(extension) + ")";
    for (const std::string& file : files) {
        if (hasExtensionInOtherCase(file, extension)) {
            text += "; extensions are matched in lower case, so " + quoted(file) + " must end in " +
                    std::string(extension);
            break;
        }
    }
    return text;
}

// Picks the scene and the object out of the two file arguments: the scene
// is the first argument that is one, the object the last.
bool chooseFiles(const std::vector<std::string>& files, CommandLine& line, Reporter& report)
{
    if (isSceneFile(files[0])) {
        line.scenePath = files[0];
    } else if (isSceneFile(files[1])) {
        line.scenePath = files[1];
    } else {
        report.error(missingFileMessage(files, "a scene file", ".lws"));
        return false;
    }
    if (isObjectFile(files[1])) {
        line.objectPath = files[1];
    } else if (isObjectFile(files[0])) {
        line.objectPath = files[0];
    } else {
        report.error(missingFileMessage(files, "an object file", ".lwo"));
        return false;
    }
    return true;
}

} // namespace

bool readConversionOptions(const ParsedOptions& parsed, ConversionOptions& options, std::string& problem)
{
    if (const std::optional<std::string> name = parsed.value("engine")) {
        const std::optional<Engine> engine = engineNamed(*name);
        if (!engine) {
            problem = "option '--engine' takes doom3 or bfg, not " + quoted(*name);
            return false;
        }
        options.engine = *engine;
    }
    if (const std::optional<std::string> weights = parsed.value("max-weights")) {
        if (weights->size() != 1 || (*weights)[0] < '1' || (*weights)[0] > '8') {
            problem = "option '--max-weights' takes a whole number from 1 to 8, not " + quoted(*weights);
            return false;
        }
        options.maxWeights = (*weights)[0] - '0';
    }
    if (const std::optional<std::string> prefix = parsed.value("shader-prefix")) {
        // md5 files quote names and have no escapes.
        if (prefix->find_first_of("\"\r\n") != std::string::npos) {
            problem = "option '--shader-prefix' cannot hold a double quote or a line break";
            return false;
        }
        options.shaderPrefix = *prefix;
    }
    return true;
}

bool isSceneFile(std::string_view argument)
{
    return hasExtension(argument, ".lws");
}

bool isObjectFile(std::string_view argument)
{
    return hasExtension(argument, ".lwo");
}

std::optional<float> parseScaleFactor(std::string_view argument, std::string& problem)
{
    std::size_t start = 0;
    while (start < argument.size() && isCSpace(argument[start])) ++start;
    std::size_t end = argument.size();
    while (end > start && isCSpace(argument[end - 1])) --end;
    const std::string_view text = argument.substr(start, end - start);
    const DecimalSpelling spelling = scanDecimalSpelling(text);
    if (spelling.length == 0 || spelling.length != text.size()) {
        problem = "the scale factor " + quoted(argument) + " is not a decimal number";
        if (text.find(',') != std::string_view::npos) problem += "; write its decimals after a point, as in 1.5";
        return std::nullopt;
    }
    const std::string number(text);
    const double value = std::strtod(number.c_str(), nullptr);
    const float scale = static_cast<float>(value);
    if (!std::isfinite(scale) || (scale == 0.0f && value != 0.0)) {
        problem = "the scale factor " + quoted(argument) + " does not fit a 32-bit float";
        return std::nullopt;
    }
    if (scale == 0.0f) {
        problem = "the scale factor " + quoted(argument) + " would put every position at the origin";
        return std::nullopt;
    }
    return scale;
}

void printBanner(const ConverterName& name)
{
    std::printf("lw to %.*s converter by Tarvel, v0.1\n\n", static_cast<int>(name.format.size()), name.format.data());
    std::fflush(stdout);
}

std::optional<CommandLine> parseCommandLine(const ConverterName& name, int argc, const char* const* argv,
                                            Reporter& report, int& status)
{
    status = kExitUsage;
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + std::max(argc, 0));
    std::string problem;
    const std::optional<ParsedOptions> parsed = parseOptions(arguments, kConverterOptions, problem);
    if (!parsed) {
        report.error(problem);
        return std::nullopt;
    }
    if (parsed->has("help") || parsed->has("version")) {
        status = kExitSuccess;
        if (parsed->has("help")) {
            printHelp(name);
        } else {
            std::printf("%.*s %.*s\n", static_cast<int>(name.program.size()), name.program.data(),
                        static_cast<int>(projectVersion().size()), projectVersion().data());
            std::fflush(stdout);
        }
        return std::nullopt;
    }
    const std::vector<std::string>& files = parsed->arguments;
    if (files.size() != 2 && files.size() != 3) {
        printUsage(argc > 0 ? argv[0] : "");
        return std::nullopt;
    }
    CommandLine line;
    line.verbose = parsed->has("verbose");
    if (!readConversionOptions(*parsed, line.options, problem)) {
        report.error(problem);
        return std::nullopt;
    }
    if (files.size() == 3) {
        const std::optional<float> scale = parseScaleFactor(files[2], problem);
        if (!scale) {
            report.error(problem);
            return std::nullopt;
        }
        line.options.scaleFactor = *scale;
        if (*scale < 0.0f) {
            report.warning("the scale factor " + quoted(files[2]) +
                           " is negative: it mirrors the model and turns its triangles inside out");
        }
    }
    if (!chooseFiles(files, line, report)) return std::nullopt;
    status = kExitSuccess;
    return line;
}

} // namespace lwmd5
