#pragma once

// Shared by the fuzz targets and the seed generator: how one fuzz input holds
// a scene and an object.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lwmd5::fuzz {

// A pipeline input is the scene text, this separator, then the object bytes.
// A separator (rather than a length prefix) keeps both halves meaningful when
// the fuzzer inserts or deletes bytes. Without it, the whole input is the
// object and the scene is empty.
constexpr std::string_view kObjectSeparator = "\n=LWO=\n";

// The first scene lines may give the command line's options: "#scale
// <number>" the scale factor, and "#engine doom3", "#max-weights 4",
// "#shader-prefix models/" and so on the options of those names, each read
// as the command line reads it. The scene reader ignores these lines.
constexpr std::string_view kScalePrefix = "#scale ";

struct PipelineInput {
    std::string_view scene;
    std::span<const std::uint8_t> object;
    std::string_view scale; // the text after kScalePrefix, or empty
    std::vector<std::pair<std::string, std::string>> options; // name and value of each other "#" line
};

inline PipelineInput splitPipelineInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    PipelineInput input;
    const std::size_t separator = all.find(kObjectSeparator);
    if (separator == std::string_view::npos) {
        input.object = std::span<const std::uint8_t>(data, size);
    } else {
        input.scene = all.substr(0, separator);
        const std::size_t objectStart = separator + kObjectSeparator.size();
        input.object = std::span<const std::uint8_t>(data + objectStart, size - objectStart);
    }
    for (std::string_view rest = input.scene; rest.starts_with("#");) {
        const std::string_view line = rest.substr(1, rest.find_first_of("\r\n") - 1);
        rest = rest.substr(std::min(rest.size(), line.size() + 1));
        rest.remove_prefix(std::min(rest.find_first_not_of("\r\n"), rest.size()));
        const std::size_t space = line.find(' ');
        const std::string_view name = line.substr(0, space);
        const std::string_view value = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (name == "scale") {
            input.scale = value;
        } else {
            input.options.emplace_back(name, value);
        }
    }
    return input;
}

} // namespace lwmd5::fuzz
