#pragma once

#include "object/lwo_object.h"
#include "skin/skeleton.h"

#include <array>
#include <cstdint>
#include <vector>

namespace lwmd5 {

class Reporter;
struct Md5Mesh;

constexpr int kMaxVertexWeights = 8;

// One weight of a point while the weights are gathered.
struct Slot {
    std::int32_t joint;
    float bias;
};

// The weights of one point in slot order, at most `limit` of them: once
// full, a newcomer replaces the smallest kept bias (the latest of equal
// smallest ones) only when it is strictly larger. That keeps the largest
// biases, the earlier slot winning a tie, in their slot order, with no more
// room than the kept slots whatever the maps hold.
struct VertexSlots {
    std::array<Slot, kMaxVertexWeights> slots;
    std::uint8_t count = 0;
    bool crowded = false;

    void add(const Slot& slot, int limit);
};

// Each point's weights, in slot order: by joint index first, then by map
// order, then by entry order, from the weight maps a joint names that
// `mapUsed` marks. Weights of exactly 0 are no weights; not a number is. A
// point no map weights belongs to the first joint. Entries naming no point
// are skipped, and a point keeps its `maxWeights` largest, each with one
// warning.
std::vector<VertexSlots> gatherWeights(std::size_t pointCount, const std::vector<Joint>& joints,
                                       const LwoObject& object, const std::vector<bool>& mapUsed, int maxWeights,
                                       Reporter& report);

// Normalises each vertex's biases (summed in slot order in double; a sum of 0
// leaves them) and lays the mesh's weight list out vertex by vertex, each
// weight's offset being the vertex seen from its joint. `slots` has one
// entry per vertex.
void layOutWeights(Md5Mesh& mesh, const std::vector<VertexSlots>& slots, const std::vector<Joint>& joints);

// "N entries of what ...; skipped" when N is not 0.
void warnSkipped(Reporter& report, std::size_t skipped, const std::string& what);

} // namespace lwmd5
