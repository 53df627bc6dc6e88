// The md5 reader, the rules, the pose checks and the report on arbitrary
// text: a model, then "\n=ANIM=\n" and an animation; without the separator
// the whole input is read as both.

#include "inspect/inspection.h"
#include "inspect/report.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kAnimSeparator = "\n=ANIM=\n";

// What the checks rely on in a file that was read: the lists that run in
// step hold the same number of entries.
void checkShape(const lwmd5::Md5AnimFile& anim)
{
    const std::size_t frames = anim.frameCount();
    if (anim.bounds.size() != frames || anim.boundsLines.size() != frames || anim.frameLines.size() != frames) {
        __builtin_trap();
    }
    if (anim.components.size() != frames * static_cast<std::size_t>(anim.animatedComponents)) __builtin_trap();
    if (anim.baseFrame.size() != anim.hierarchy.size()) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t separator = all.find(kAnimSeparator);
    const std::string_view modelText = all.substr(0, separator);
    const std::string_view animText =
        separator == std::string_view::npos ? all : all.substr(separator + kAnimSeparator.size());

    for (const lwmd5::Engine engine : {lwmd5::Engine::None, lwmd5::Engine::Bfg}) {
        lwmd5::Inspection inspection;
        inspection.engine = engine;
        inspection.model.read = !lwmd5::parseMd5Model(modelText, inspection.model.model);
        lwmd5::inspectModel(inspection.model, engine);
        lwmd5::InspectedAnim& anim = inspection.anims.emplace_back();
        anim.read = !lwmd5::parseMd5Anim(animText, anim.anim);
        if (anim.read) checkShape(anim.anim);
        lwmd5::inspectAnim(inspection.model, anim, engine);
        if (lwmd5::formatReport(inspection).empty()) __builtin_trap();
    }
    return 0;
}
