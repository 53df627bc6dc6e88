#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5::authoring {

struct KeySpec {
    float value = 0.0f;
    float time = 0.0f;
    int shape = 0;
    float tension = 0.0f;
    float continuity = 0.0f;
    float bias = 0.0f;
    float params[3] = {};
};

struct ChannelSpec {
    std::vector<KeySpec> keys;
    int preBehavior = 1;
    int postBehavior = 1;
};

// Channels 0-2 position, 3-5 heading, pitch, bank (radians), 6-8 scale.
using ChannelSpecs = std::array<ChannelSpec, 9>;

// Nine channels holding one key each: the given position, zero angles and a
// scale of 1.
ChannelSpecs restChannels(float x = 0, float y = 0, float z = 0);

struct BoneSpec {
    std::string name;
    std::string weightMapName;
    std::array<float, 3> restPosition{};
    std::array<float, 3> restDirection{}; // heading, pitch, bank in degrees
    float restLength = 1.0f;
    // -1: a child of the object (a root); else the number of the parent bone
    // in file order.
    int parentBone = -1;
    ChannelSpecs channels = restChannels();
};

// The id a ParentItem line names bone `number` with, or the object.
std::uint32_t boneParentId(int number);
constexpr std::uint32_t kObjectParentId = 0x10000000u;

// Formats a float in its shortest spelling that reads back to the same value.
std::string formatNumber(float value);

// Scene text line by line, in the layout LightWave writes: CR LF line ends
// unless told otherwise.
class SceneTextBuilder {
public:
    explicit SceneTextBuilder(std::string lineEnd = "\r\n") : lineEnd_(std::move(lineEnd)) {}

    SceneTextBuilder& line(std::string_view text);
    // LWSC header, frame range and rate, and the object layer with its own
    // channel block (which the converters skip).
    SceneTextBuilder& header(int firstFrame, int lastFrame, int framesPerSecond, std::string_view objectFile);
    // AddBone with its keywords, its channel block and its ParentItem line.
    SceneTextBuilder& bone(const BoneSpec& bone);
    SceneTextBuilder& channelBlock(const ChannelSpecs& channels);
    SceneTextBuilder& nullObject(std::string_view name, const ChannelSpecs& channels, std::uint32_t parentId = 0);

    const std::string& text() const { return text_; }

private:
    std::string lineEnd_;
    std::string text_;
};

} // namespace lwmd5::authoring
