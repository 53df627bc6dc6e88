// meshconv's whole run: scene (bones only) and object in, md5mesh text out.
// One input holds both files: see splitPipelineInput.

#include "pipeline_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    lwmd5::fuzz::useOneFrameThread();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lwmd5::fuzz::runPipeline(data, size, false);
    return 0;
}
