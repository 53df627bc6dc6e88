// animconv's whole run: scene and object in, md5anim text out.
// One input holds both files: see splitPipelineInput.

#include "pipeline_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    lwmd5::fuzz::useOneFrameThread();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lwmd5::fuzz::runPipeline(data, size, true);
    return 0;
}
