// Writes a large skinned, animated character for timing the converters:
//   make_bench_case big|small <folder>
// writes <folder>/big.lws and big.lwo (or small.*); see bench_case.h.
// --help lists the two sizes.

#include "bench_case.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

namespace {

bool writeFile(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

void printHelp(const char* program)
{
    using namespace lwmd5::authoring;
    std::printf("usage: %s big|small FOLDER\n"
                "Writes a large skinned, animated character for timing the converters into\n"
                "FOLDER: big.lws and big.lwo, or small.lws and small.lwo. Three weights per\n"
                "point, a key on every frame of every channel; the big object's point\n"
                "indices take the four-byte form.\n",
                program);
    for (const auto& [name, size] : {std::pair{"big", kBigBenchCase}, std::pair{"small", kSmallBenchCase}}) {
        std::printf("  %-5s  %d points, %d bones, frames 0 to %d at 30 fps\n", name, size.rings * size.around,
                    size.bones, size.frames - 1);
    }
    std::printf("tools/time_big_case.sh times the programs on them.\n");
}

} // namespace

int main(int argc, char** argv)
{
    using namespace lwmd5::authoring;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        printHelp(argv[0]);
        return 0;
    }
    const std::string name = argc == 3 ? argv[1] : "";
    if (name != "big" && name != "small") {
        std::fprintf(stderr, "usage: %s big|small FOLDER   (--help tells more)\n", argv[0]);
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
