#include "skin/skeleton.h"

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

JointOrder planJointOrder(const std::vector<std::string>& names, const std::vector<std::string>& parentNames)
{
    const int count = static_cast<int>(names.size());
    JointOrder plan;
    plan.order.resize(names.size());
    // Positions of the records of each name; the first match is the smallest.
    std::unordered_map<std::string_view, std::set<int>> positions;
    for (int i = 0; i < count; ++i) {
        plan.order[static_cast<std::size_t>(i)] = i;
        positions[names[static_cast<std::size_t>(i)]].insert(i);
    }
    auto firstMatch = [&](const std::string& name) {
        const auto found = positions.find(name);
        return found == positions.end() ? -1 : *found->second.begin();
    };
    auto exchange = [&](int a, int b) {
        int& recordA = plan.order[static_cast<std::size_t>(a)];
        int& recordB = plan.order[static_cast<std::size_t>(b)];
        auto& setA = positions[names[static_cast<std::size_t>(recordA)]];
        auto& setB = positions[names[static_cast<std::size_t>(recordB)]];
        if (&setA != &setB) {
            setA.erase(a);
            setA.insert(b);
            setB.erase(b);
            setB.insert(a);
        }
        std::swap(recordA, recordB);
    };
    for (int i = 0; i < count; ++i) {
        int exchanges = 0;
        std::vector<int> visitors;
        for (int p = firstMatch(parentNames[static_cast<std::size_t>(plan.order[static_cast<std::size_t>(i)])]);
             p > i; p = firstMatch(parentNames[static_cast<std::size_t>(plan.order[static_cast<std::size_t>(i)])])) {
            // More exchanges at one position than there are records: the
            // parents go round in a circle. Keep stepping until a record comes
            // back, and report the records between its two visits.
            if (++exchanges > count) visitors.push_back(plan.order[static_cast<std::size_t>(i)]);
            for (std::size_t v = 0; v + 1 < visitors.size(); ++v) {
                if (visitors[v] == visitors.back()) {
                    plan.cycle.assign(visitors.begin() + static_cast<std::ptrdiff_t>(v), visitors.end() - 1);
                    return plan;
                }
            }
            exchange(i, p);
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
    const JointOrder plan = planJointOrder(names, parentNames);
    std::vector<Joint> ordered;
    ordered.reserve(scene.joints.size());
    for (const int record : plan.order) ordered.push_back(std::move(scene.joints[static_cast<std::size_t>(record)]));
    scene.joints = std::move(ordered);
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
