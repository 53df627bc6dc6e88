#pragma once

// Shared by the fuzz targets and the seed generator: how one fuzz input holds
// a scene and an object.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace lwmd5::fuzz {

// A pipeline input is the scene text, this separator, then the object bytes.
// A separator (rather than a length prefix) keeps both halves meaningful when
// the fuzzer inserts or deletes bytes. Without it, the whole input is the
// object and the scene is empty.
constexpr std::string_view kObjectSeparator = "\n=LWO=\n";

// A first scene line "#scale <number>" sets the scale factor, read as the
// command line reads it. The scene reader ignores the line.
constexpr std::string_view kScalePrefix = "#scale ";

struct PipelineInput {
    std::string_view scene;
    std::span<const std::uint8_t> object;
    std::string_view scale; // the text after kScalePrefix, or empty
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
    if (input.scene.starts_with(kScalePrefix)) {
        const std::string_view rest = input.scene.substr(kScalePrefix.size());
        input.scale = rest.substr(0, rest.find_first_of("\r\n"));
    }
    return input;
}

} // namespace lwmd5::fuzz
