#include "skin/skeleton.h"

#include "platform/report.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>

namespace lwmd5 {

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

namespace {

// Where each record stands while the exchanges run, and where the first
// record of each name stands. Records of one name form a group; a name's
// first match is the group's record at the smallest position. A group of one
// record (every group, when names are unique) needs only that record's
// position; larger groups keep the set of their positions.
class OrderPlanner {
public:
    OrderPlanner(const std::vector<std::string>& names, const std::vector<std::string>& parentNames);

    // Exchanges the record at i with its parent's first match while that
    // lies after i. False when the exchanges would never end; `cycle` then
    // holds the records that take part.
    bool settle(int i, std::vector<int>& cycle);
    std::vector<int>& order() { return order_; }

private:
    int firstMatch(int group) const;
    int parentPosition(int at) const { return firstMatch(parentGroup_[index(order_[index(at)])]); }
    void move(int record, int from, int to);
    static std::size_t index(int value) { return static_cast<std::size_t>(value); }

    std::vector<int> group_;       // per record
    std::vector<int> parentGroup_; // per record, -1 when the parent name matches no record
    std::vector<int> soleRecord_;  // per group: its only record, or -1 for a shared name
    std::vector<int> setOfGroup_;  // per group: its entry in sharedPositions_, or -1
    std::vector<std::set<int>> sharedPositions_;
    std::vector<int> position_; // per record
    std::vector<int> order_;    // per position: the record standing there
};

OrderPlanner::OrderPlanner(const std::vector<std::string>& names, const std::vector<std::string>& parentNames)
    : group_(names.size()), parentGroup_(names.size(), -1), position_(names.size()), order_(names.size())
{
    std::unordered_map<std::string_view, int> groupOfName;
    for (std::size_t r = 0; r < names.size(); ++r) {
        group_[r] = groupOfName.emplace(names[r], static_cast<int>(groupOfName.size())).first->second;
    }
    for (std::size_t r = 0; r < names.size(); ++r) {
        const auto found = groupOfName.find(parentNames[r]);
        if (found != groupOfName.end()) parentGroup_[r] = found->second;
    }
    std::vector<int> groupSize(groupOfName.size(), 0);
    soleRecord_.assign(groupOfName.size(), -1);
    for (std::size_t r = 0; r < names.size(); ++r) {
        ++groupSize[index(group_[r])];
        soleRecord_[index(group_[r])] = static_cast<int>(r);
    }
    setOfGroup_.assign(groupOfName.size(), -1);
    for (std::size_t r = 0; r < names.size(); ++r) {
        order_[r] = static_cast<int>(r);
        position_[r] = static_cast<int>(r);
        const std::size_t g = index(group_[r]);
        if (groupSize[g] == 1) continue;
        soleRecord_[g] = -1;
        if (setOfGroup_[g] < 0) {
            setOfGroup_[g] = static_cast<int>(sharedPositions_.size());
            sharedPositions_.emplace_back();
        }
        sharedPositions_[index(setOfGroup_[g])].insert(static_cast<int>(r));
    }
}

int OrderPlanner::firstMatch(int group) const
{
    if (group < 0) return -1;
    const int sole = soleRecord_[index(group)];
    return sole >= 0 ? position_[index(sole)] : *sharedPositions_[index(setOfGroup_[index(group)])].begin();
}

void OrderPlanner::move(int record, int from, int to)
{
    position_[index(record)] = to;
    const int shared = setOfGroup_[index(group_[index(record)])];
    if (shared < 0) return;
    std::set<int>& positions = sharedPositions_[index(shared)];
    positions.erase(from);
    positions.insert(to);
}

bool OrderPlanner::settle(int i, std::vector<int>& cycle)
{
    const std::size_t count = order_.size();
    std::size_t exchanges = 0;
    ArrangementHash hash;
    std::unordered_map<ArrangementHash, std::size_t, ArrangementHash::Hasher> seen;
    std::vector<int> visitors;
    for (int p = parentPosition(i); p > i; p = parentPosition(i)) {
        int& atI = order_[index(i)];
        int& atP = order_[index(p)];
        // Exchanges at one position normally end within a chain's depth.
        // Past as many exchanges as there are records, watch for an
        // arrangement that comes back: from there the exchanges would repeat
        // forever, and the records that visited position i in between form
        // the cycle. (Shared names can make a long run that still ends, so
        // the count alone proves nothing.)
        if (++exchanges > count) {
            if (seen.empty()) hash = ArrangementHash::of(order_);
            const auto [found, fresh] = seen.emplace(hash, visitors.size());
            if (!fresh) {
                cycle.assign(visitors.begin() + static_cast<std::ptrdiff_t>(found->second), visitors.end());
                std::sort(cycle.begin(), cycle.end());
                cycle.erase(std::unique(cycle.begin(), cycle.end()), cycle.end());
                return false;
            }
            visitors.push_back(atI);
            hash.exchange(atI, i, atP, p);
        }
        move(atI, i, p);
        move(atP, p, i);
        std::swap(atI, atP);
    }
    return true;
}

} // namespace

JointOrder planJointOrder(const std::vector<std::string>& names, const std::vector<std::string>& parentNames)
{
    OrderPlanner planner(names, parentNames);
    JointOrder plan;
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if (!planner.settle(i, plan.cycle)) break;
    }
    plan.order = std::move(planner.order());
    return plan;
}

