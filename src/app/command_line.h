#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lwmd5 {

class Reporter;

// Exit statuses of both programs.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A scene (object) file: the text from its last '.' on begins with exactly
// ".lws" (".lwo"), case-sensitively; so "walk.lwsx" is a scene and "walk.LWS"
// is not.
bool isSceneFile(std::string_view argument);
bool isObjectFile(std::string_view argument);

// The scale factor: the decimal number at the start of the argument (leading
// white space skipped, reading stops where the number ends), rounded to
// float. Nothing when the argument does not begin with a decimal number or
// the number does not fit a float (too large, or rounding to 0 from a value
// that is not 0).
std::optional<float> parseScaleFactor(std::string_view argument);

struct CommandLine {
    std::string scenePath;
    std::string objectPath; // empty when no argument is an object file
    float scaleFactor = 1.0f;
};

// Prints the program's banner on stdout.
void printBanner(std::string_view programTitle);

// Checks the arguments and picks the scene and object files out of them, in
// either order. On a usage problem prints the usage lines (wrong argument
// count, stdout) or one error line (stderr) and returns the exit status 2.
std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, Reporter& report, int& status);

} // namespace lwmd5
