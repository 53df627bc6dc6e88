#pragma once

#include "lwo_builder.h"

#include <string>

namespace lwmd5::authoring {

// A large skinned, animated character for timing: a tube of rings x around
// points standing on the ground, a tree of bones, each point weighted by 3
// of them, a UV for every point and a per-polygon UV fix for about 5 % of
// the points, one key per frame on every channel of every bone (mostly TCB
// and linear, a few of every other shape), frames 0 to frames - 1 at 30 fps.
struct BenchCaseSize {
    int rings;
    int around;
    int bones;
    int frames;
};

// 100,000 points (indices above 65,279 take the four-byte form), about
// 200,000 triangles, 120 bones, 2,000 frames.
constexpr BenchCaseSize kBigBenchCase{1000, 100, 120, 2000};
// 20,000 points, 60 bones, 500 frames.
constexpr BenchCaseSize kSmallBenchCase{200, 100, 60, 500};

struct BenchCase {
    std::string sceneText; // CR LF line ends
    Bytes object;          // LWO2
};

BenchCase makeBenchCase(const BenchCaseSize& size, const std::string& objectFile);

} // namespace lwmd5::authoring
