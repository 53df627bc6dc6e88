#include "app/options.h"

#include "platform/parallel.h"

#include <algorithm>
#include <cstdlib>

namespace lwmd5 {

namespace {

const OptionSpec* findSpec(std::span<const OptionSpec> specs, std::string_view name)
{
    const auto found = std::find_if(specs.begin(), specs.end(), [name](const OptionSpec& s) { return s.name == name; });
    return found == specs.end() ? nullptr : &*found;
}

} // namespace

bool ParsedOptions::has(std::string_view name) const
{
    return std::any_of(given.begin(), given.end(), [name](const auto& option) { return option.first == name; });
}

std::optional<std::string> ParsedOptions::value(std::string_view name) const
{
    const auto found =
        std::find_if(given.rbegin(), given.rend(), [name](const auto& option) { return option.first == name; });
    if (found == given.rend()) return std::nullopt;
    return found->second;
}

std::optional<ParsedOptions> parseOptions(std::span<const std::string_view> arguments,
                                          std::span<const OptionSpec> specs, std::string& error)
{
    ParsedOptions parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (!optionsEnded && argument == "-h" && findSpec(specs, "help") != nullptr) argument = "--help";
        if (optionsEnded || !argument.starts_with("--")) {
            parsed.arguments.emplace_back(arguments[i]);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(2, equals == std::string_view::npos ? argument.npos : equals - 2);
        const OptionSpec* option = findSpec(specs, name);
        if (option == nullptr) {
            error = "unknown option '" + std::string(argument) + "' (--help lists the options)";
            return std::nullopt;
        }
        std::string value;
        if (option->valueName.empty()) {
            if (equals != std::string_view::npos) {
                error = "option '--" + std::string(name) + "' takes no value";
                return std::nullopt;
            }
        } else if (equals != std::string_view::npos) {
            value = std::string(argument.substr(equals + 1));
        } else if (i + 1 < arguments.size()) {
            value = std::string(arguments[++i]);
        } else {
            error = "option '--" + std::string(name) + "' needs a value (" + std::string(option->valueName) + ")";
            return std::nullopt;
        }
        parsed.given.emplace_back(std::string(name), std::move(value));
    }
    return parsed;
}

std::string describeOptions(std::span<const OptionSpec> specs)
{
    std::size_t width = 0;
    auto label = [](const OptionSpec& option) {
        // Appended piece by piece: GCC 12 warns about the concatenation at -O3.
        std::string text = "--";
        text += option.name;
        if (!option.valueName.empty()) text.append(" ").append(option.valueName);
        return text;
    };
    for (const OptionSpec& option : specs) width = std::max(width, label(option).size());
    std::string text;
    for (const OptionSpec& option : specs) {
        std::string line = "  " + label(option);
        line.resize(width + 4, ' ');
        text += line + std::string(option.help) + "\n";
    }
    return text;
}

unsigned threadsFromEnvironment()
{
    if (const char* setting = std::getenv("LWMD5_THREADS")) {
        const long requested = std::strtol(setting, nullptr, 10);
        if (requested >= 1) return static_cast<unsigned>(std::min(requested, 256L));
    }
    return hardwareThreadCount();
}

std::string_view projectVersion()
{
    return LWMD5_VERSION;
}

} // namespace lwmd5
