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
    std::vector<std::set<int>> positionsOfGroup(groupOfName.size());
    std::vector<int> position(count);
    for (std::size_t r = 0; r < count; ++r) {
        plan.order[r] = static_cast<int>(r);
        position[r] = static_cast<int>(r);
        const auto g = static_cast<std::size_t>(group[r]);
        if (groupSize[g] > 1) {
            soleRecord[g] = -1;
            positionsOfGroup[g].insert(static_cast<int>(r));
        }
    }
    auto firstMatch = [&](int g) {
        if (g < 0) return -1;
        const int sole = soleRecord[static_cast<std::size_t>(g)];
        return sole >= 0 ? position[static_cast<std::size_t>(sole)] : *positionsOfGroup[static_cast<std::size_t>(g)].begin();
    };
    auto move = [&](int record, int from, int to) {
        position[static_cast<std::size_t>(record)] = to;
        std::set<int>& positions = positionsOfGroup[static_cast<std::size_t>(group[static_cast<std::size_t>(record)])];
        if (!positions.empty()) {
            positions.erase(from);
            positions.insert(to);
        }
    };
    auto parentPosition = [&](int at) {
        return firstMatch(parentGroup[static_cast<std::size_t>(plan.order[static_cast<std::size_t>(at)])]);
    };

    for (int i = 0; i < static_cast<int>(count); ++i) {
        std::size_t exchanges = 0;
        std::vector<int> visitors;
        for (int p = parentPosition(i); p > i; p = parentPosition(i)) {
            // More exchanges at one position than there are records: the
            // parents go round in a circle. Keep stepping until a record comes
            // back, and report the records between its two visits.
            if (++exchanges > count) {
                visitors.push_back(plan.order[static_cast<std::size_t>(i)]);
                for (std::size_t v = 0; v + 1 < visitors.size(); ++v) {
                    if (visitors[v] == visitors.back()) {
                        plan.cycle.assign(visitors.begin() + static_cast<std::ptrdiff_t>(v), visitors.end() - 1);
                        return plan;
                    }
                }
            }
            int& atI = plan.order[static_cast<std::size_t>(i)];
            int& atP = plan.order[static_cast<std::size_t>(p)];
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
