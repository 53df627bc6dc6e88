#include "skin/weights.h"

#include "platform/report.h"
#include "skin/skinned_mesh.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace lwmd5 {

namespace {

// A bias that is not a number counts as the smallest.
bool smallerBias(float a, float b)
{
    if (std::isnan(a)) return !std::isnan(b);
    if (std::isnan(b)) return false;
    return a < b;
}

} // namespace

void VertexSlots::add(const Slot& slot, int limit)
{
    if (count < limit) {
        slots[count++] = slot;
        return;
    }
    crowded = true;
    const auto kept = slots.begin() + count;
    std::size_t victim = 0;
    for (std::size_t k = 1; k < count; ++k) {
        if (!smallerBias(slots[victim].bias, slots[k].bias)) victim = k;
    }
    if (!smallerBias(slots[victim].bias, slot.bias)) return;
    std::copy(slots.begin() + static_cast<std::ptrdiff_t>(victim) + 1, kept,
              slots.begin() + static_cast<std::ptrdiff_t>(victim));
    *(kept - 1) = slot;
}

void warnSkipped(Reporter& report, std::size_t skipped, const std::string& what)
{
    if (skipped == 0) return;
    report.warning(std::to_string(skipped) + " " + what);
}

std::vector<VertexSlots> gatherWeights(std::size_t pointCount, const std::vector<Joint>& joints,
                                       const LwoObject& object, const std::vector<bool>& mapUsed, int maxWeights,
                                       Reporter& report)
{
    std::vector<VertexSlots> slots(pointCount);
    std::vector<std::size_t> skippedPerMap(object.weightMaps.size(), 0);
    std::vector<bool> mapSeen(object.weightMaps.size(), false);
    for (std::size_t j = 0; j < joints.size(); ++j) {
        for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
            const LwoWeightMap& map = object.weightMaps[m];
            if (!mapUsed[m] || map.name != joints[j].weightMapName) continue;
            const bool firstUse = !mapSeen[m];
            mapSeen[m] = true;
            for (const LwoWeightEntry& entry : map.entries) {
                if (entry.weight == 0.0f) continue;
                if (entry.pointIndex < 0 || static_cast<std::size_t>(entry.pointIndex) >= pointCount) {
                    if (firstUse) ++skippedPerMap[m];
                    continue;
                }
                slots[static_cast<std::size_t>(entry.pointIndex)].add({static_cast<std::int32_t>(j), entry.weight},
                                                                      maxWeights);
            }
        }
    }
    for (std::size_t m = 0; m < object.weightMaps.size(); ++m) {
        warnSkipped(report, skippedPerMap[m],
                    "entries of weight map '" + object.weightMaps[m].name + "' name no point of the mesh; skipped");
    }
    std::size_t crowded = 0;
    for (VertexSlots& pointSlots : slots) {
        if (pointSlots.crowded) ++crowded;
        if (pointSlots.count == 0) pointSlots.add({0, 1.0f}, maxWeights);
    }
    if (crowded > 0) {
        report.warning(std::to_string(crowded) + " vertices have more than " + std::to_string(maxWeights) +
                       " weights; the " + std::to_string(maxWeights) + " largest of each are kept");
    }
    return slots;
}

void layOutWeights(Md5Mesh& mesh, const std::vector<VertexSlots>& slots, const std::vector<Joint>& joints)
{
    std::size_t total = 0;
    for (const VertexSlots& vertexSlots : slots) total += vertexSlots.count;
    mesh.weights.clear();
    mesh.weights.reserve(total);
    for (std::size_t i = 0; i < mesh.vertices.size(); ++i) {
        Md5Vertex& vertex = mesh.vertices[i];
        const Slot* first = slots[i].slots.data();
        const Slot* last = first + slots[i].count;
        double sum = 0.0;
        for (const Slot* slot = first; slot != last; ++slot) sum += slot->bias;
        const double reciprocal = sum != 0.0 ? 1.0 / sum : 0.0;
        vertex.firstWeight = static_cast<std::int32_t>(mesh.weights.size());
        vertex.weightCount = slots[i].count;
        for (const Slot* slot = first; slot != last; ++slot) {
            Md5Weight weight;
            weight.joint = slot->joint;
            weight.bias = sum != 0.0 ? static_cast<float>(slot->bias * reciprocal) : slot->bias;
            transformPoint(vertex.position, joints[static_cast<std::size_t>(slot->joint)].inverseBindTransform,
                           weight.offset);
            mesh.weights.push_back(weight);
        }
    }
}

} // namespace lwmd5
