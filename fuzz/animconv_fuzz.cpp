// animconv's whole run: scene and object in, md5anim text out.
// One input holds both files: see splitPipelineInput.

#include "pipeline_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lwmd5::fuzz::runPipeline(data, size, lwmd5::Program::AnimationConverter);
    return 0;
}
