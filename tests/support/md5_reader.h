#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5::testing {

// md5 version 10 files read as game engines read them: accepted where they
// accept them, refused (with the line and the reason) where they would
// refuse them or crash. Numbers are read into doubles.

struct Md5Vec {
    double x = 0.0, y = 0.0, z = 0.0;
};

struct Md5Quat {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
};

struct Md5FileJoint {
    std::string name;
    int parent = -1;
    Md5Vec position;
    Md5Vec orientation; // x, y, z as written
};

struct Md5FileVertex {
    double u = 0.0, v = 0.0;
    int firstWeight = 0;
    int weightCount = 0;
};

struct Md5FileWeight {
    int joint = 0;
    double bias = 0.0;
    Md5Vec offset;
};

struct Md5FileMesh {
    std::string shader;
    std::vector<Md5FileVertex> vertices;
    std::vector<std::array<int, 3>> triangles;
    std::vector<Md5FileWeight> weights;
};

struct Md5MeshFile {
    std::vector<Md5FileJoint> joints;
    std::vector<Md5FileMesh> meshes;
};

struct Md5AnimJoint {
    std::string name;
    int parent = -1;
    int flags = 0;
    int startIndex = 0;
};

struct Md5Bounds {
    Md5Vec min, max;
};

struct Md5AnimFile {
    int frameRate = 0;
    int animatedComponents = 0;
    std::vector<Md5AnimJoint> hierarchy;
    std::vector<Md5Bounds> bounds;
    std::vector<Md5FileJoint> baseframe;
    std::vector<std::vector<double>> frames;
};

// Checked: MD5Version 10; every count matches what follows; parents come
// before their children; every vertex has at least one weight, inside the
// list; weight joints and triangle corners are in range; frames are
// numbered 0, 1, ... and hold numAnimatedComponents numbers, which is
// 6 x numJoints; each joint's components lie inside a frame.
bool readMd5Mesh(std::string_view text, Md5MeshFile& file, std::string& error);
bool readMd5Anim(std::string_view text, Md5AnimFile& file, std::string& error);

// (x, y, z, -sqrt(max(0, 1 - x² - y² - z²))).
Md5Quat unitQuaternion(const Md5Vec& xyz);
// q·v·q⁻¹.
Md5Vec rotate(const Md5Quat& q, const Md5Vec& v);

struct PosedJoint {
    Md5Vec position;
    Md5Quat orientation;
};

// The md5mesh's joints, already in model space.
std::vector<PosedJoint> bindPose(const Md5MeshFile& file);
// Frame k: the base frame with the frame's components put in; a root as it
// stands, a child joined to its parent (orientation = parent ⊗ local,
// position = parent + parent orientation applied to the local position).
std::vector<PosedJoint> animationPose(const Md5AnimFile& file, std::size_t frame);
// Each vertex: the sum over its weights of bias × (joint + q·offset·q⁻¹).
std::vector<Md5Vec> skinVertices(const Md5FileMesh& mesh, const std::vector<PosedJoint>& joints);

// The first line where two texts differ, for readable failures.
std::string firstDifference(const std::string& a, const std::string& b);

} // namespace lwmd5::testing
