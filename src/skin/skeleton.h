#pragma once

#include "math/transform.h"
#include "scene/scene.h"

#include <string>
#include <vector>

namespace lwmd5 {

class Reporter;

// How the scene's positions and rotations become md5 values.
enum class SceneMapping {
    // The converters' own rules: a position (x, y, z) becomes (x, y, -z), a
    // rotation is mirrored in z, every root's bind pose is turned by 90
    // degrees about x, and the frames turn the first two joints by fixed
    // angles. Right for rigs built around those rules only.
    Specified,
    // The rule of the object's points for everything: y and z exchanged, in
    // positions ((x, z, y)) and in rotations (rows and columns 1 and 2), and
    // nothing added. The bind pose and every frame are the same construction
    // with the rest values or a frame's channel values.
    Engine,
};

// A position of the scene in md5 space, times the scale factor.
Vec3 mapPosition(SceneMapping mapping, const Vec3& position, float scaleFactor);
// A heading, pitch and bank of the scene (degrees) as an md5 rotation.
void mapRotation(SceneMapping mapping, const Vec3& angles, Transform& rotation);

// One bone of the scene as an md5 joint.
struct Joint {
    std::string name;
    int parentIndex = -1;
    std::string parentName;
    std::string weightMapName;
    Vec3 restPosition;       // relative to the parent, md5 space, scaled
    Transform restRotation;  // relative to the parent, md5 space
    Transform bindTransform; // joint space to model space
    Transform inverseBindTransform;
    int bone = -1; // index of the Bone in Scene::bones
    // The joint 0 that engine output adds at the model origin: no bone, never
    // animated.
    bool addedOrigin = false;
};

// The name of the bone that `bone`'s ParentItem names, or "" when it names no
// bone of the list (an object, a null, a number beyond the list).
std::string parentBoneName(const std::vector<Bone>& bones, const Bone& bone);

// The permutation that puts every parent before its children: position i of
// the result takes record order[i]. Exchanges records as the skeleton's
// ordering always has (the record at i swaps with its parent's first match
// while that lies after i). When the parents form a cycle the exchanges would
// never end; `cycle` then lists the records of the cycle and `order` is the
// unfinished permutation.
struct JointOrder {
    std::vector<int> order;
    std::vector<int> cycle;
};
JointOrder planJointOrder(const std::vector<std::string>& names, const std::vector<std::string>& parentNames);
// The plan for the bones' joints, which keep the bones' names and parents.
JointOrder planJointOrder(const std::vector<Bone>& bones);

// One joint per bone in file order, with its rest pose in md5 space.
std::vector<Joint> buildJoints(const std::vector<Bone>& bones, float scaleFactor,
                               SceneMapping mapping = SceneMapping::Specified);
// The joints rearranged by a plan without a cycle: every parent first.
std::vector<Joint> orderJoints(std::vector<Joint> joints, const std::vector<int>& order);
// Parent indices, bind transforms and their inverses, on ordered joints. A
// joint whose parent is itself becomes a root.
std::vector<Joint> computeBindTransforms(std::vector<Joint> joints);

// The three stages in their order: the skeleton in its bind pose.
std::vector<Joint> buildSkeleton(const std::vector<Bone>& bones, const JointOrder& plan, float scaleFactor);

// The skeleton for engines that take joint 0 for the entity's origin: an
// added joint "origin" at the model origin, parent of every root bone, then
// the bones' joints mapped as the object's points, each bind pose composed
// from the rest values as the frames are from the channel values. A rig
// whose only root bone is named "origin" and rests at the origin without a
// turn keeps that bone as joint 0 instead.
std::vector<Joint> buildEngineSkeleton(const std::vector<Bone>& bones, const JointOrder& plan, float scaleFactor,
                                       Reporter& report);

} // namespace lwmd5
