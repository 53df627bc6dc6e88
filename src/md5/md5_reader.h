#pragma once

#include "math/vec3d.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lwmd5 {

class Reporter;

// md5 version 10 files as they are written, for any tool's files. The reader
// checks the syntax and that every list holds the entries its count
// announces; what an engine would refuse beyond that (a version other than
// 10, a parent after its child, a weight of no joint, ...) is kept as read,
// for the rules in inspect/ to judge. Lines count from 1.

struct Md5FileJoint {
    std::string name;
    long long parent = -1;
    Vec3d position;     // model space
    Quatd orientation;  // completed from the three stored components
    std::size_t line = 0;
};

struct Md5FileVertex {
    double u = 0.0;
    double v = 0.0;
    long long firstWeight = 0;
    long long weightCount = 0;
    std::size_t line = 0;
};

struct Md5FileTriangle {
    long long corners[3] = {};
    std::size_t line = 0;
};

struct Md5FileWeight {
    long long joint = 0;
    double bias = 0.0;
    Vec3d offset;
    std::size_t line = 0;
};

struct Md5FileMesh {
    std::string shader;
    std::vector<Md5FileVertex> vertices;
    std::vector<Md5FileTriangle> triangles;
    std::vector<Md5FileWeight> weights;
    std::size_t line = 0; // of "mesh"
};

struct Md5ModelFile {
    long long version = 0;
    std::size_t versionLine = 0;
    std::string commandLine;
    std::vector<Md5FileJoint> joints;
    std::vector<Md5FileMesh> meshes;
};

struct Md5HierarchyEntry {
    std::string name;
    long long parent = -1;
    long long flags = 0;
    long long startIndex = 0;
    std::size_t line = 0;
};

struct Md5Box {
    Vec3d min;
    Vec3d max;
};

// A base frame joint relative to its parent: position and the three stored
// orientation components.
struct Md5BaseJoint {
    Vec3d position;
    Vec3d orientation;
};

struct Md5AnimFile {
    long long version = 0;
    std::size_t versionLine = 0;
    std::string commandLine;
    double frameRate = 0.0;
    long long animatedComponents = 0; // numAnimatedComponents
    std::vector<Md5HierarchyEntry> hierarchy;
    std::vector<Md5Box> bounds;
    std::vector<std::size_t> boundsLines;
    std::vector<Md5BaseJoint> baseFrame;
    std::vector<long long> frameNumbers;     // as written after "frame"
    std::vector<std::size_t> frameLines;
    std::vector<double> components;          // animatedComponents per frame, frame after frame

    std::size_t frameCount() const { return frameNumbers.size(); }
};

// Where the text stopped making sense: "expected '(' but found 'frame'".
struct Md5ReadError {
    std::size_t line = 0;
    std::string text;
};

// The reading itself: tokens separated by white space, quoted strings, the
// brackets { } ( ) as tokens of their own, "//" comments to the end of the
// line, and numbers in any spelling strtod takes whole (finite; integers
// without a fraction). A count is refused before anything is reserved when
// the rest of the text cannot hold that many entries.
[[nodiscard]] std::optional<Md5ReadError> parseMd5Model(std::string_view text, Md5ModelFile& model);
[[nodiscard]] std::optional<Md5ReadError> parseMd5Anim(std::string_view text, Md5AnimFile& anim);

// Reads the file and parses it; a failure is one error line
// ("walk.md5anim:214: expected '(' but found 'frame'", or the reason the file
// could not be read).
[[nodiscard]] bool loadMd5Model(const std::string& path, Md5ModelFile& model, Reporter& report);
[[nodiscard]] bool loadMd5Anim(const std::string& path, Md5AnimFile& anim, Reporter& report);

} // namespace lwmd5
