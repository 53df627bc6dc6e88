#pragma once

#include "app/conversion.h"

#include <optional>
#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;

// Exit statuses of every program.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A scene (object) file: the text from its last '.' on begins with exactly
// ".lws" (".lwo"), case-sensitively; so "walk.lwsx" is a scene and "walk.LWS"
// is not.
bool isSceneFile(std::string_view argument);
bool isObjectFile(std::string_view argument);

// The scale factor: the whole argument is one decimal number (white space
// around it aside), rounded to float. Nothing, with `problem` saying why,
// when it is anything else ("1,5", "1.5x", "0x10", "inf", ""), when it does
// not fit a float (too large, or rounding to 0 from a value that is not 0),
// or when it is 0, which would put every position at the origin.
[[nodiscard]] std::optional<float> parseScaleFactor(std::string_view argument, std::string& problem);

struct ParsedOptions;

// Reads --engine, --max-weights and --shader-prefix into `options`; false,
// with the problem's one line, when a value is not one the option takes.
[[nodiscard]] bool readConversionOptions(const ParsedOptions& parsed, ConversionOptions& options,
                                         std::string& problem);

// What the two converters are asked to do.
struct CommandLine {
    std::string scenePath;
    std::string objectPath;
    ConversionOptions options; // all but the thread count
    bool verbose = false;      // the object reader's progress lines on stderr
};

// The converter a command line belongs to: "meshconv" writing "md5mesh".
struct ConverterName {
    std::string_view program;
    std::string_view format;
};

// Prints the converter's banner on stdout.
void printBanner(const ConverterName& name);

// Reads the options and picks the scene and object files out of the other
// arguments, in either order. Nothing when the run ends here, with `status`
// to end it with: 0 after --help or --version (printed on stdout); 2 after
// the usage lines (a wrong argument count, stdout) or one error line
// (stderr) naming what is wrong.
[[nodiscard]] std::optional<CommandLine> parseCommandLine(const ConverterName& name, int argc,
                                                          const char* const* argv, Reporter& report, int& status);

} // namespace lwmd5