JointOrder planJointOrder(const std::vector<Bone>& bones)
{
    std::vector<std::string> names;
    std::vector<std::string> parentNames;
    names.reserve(bones.size());
    parentNames.reserve(bones.size());
    for (const Bone& bone : bones) {
        names.push_back(bone.name);
        parentNames.push_back(parentBoneName(bones, bone));
    }
    return planJointOrder(names, parentNames);
}

Vec3 mapPosition(SceneMapping mapping, const Vec3& position, float scaleFactor)
{
    const double s = scaleFactor;
    if (mapping == SceneMapping::Engine) {
        return {static_cast<float>(s * position.x), static_cast<float>(s * position.z),
                static_cast<float>(s * position.y)};
    }
    return {static_cast<float>(s * position.x), static_cast<float>(s * position.y), -static_cast<float>(s * position.z)};
}

void mapRotation(SceneMapping mapping, const Vec3& angles, Transform& rotation)
{
    headingPitchBankRotation(angles.x, angles.y, angles.z, rotation);
    if (mapping == SceneMapping::Specified) {
        toMd5Rotation(rotation);
        return;
    }
    // S * R * S with S the exchange of y and z: the rotation seen in the
    // space of the object's points. Only entries move, so nothing rounds.
    auto& m = rotation.m;
    std::swap(m[1], m[2]);
    for (auto& row : m) std::swap(row[1], row[2]);
}

std::vector<Joint> buildJoints(const std::vector<Bone>& bones, float scaleFactor, SceneMapping mapping)
{
    std::vector<Joint> joints(bones.size());
    for (std::size_t i = 0; i < bones.size(); ++i) {
        const Bone& bone = bones[i];
        Joint& joint = joints[i];
        joint.bone = static_cast<int>(i);
        joint.name = bone.name;
        joint.weightMapName = bone.weightMapName;
        joint.restPosition = mapPosition(mapping, bone.restPosition, scaleFactor);
        joint.parentName = parentBoneName(bones, bone);
        mapRotation(mapping, bone.restDirection, joint.restRotation);
    }
    return joints;
}

std::vector<Joint> orderJoints(std::vector<Joint> joints, const std::vector<int>& plannedOrder)
{
    std::vector<int> order = plannedOrder;
    // Apply the permutation in place, one cycle at a time: position i takes
    // the record that stood at order[i].
    for (std::size_t i = 0; i < order.size(); ++i) {
        std::size_t current = i;
        while (static_cast<std::size_t>(order[current]) != i) {
            const auto next = static_cast<std::size_t>(order[current]);
            std::swap(joints[current], joints[next]);
            order[current] = static_cast<int>(current);
            current = next;
        }
        order[current] = static_cast<int>(current);
    }
    return joints;
}

