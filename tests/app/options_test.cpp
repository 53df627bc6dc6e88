#include "app/options.h"

#include <gtest/gtest.h>

#include <array>

namespace lwmd5 {
namespace {

constexpr std::array<OptionSpec, 3> kSpecs{{
    {"help", "", "show this text"},
    {"engine", "doom3|bfg", "write for an engine"},
    {"frames", "N", "frames per animation"},
}};

// Each command line as the parser splits it: the other arguments joined by '|', then each option given as
// name=value, or the error line.
TEST(Options, SplitOptionsFromArgumentsWhereverTheyStand)
{
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{"a.lws", "b.lwo"}, "a.lws|b.lwo|"},
        {{"--engine", "bfg", "a.lws", "b.lwo", "2"}, "a.lws|b.lwo|2| engine=bfg"},
        {{"a.lws", "--frames=8", "b.lwo", "--engine=doom3"}, "a.lws|b.lwo| frames=8 engine=doom3"},
        {{"--frames", "3", "--frames", "4"}, " frames=3 frames=4"},
        {{"-h"}, " help="},
        {{"x", "--", "--frames", "-h"}, "x|--frames|-h|"},
        {{"-", "-x", "--engine="}, "-|-x| engine="},
        {{"--engine"}, "option '--engine' needs a value (doom3|bfg)"},
        {{"--help=yes"}, "option '--help' takes no value"},
        {{"a.lws", "--verbose"}, "unknown option '--verbose' (--help lists the options)"},
        {{"--Engine", "bfg"}, "unknown option '--Engine' (--help lists the options)"},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string error;
        const std::optional<ParsedOptions> parsed = parseOptions(arguments, kSpecs, error);
        std::string seen = error;
        if (parsed) {
            for (const std::string& argument : parsed->arguments) seen += argument + "|";
            for (const auto& [name, value] : parsed->given) seen += " " + name + "=" + value;
        }
        EXPECT_EQ(seen, expected) << arguments.size();
    }
    std::string error;
    const std::vector<std::string_view> twice{"--frames", "3", "--frames=5"};
    const std::optional<ParsedOptions> parsed = parseOptions(twice, kSpecs, error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->value("frames"), "5");
    EXPECT_FALSE(parsed->value("engine"));
    EXPECT_FALSE(parsed->has("help"));
}

TEST(Options, HelpLinesAreAligned)
{
    EXPECT_EQ(describeOptions(kSpecs), "  --help              show this text\n"
                                       "  --engine doom3|bfg  write for an engine\n"
                                       "  --frames N          frames per animation\n");
}

} // namespace
} // namespace lwmd5
