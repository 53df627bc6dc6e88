#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lwmd5 {

// One option a program takes: "--name", or "--name VALUE" when it has a value.
struct OptionSpec {
    std::string_view name;      // without the two dashes
    std::string_view valueName; // what the help shows for the value ("N"); empty for a switch
    std::string_view help;      // one line
};

// A command line split into its options and its other arguments.
struct ParsedOptions {
    std::vector<std::string> arguments;                    // the other arguments, in order
    std::vector<std::pair<std::string, std::string>> given; // option name and value ("" for a switch), in order

    bool has(std::string_view name) const;
    // The value the option was given last, or nothing when it was not given.
    std::optional<std::string> value(std::string_view name) const;
};

// Arguments that begin with "--" are options wherever they stand, and "--"
// ends the options, so a file whose name begins with dashes can follow it. A
// value is the next argument, or follows '=' in the same one
// ("--frames=8"). "-h" is "--help" when the program has one. Returns nothing
// after setting `error` to one line naming the argument: an unknown option,
// an option without its value, a switch given a value.
[[nodiscard]] std::optional<ParsedOptions> parseOptions(std::span<const std::string_view> arguments,
                                                        std::span<const OptionSpec> specs, std::string& error);

// One aligned line per option for the help text: "  --frames N  help".
std::string describeOptions(std::span<const OptionSpec> specs);

// How many threads a run's heavy stages may use: LWMD5_THREADS when it holds
// a number of 1 or more (at most 256), else the machine's hardware
// concurrency.
unsigned threadsFromEnvironment();

// The project's version ("0.2.0"), from the build.
std::string_view projectVersion();

} // namespace lwmd5
