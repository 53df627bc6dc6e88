#pragma once

#include "scene/scene.h"

#include <string>
#include <string_view>
#include <vector>

namespace lwmd5 {

// Index of the first joint named `name` (byte for byte), or -1.
int findJoint(const std::vector<Joint>& joints, std::string_view name);

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

// One joint per bone, with its rest pose in md5 space.
void buildJoints(Scene& scene);
// Every parent before its children.
void orderJoints(Scene& scene);
// Parent indices, bind transforms and their inverses. A joint whose parent
// is itself becomes a root.
void computeBindTransforms(Scene& scene);

} // namespace lwmd5
