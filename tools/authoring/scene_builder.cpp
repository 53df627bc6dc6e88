#include "scene_builder.h"

#include <charconv>
#include <cstdio>

namespace lwmd5::authoring {

ChannelSpecs restChannels(float x, float y, float z)
{
    ChannelSpecs channels;
    const float values[9] = {x, y, z, 0, 0, 0, 1, 1, 1};
    for (std::size_t c = 0; c < channels.size(); ++c) {
        KeySpec key;
        key.value = values[c];
        channels[c].keys.push_back(key);
    }
    return channels;
}

std::uint32_t boneParentId(int number)
{
    if (number < 0) return kObjectParentId;
    return 0x40000000u | (static_cast<std::uint32_t>(number & 0xFFF) << 16);
}

std::string formatNumber(float value)
{
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

SceneTextBuilder& SceneTextBuilder::line(std::string_view text)
{
    text_.append(text).append(lineEnd_);
    return *this;
}

SceneTextBuilder& SceneTextBuilder::header(int firstFrame, int lastFrame, int framesPerSecond,
                                           std::string_view objectFile)
{
    line("LWSC");
    line("5");
    line("");
    line("FirstFrame " + std::to_string(firstFrame));
    line("LastFrame " + std::to_string(lastFrame));
    line("FrameStep 1");
    line("PreviewFirstFrame " + std::to_string(firstFrame));
    line("PreviewLastFrame " + std::to_string(lastFrame));
    line("PreviewFrameStep 1");
    line("CurrentFrame " + std::to_string(firstFrame));
    line("FramesPerSecond " + std::to_string(framesPerSecond));
    line("");
    line("LoadObjectLayer 1 10000000 " + std::string(objectFile));
    line("ChangeObject 0");
    line("ShowObject 6 -1 0.376471 0.878431 0.627451");
    line("ObjectMotion");
    line("NumChannels 9");
    channelBlock(restChannels());
    line("");
    return *this;
}

SceneTextBuilder& SceneTextBuilder::channelBlock(const ChannelSpecs& channels)
{
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const ChannelSpec& channel = channels[c];
        line("Channel " + std::to_string(c));
        line("{ Envelope");
        line("  " + std::to_string(channel.keys.size()));
        for (const KeySpec& key : channel.keys) {
            line("  Key " + formatNumber(key.value) + " " + formatNumber(key.time) + " " + std::to_string(key.shape) +
                 " " + formatNumber(key.tension) + " " + formatNumber(key.continuity) + " " +
                 formatNumber(key.bias) + " " + formatNumber(key.params[0]) + " " + formatNumber(key.params[1]) +
                 " " + formatNumber(key.params[2]));
        }
        line("  Behaviors " + std::to_string(channel.preBehavior) + " " + std::to_string(channel.postBehavior));
        line("}");
    }
    return *this;
}

SceneTextBuilder& SceneTextBuilder::bone(const BoneSpec& bone)
{
    char parent[16];
    std::snprintf(parent, sizeof parent, "%08X", boneParentId(bone.parentBone));
    line("AddBone");
    line("BoneName " + bone.name);
    line("ShowBone 1 -1 0.376471 0.878431 0.941176");
    line("BoneActive 1");
    line("BoneStrength 1");
    line("BoneRestPosition " + formatNumber(bone.restPosition[0]) + " " + formatNumber(bone.restPosition[1]) + " " +
         formatNumber(bone.restPosition[2]));
    line("BoneRestDirection " + formatNumber(bone.restDirection[0]) + " " + formatNumber(bone.restDirection[1]) +
         " " + formatNumber(bone.restDirection[2]));
    line("BoneRestLength " + formatNumber(bone.restLength));
    if (!bone.weightMapName.empty()) line("BoneWeightMapName " + bone.weightMapName);
    line("BoneMotion");
    line("NumChannels 9");
    channelBlock(bone.channels);
    line(std::string("ParentItem ") + parent);
    line("");
    return *this;
}

SceneTextBuilder& SceneTextBuilder::nullObject(std::string_view name, const ChannelSpecs& channels,
                                               std::uint32_t parentId)
{
    line("AddNullObject " + std::string(name));
    line("ShowObject 6 -1 0.376471 0.878431 0.627451");
    line("ObjectMotion");
    line("NumChannels 9");
    channelBlock(channels);
    if (parentId != 0) {
        char parent[16];
        std::snprintf(parent, sizeof parent, "%08X", parentId);
        line(std::string("ParentItem ") + parent);
    }
    line("");
    return *this;
}

} // namespace lwmd5::authoring
