#include "support/md5_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace lwmd5::testing {

namespace {

using Quat = std::array<double, 4>;

Quat multiply(const Quat& a, const Quat& b)
{
    return {a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1], a[3] * b[1] - a[0] * b[2] + a[1] * b[3] + a[2] * b[0],
            a[3] * b[2] + a[0] * b[1] - a[1] * b[0] + a[2] * b[3], a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2]};
}

// The joint's position plus q·v·q⁻¹.
Md5Vec place(const Md5Joint& joint, const Md5Vec& v)
{
    const Quat& q = joint.orientation;
    const Quat r = multiply(multiply(q, {v[0], v[1], v[2], 0.0}), {-q[0], -q[1], -q[2], q[3]});
    return {joint.position[0] + r[0], joint.position[1] + r[1], joint.position[2] + r[2]};
}

// A joint of six written numbers (position, then the orientation's x, y, z),
// joined to its parent when one is given.
Md5Joint makeJoint(const double* c, const Md5Joint* parent)
{
    const double w = -std::sqrt(std::max(0.0, 1.0 - c[3] * c[3] - c[4] * c[4] - c[5] * c[5]));
    const Md5Joint joint{{c[0], c[1], c[2]}, {c[3], c[4], c[5], w}};
    return parent ? Md5Joint{place(*parent, joint.position), multiply(parent->orientation, joint.orientation)} : joint;
}

// Reads the text against patterns and keeps the first broken expectation.
struct Parser {
    std::string_view text;
    std::string& error;
    std::size_t at = 0;

    // The next token as an engine's lexer sees it: a quoted string, one of the
    // brackets { } ( ) or a word; "//" starts a comment that runs to the end
    // of the line.
    std::string token()
    {
        constexpr std::string_view space = " \t\r\n", breaks = " \t\r\n{}()\"";
        at = text.find_first_not_of(space, at);
        while (at != text.npos && text.substr(at, 2) == "//") at = text.find_first_not_of(space, text.find('\n', at));
        if (at == text.npos) return "the end of the file";
        const std::size_t start = at++;
        if (text[start] == '"') at = std::min(text.find('"', at), text.size() - 1) + 1;
        if (breaks.find(text[start]) == breaks.npos) at = std::min(text.find_first_of(breaks, at), text.size());
        return std::string(text.substr(start, at - start));
    }

    void check(bool holds, const std::string& why)
    {
        if (!holds && error.empty()) error = "at byte " + std::to_string(at) + ": " + why;
    }

    // Reads the next tokens as `pattern` says: a word stands for itself, %s
    // is a quoted string, %f a finite number, %d an integer, %n a count
    // (an integer of 0 or more), %p a parent (-1 or an integer below `index`)
    // and %i is the integer `index`. Returns the values of %f, %d, %n and %p.
    std::vector<double> read(std::string_view pattern, std::size_t index = 0)
    {
        std::vector<double> values;
        std::istringstream words{std::string(pattern)};
        for (std::string word; words >> word;) {
            const std::string found = token();
            char* end = nullptr;
            const double value = std::strtod(found.c_str(), &end);
            const bool number = *end == '\0' && std::isfinite(value);
            const bool integer = number && value == std::trunc(value) && std::abs(value) < 2147483648.0;
            if (word == "%s") {
                check(found.size() >= 2 && found.front() == '"' && found.back() == '"', found + " is not quoted");
            } else if (word[0] == '%') {
                const auto i = static_cast<double>(index);
                const bool fits = word == "%f" ? number : integer && (word == "%d" || (word == "%n" && value >= 0) ||
                                                                      (word == "%p" && value >= -1 && value < i) ||
                                                                      (word == "%i" && value == i));
                check(fits, "'" + found + "' for " + word);
                if (word != "%i") values.push_back(error.empty() ? value : 0.0);
            } else {
                check(found == word, "expected '" + word + "', found '" + found + "'");
            }
        }
        return values;
    }

    // `count` entries of `pattern`, entry i read with the index i.
    Md5Rows list(double count, std::string_view pattern)
    {
        Md5Rows rows;
        for (std::size_t i = 0; error.empty() && static_cast<double>(i) < count; ++i) rows.push_back(read(pattern, i));
        return rows;
    }

