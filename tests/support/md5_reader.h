#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5::testing {

using Md5Vec = std::array<double, 3>;

// A joint in model space: its position and unit quaternion (x, y, z, w).
struct Md5Joint {
    Md5Vec position{};
    std::array<double, 4> orientation{};
};

// One row of numbers per line, as written after the line's index.
using Md5Rows = std::vector<std::vector<double>>;

struct Md5FileMesh {
    Md5Rows vertices;  // u, v, first weight, weight count
    Md5Rows triangles; // the three corners
    Md5Rows weights;   // joint, bias, offset x, y, z
};

struct Md5MeshFile {
    std::vector<Md5Joint> joints;
    std::vector<Md5FileMesh> meshes;
};

struct Md5AnimFile {
    Md5Rows bounds;                            // min x, y, z, max x, y, z of each frame
    std::vector<std::vector<Md5Joint>> frames; // the joints posed in each frame
};

// md5 version 10 files read as game engines read them, refused (with the
// reason) where an engine would refuse them or crash: a version other than
// 10, counts that do not match what follows, a parent after its child, a
// vertex without weights or with weights outside the list, a weight joint or
// triangle corner out of range, frame components outside the frame, frames
// not numbered 0, 1, ... The animation must animate every component, in joint
// order (the one layout the writer makes), so the base frame is only checked.
// Orientations are completed as engines do, w = -sqrt(max(0, 1 - x² - y² - z²)),
// and a frame's joint is joined to its parent: orientation = parent ⊗ local,
// position = parent + parent orientation applied to the local position.
bool readMd5Mesh(std::string_view text, Md5MeshFile& file, std::string& error);
bool readMd5Anim(std::string_view text, Md5AnimFile& file, std::string& error);

// Each vertex: the sum over its weights of bias × (joint + q·offset·q⁻¹).
std::vector<Md5Vec> skinVertices(const Md5FileMesh& mesh, const std::vector<Md5Joint>& joints);

} // namespace lwmd5::testing
