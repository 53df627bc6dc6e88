#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lwmd5::testing {

struct ProgramResult {
    int exitStatus = -1; // -1 when the program did not exit normally
    int signal = 0;      // the signal (on Windows the exception code) that ended it, if one did
    std::string out;     // everything written to stdout
    std::string err;     // everything written to stderr
    // Off Windows: the program's user and system time and its peak resident
    // set (which also counts the starting process's pages at the start).
    double cpuSeconds = 0.0;
    double peakMegabytes = 0.0;
};

// Runs `program` with `arguments` (argument 0 is `argv0`) in `workingDirectory`
// and waits for it. With `messages`, `err` holds the message boxes and debug
// lines on every platform, as stderr shows them off Windows ("program: TITLE:
// TEXT" lines and the debug lines as they stand): on Windows the program then
// runs under a debugger that collects them (and answers each box with OK at
// once), and they come before what the program wrote to stderr itself, whose
// line ends become LF.
ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingDirectory, const std::string& argv0,
                         bool messages = false);

// The built programs and the source tree.
std::filesystem::path meshconvPath();
std::filesystem::path animconvPath();
std::filesystem::path md5inspectPath();
std::filesystem::path sourceDir();
// ../shared/realdata beside the checkout, or an empty path when absent.
std::filesystem::path realDataDir();

} // namespace lwmd5::testing