    bool end()
    {
        check(token() == "the end of the file", "data after the end");
        return error.empty();
    }
};

} // namespace

bool readMd5Mesh(std::string_view text, Md5MeshFile& file, std::string& error)
{
    file = {};
    error.clear();
    Parser p{text, error};
    const auto head = p.read("MD5Version %d commandline %s numJoints %n numMeshes %n joints {");
    p.check(head[0] == 10, "MD5Version is not 10");
    const Md5Rows joints = p.list(head[1], "%s %p ( %f %f %f ) ( %f %f %f )");
    for (const auto& joint : joints) file.joints.push_back(makeJoint(&joint[1], nullptr)); // in model space
    p.read("}");
    for (std::size_t m = 0; error.empty() && static_cast<double>(m) < head[2]; ++m) {
        Md5FileMesh& mesh = file.meshes.emplace_back();
        mesh.vertices = p.list(p.read("mesh { shader %s numverts %n")[0], "vert %i ( %f %f ) %n %n");
        mesh.triangles = p.list(p.read("numtris %n")[0], "tri %i %n %n %n");
        mesh.weights = p.list(p.read("numweights %n")[0], "weight %i %n %f ( %f %f %f )");
        p.read("}");
        const auto vertices = static_cast<double>(mesh.vertices.size());
        const auto weights = static_cast<double>(mesh.weights.size());
        for (const auto& v : mesh.vertices) p.check(v[3] >= 1 && v[2] + v[3] <= weights, "a vertex without weights");
        for (const auto& t : mesh.triangles) p.check(std::max({t[0], t[1], t[2]}) < vertices, "a corner of no vertex");
        for (const auto& w : mesh.weights) p.check(w[0] < static_cast<double>(joints.size()), "a weight of no joint");
    }
    return p.end();
}

bool readMd5Anim(std::string_view text, Md5AnimFile& file, std::string& error)
{
    file = {};
    error.clear();
    Parser p{text, error};
    const auto head = p.read("MD5Version %d commandline %s numFrames %n numJoints %n frameRate %d "
                             "numAnimatedComponents %n hierarchy {");
    p.check(head[0] == 10, "MD5Version is not 10");
    p.check(head[4] == 6 * head[2], "numAnimatedComponents is not 6 x numJoints");
    const Md5Rows hierarchy = p.list(head[2], "%s %p 63 %n");
    for (std::size_t i = 0; i < hierarchy.size(); ++i) p.check(hierarchy[i][1] == 6.0 * i, "components out of order");
    p.read("} bounds {");
    file.bounds = p.list(head[1], "( %f %f %f ) ( %f %f %f )");
    p.read("} baseframe {");
    p.list(head[2], "( %f %f %f ) ( %f %f %f )");
    std::string frame = "} frame %i {";
    for (double c = 0; error.empty() && c < head[4]; ++c) frame += " %f";
    for (const auto& values : p.list(head[1], frame)) {
        std::vector<Md5Joint>& joints = file.frames.emplace_back();
        for (std::size_t i = 0; error.empty() && i < hierarchy.size(); ++i) {
            const auto parent = static_cast<std::size_t>(std::max(0.0, hierarchy[i][0]));
            joints.push_back(makeJoint(&values[6 * i], hierarchy[i][0] < 0 ? nullptr : &joints[parent]));
        }
    }
    p.read("}");
    return p.end();
}

std::vector<Md5Vec> skinVertices(const Md5FileMesh& mesh, const std::vector<Md5Joint>& joints)
{
    std::vector<Md5Vec> vertices;
    for (const auto& vertex : mesh.vertices) {
        Md5Vec& sum = vertices.emplace_back();
        for (auto w = static_cast<std::size_t>(vertex[2]); w < vertex[2] + vertex[3]; ++w) {
            const auto& weight = mesh.weights.at(w);
            const Md5Vec p = place(joints.at(static_cast<std::size_t>(weight[0])), {weight[2], weight[3], weight[4]});
            for (std::size_t a = 0; a < 3; ++a) sum[a] += weight[1] * p[a];
        }
    }
    return vertices;
}

} // namespace lwmd5::testing