namespace {

// Each joint's parent: the first joint of its parent name; a joint whose
// parent name finds no joint or itself is a root. The order is final.
void resolveParents(std::vector<Joint>& joints)
{
    std::unordered_map<std::string_view, int> firstIndex;
    for (std::size_t i = 0; i < joints.size(); ++i) firstIndex.emplace(joints[i].name, static_cast<int>(i));
    for (std::size_t i = 0; i < joints.size(); ++i) {
        const auto found = firstIndex.find(joints[i].parentName);
        const int parent = found == firstIndex.end() ? -1 : found->second;
        joints[i].parentIndex = parent != static_cast<int>(i) ? parent : -1;
    }
}

// Each joint's local transform (rest rotation, then rest position) followed
// by its parent's bind transform; `rootTurn` comes before a root's.
void composeBindTransforms(std::vector<Joint>& joints, const Transform& rootTurn)
{
    for (Joint& joint : joints) {
        Transform translation;
        Transform local;
        translationTransform(joint.restPosition, translation);
        multiplyTransforms(joint.restRotation, translation, local);
        if (joint.parentIndex >= 0) {
            multiplyTransforms(local, joints[static_cast<std::size_t>(joint.parentIndex)].bindTransform,
                               joint.bindTransform);
        } else {
            multiplyTransforms(rootTurn, local, joint.bindTransform);
        }
        invertTransform(joint.bindTransform, joint.inverseBindTransform);
    }
}

bool isOriginRoot(const Joint& joint, const Bone& bone)
{
    const Vec3 zero{};
    const auto same = [](const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    return joint.parentIndex < 0 && joint.name == "origin" && same(bone.restPosition, zero) &&
           same(bone.restDirection, zero);
}

Joint addedOriginJoint()
{
    Joint origin;
    origin.name = "origin";
    origin.addedOrigin = true;
    identityTransform(origin.restRotation);
    return origin;
}

} // namespace

// A root's bind transform is preceded by a turn of 90 degrees about x: the
// scene's y-up rest directions become md5's z up, while the root's position
// stays as the scene gives it (x, y, -z), unturned. The rig then stands
// upright in md5 space when its root sits at the origin.
std::vector<Joint> computeBindTransforms(std::vector<Joint> joints)
{
    resolveParents(joints);
    Transform upright;
    rotationX(90.0f, upright);
    composeBindTransforms(joints, upright);
    return joints;
}

std::vector<Joint> buildEngineSkeleton(const std::vector<Bone>& bones, const JointOrder& plan, float scaleFactor,
                                       Reporter& report)
{
    std::vector<Joint> joints = orderJoints(buildJoints(bones, scaleFactor, SceneMapping::Engine), plan.order);
    resolveParents(joints);
    const auto roots = std::count_if(joints.begin(), joints.end(), [](const Joint& j) { return j.parentIndex < 0; });
    const bool ownOrigin = roots == 1 && isOriginRoot(joints.front(), bones[static_cast<std::size_t>(joints.front().bone)]);
    if (!ownOrigin) {
        for (Joint& joint : joints) {
            if (joint.parentIndex < 0) joint.parentName = "origin";
            ++joint.parentIndex; // a root's -1 becomes the origin's 0
        }
        joints.insert(joints.begin(), addedOriginJoint());
        const auto named = std::count_if(joints.begin(), joints.end(), [](const Joint& j) { return j.name == "origin"; });
        if (named > 1) {
            report.warning("a bone is named 'origin' but is not the rig's only root at rest at the origin; the joint "
                           "'origin' added as joint 0 shares its name");
        }
    }
    Transform identity;
    identityTransform(identity);
    composeBindTransforms(joints, identity);
    return joints;
}

std::vector<Joint> buildSkeleton(const std::vector<Bone>& bones, const JointOrder& plan, float scaleFactor)
{
    return computeBindTransforms(orderJoints(buildJoints(bones, scaleFactor), plan.order));
}

} // namespace lwmd5
