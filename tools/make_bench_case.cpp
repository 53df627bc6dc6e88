// Writes a large skinned, animated character for timing the converters:
//   make_bench_case big|small <folder>
// writes <folder>/big.lws and big.lwo (or small.*); see bench_case.h.

#include "bench_case.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool writeFile(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace lwmd5::authoring;
    const std::string name = argc == 3 ? argv[1] : "";
    if (name != "big" && name != "small") {
        std::fprintf(stderr, "usage: %s big|small <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[2];
    const BenchCase made = makeBenchCase(name == "big" ? kBigBenchCase : kSmallBenchCase, name + ".lwo");
    const std::string scenePath = folder + "/" + name + ".lws";
    const std::string objectPath = folder + "/" + name + ".lwo";
    if (!writeFile(objectPath, reinterpret_cast<const char*>(made.object.data()), made.object.size()) ||
        !writeFile(scenePath, made.sceneText.data(), made.sceneText.size())) {
        std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
        return 1;
    }
    std::printf("wrote %s and %s\n", scenePath.c_str(), objectPath.c_str());
    return 0;
}
