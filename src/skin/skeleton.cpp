#include "skin/skeleton.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>

namespace lwmd5 {

int findJoint(const std::vector<Joint>& joints, std::string_view name)
{
    for (std::size_t i = 0; i < joints.size(); ++i) {
        if (joints[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

std::string parentBoneName(const std::vector<Bone>& bones, const Bone& bone)
{
    if ((bone.parentItem & kParentIsBone) == 0) return {};
    const std::uint32_t number = parentBoneNumber(bone.parentItem);
    return number < bones.size() ? bones[number].name : std::string();
}

namespace {

// A 128-bit fingerprint of which record stands at which position, kept up to
// date exchange by exchange: the exclusive or of a mixed key per (record,
// position) pair.
struct ArrangementHash {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    static std::uint64_t mix(std::uint64_t value)
    {
        value += 0x9E3779B97F4A7C15ull;
        value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
        value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
        return value ^ (value >> 31);
    }

    void toggle(int record, int position)
    {
        const std::uint64_t key = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(record)) << 32) |
                                  static_cast<std::uint32_t>(position);
        low ^= mix(key);
        high ^= mix(key ^ 0xD6E8FEB86659FD93ull);
    }

    void exchange(int recordA, int positionA, int recordB, int positionB)
    {
        toggle(recordA, positionA);
        toggle(recordB, positionB);
        toggle(recordA, positionB);
        toggle(recordB, positionA);
    }

    static ArrangementHash of(const std::vector<int>& order)
    {
        ArrangementHash hash;
        for (std::size_t position = 0; position < order.size(); ++position) {
            hash.toggle(order[position], static_cast<int>(position));
        }
        return hash;
    }

    bool operator==(const ArrangementHash& other) const { return low == other.low && high == other.high; }

    struct Hasher {
        std::size_t operator()(const ArrangementHash& hash) const { return static_cast<std::size_t>(hash.low); }
    };
};

} // namespace

JointOrder planJointOrder(const std::vector<std::string>& names, const std::vector<std::string>& parentNames)
{
    const std::size_t count = names.size();
    JointOrder plan;
    plan.order.resize(count);
    // Records of one name form a group; a name's first match is the group's
    // record at the smallest position. A group of one record (every group,
    // when names are unique) needs only that record's position; larger groups
    // keep the set of their positions.
    std::unordered_map<std::string_view, int> groupOfName;
    std::vector<int> group(count);
    for (std::size_t r = 0; r < count; ++r) {
        group[r] = groupOfName.emplace(names[r], static_cast<int>(groupOfName.size())).first->second;
    }
    std::vector<int> parentGroup(count, -1);
    for (std::size_t r = 0; r < count; ++r) {
        const auto found = groupOfName.find(parentNames[r]);
        if (found != groupOfName.end()) parentGroup[r] = found->second;
    }
    std::vector<int> soleRecord(groupOfName.size(), -1);
    std::vector<int> groupSize(groupOfName.size(), 0);
    for (std::size_t r = 0; r < count; ++r) {
        ++groupSize[static_cast<std::size_t>(group[r])];
        soleRecord[static_cast<std::size_t>(group[r])] = static_cast<int>(r);
    }
    // Position sets exist only for names shared by several records.
    std::vector<int> setOfGroup(groupOfName.size(), -1);
    std::vector<std::set<int>> sharedPositions;
    std::vector<int> position(count);
    for (std::size_t r = 0; r < count; ++r) {
        plan.order[r] = static_cast<int>(r);
        position[r] = static_cast<int>(r);
        const auto g = static_cast<std::size_t>(group[r]);
        if (groupSize[g] > 1) {
            soleRecord[g] = -1;
            if (setOfGroup[g] < 0) {
                setOfGroup[g] = static_cast<int>(sharedPositions.size());
                sharedPositions.emplace_back();
            }
            sharedPositions[static_cast<std::size_t>(setOfGroup[g])].insert(static_cast<int>(r));
        }
    }
    auto firstMatch = [&](int g) {
        if (g < 0) return -1;
        const auto index = static_cast<std::size_t>(g);
        return soleRecord[index] >= 0 ? position[static_cast<std::size_t>(soleRecord[index])]
                                      : *sharedPositions[static_cast<std::size_t>(setOfGroup[index])].begin();
    };
    auto move = [&](int record, int from, int to) {
        position[static_cast<std::size_t>(record)] = to;
        const int shared = setOfGroup[static_cast<std::size_t>(group[static_cast<std::size_t>(record)])];
        if (shared >= 0) {
            std::set<int>& positions = sharedPositions[static_cast<std::size_t>(shared)];
            positions.erase(from);
            positions.insert(to);
        }
    };
    auto parentPosition = [&](int at) {
        return firstMatch(parentGroup[static_cast<std::size_t>(plan.order[static_cast<std::size_t>(at)])]);
    };

    for (int i = 0; i < static_cast<int>(count); ++i) {
        std::size_t exchanges = 0;
        ArrangementHash hash;
        std::unordered_map<ArrangementHash, std::size_t, ArrangementHash::Hasher> seen;
        std::vector<int> visitors;
        for (int p = parentPosition(i); p > i; p = parentPosition(i)) {
            int& atI = plan.order[static_cast<std::size_t>(i)];
            int& atP = plan.order[static_cast<std::size_t>(p)];
            // Exchanges at one position normally end within a chain's depth.
            // Past as many exchanges as there are records, watch for an
            // arrangement that comes back: from there the exchanges would
            // repeat forever, and the records that visited position i in
            // between form the cycle. (Shared names can make a long run
            // that still ends, so the count alone proves nothing.)
            if (++exchanges > count) {
                if (seen.empty()) hash = ArrangementHash::of(plan.order);
                const auto [found, fresh] = seen.emplace(hash, visitors.size());
                if (!fresh) {
                    plan.cycle.assign(visitors.begin() + static_cast<std::ptrdiff_t>(found->second), visitors.end());
                    std::sort(plan.cycle.begin(), plan.cycle.end());
                    plan.cycle.erase(std::unique(plan.cycle.begin(), plan.cycle.end()), plan.cycle.end());
                    return plan;
                }
                visitors.push_back(atI);
                hash.exchange(atI, i, atP, p);
            }
            move(atI, i, p);
            move(atP, p, i);
            std::swap(atI, atP);
        }
    }
    return plan;
}

void buildJoints(Scene& scene)
{
    const double s = scene.scaleFactor;
    scene.joints.assign(scene.bones.size(), Joint{});
    for (std::size_t i = 0; i < scene.bones.size(); ++i) {
        const Bone& bone = scene.bones[i];
        Joint& joint = scene.joints[i];
        joint.bone = static_cast<int>(i);
        joint.name = bone.name;
        joint.weightMapName = bone.weightMapName;
        joint.restPosition = {static_cast<float>(s * bone.restPosition.x), static_cast<float>(s * bone.restPosition.y),
                              -static_cast<float>(s * bone.restPosition.z)};
        joint.parentIndex = -1;
        joint.parentName = parentBoneName(scene.bones, bone);
        headingPitchBankRotation(bone.restDirection.x, bone.restDirection.y, bone.restDirection.z,
                                 joint.restRotation);
        toMd5Rotation(joint.restRotation);
    }
}

void orderJoints(Scene& scene)
{
    std::vector<std::string> names;
    std::vector<std::string> parentNames;
    names.reserve(scene.joints.size());
    parentNames.reserve(scene.joints.size());
    for (const Joint& joint : scene.joints) {
        names.push_back(joint.name);
        parentNames.push_back(joint.parentName);
    }
    std::vector<int> order = planJointOrder(names, parentNames).order;
    names.clear();
    parentNames.clear();
    // Apply the permutation in place, one cycle at a time: position i takes
    // the record that stood at order[i].
    for (std::size_t i = 0; i < order.size(); ++i) {
        std::size_t current = i;
        while (static_cast<std::size_t>(order[current]) != i) {
            const auto next = static_cast<std::size_t>(order[current]);
            std::swap(scene.joints[current], scene.joints[next]);
            order[current] = static_cast<int>(current);
            current = next;
        }
        order[current] = static_cast<int>(current);
    }
}

void computeBindTransforms(Scene& scene)
{
    // First index of each name; the order is final now.
    std::unordered_map<std::string_view, int> firstIndex;
    for (std::size_t i = 0; i < scene.joints.size(); ++i) firstIndex.emplace(scene.joints[i].name, static_cast<int>(i));

    Transform upright;
    rotationX(90.0f, upright);
    for (std::size_t i = 0; i < scene.joints.size(); ++i) {
        Joint& joint = scene.joints[i];
        const auto found = firstIndex.find(joint.parentName);
        const int parent = found == firstIndex.end() ? -1 : found->second;

        Transform translation;
        Transform local;
        translationTransform(joint.restPosition, translation);
        multiplyTransforms(joint.restRotation, translation, local);
        if (parent >= 0 && parent != static_cast<int>(i)) {
            joint.parentIndex = parent;
            multiplyTransforms(local, scene.joints[static_cast<std::size_t>(parent)].bindTransform,
                               joint.bindTransform);
        } else {
            joint.parentIndex = -1;
            multiplyTransforms(upright, local, joint.bindTransform);
        }
        invertTransform(joint.bindTransform, joint.inverseBindTransform);
    }
}

} // namespace lwmd5
