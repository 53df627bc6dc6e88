// The scene reader on arbitrary text, in both flavours.

#include "platform/report.h"
#include "scene/scene_reader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    lwmd5::SilentReporter report;

    lwmd5::parseScene(text, lwmd5::SceneFlavour::Full, report, "fuzz.lws");
    const lwmd5::Scene bones = lwmd5::parseScene(text, lwmd5::SceneFlavour::BonesOnly, report, "fuzz.lws");

    // The bones-only flavour never reads channel blocks, null objects or
    // frame settings (a block's lines may still hold AddBone lines, so the
    // two flavours need not agree on the bones).
    for (const lwmd5::Bone& bone : bones.bones) {
        for (const lwmd5::Envelope& channel : bone.channels) {
            if (!channel.keys.empty()) __builtin_trap();
        }
    }
    if (!bones.nullObjects.empty() || bones.framesPerSecond != 0) __builtin_trap();
    return 0;
}
