// meshconv's whole run: scene (bones only) and object in, md5mesh text out.
// One input holds both files: see splitPipelineInput.

#include "pipeline_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lwmd5::fuzz::runPipeline(data, size, lwmd5::Program::MeshConverter);
    return 0;
}
