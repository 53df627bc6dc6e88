#include "support/md5_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace lwmd5::testing {

namespace {

// Tokens as an engine's lexer sees them: quoted strings, the brackets
// { } ( ) and words; "//" comments run to the end of the line.
class Lexer {
public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // The next token, or nothing at the end of the text.
    std::optional<std::string_view> next()
    {
        skipBlanks();
        if (at_ >= text_.size()) return std::nullopt;
        const std::size_t start = at_;
        const char c = text_[at_];
        if (c == '"') {
            const std::size_t close = text_.find('"', at_ + 1);
            if (close == std::string_view::npos || text_.substr(at_, close - at_).find('\n') != std::string_view::npos) {
                at_ = text_.size();
                return text_.substr(start); // unterminated: fails every expectation
            }
            at_ = close + 1;
            return text_.substr(start, at_ - start);
        }
        if (isBracket(c)) return text_.substr(at_++, 1);
        while (at_ < text_.size() && !isBlank(text_[at_]) && !isBracket(text_[at_]) && text_[at_] != '"') ++at_;
        return text_.substr(start, at_ - start);
    }

    int line() const { return line_; }

private:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool isBracket(char c) { return c == '{' || c == '}' || c == '(' || c == ')'; }

    void skipBlanks()
    {
        while (at_ < text_.size()) {
            if (text_[at_] == '\n') ++line_;
            if (isBlank(text_[at_])) {
                ++at_;
            } else if (text_.substr(at_, 2) == "//") {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
            } else {
                break;
            }
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int line_ = 1;
};

// Reads the grammar; the first problem stops it and is kept in `error`.
class Parser {
public:
    Parser(std::string_view text, std::string& error) : lexer_(text), error_(error) {}

    bool ok() const { return ok_; }

    bool fail(const std::string& why)
    {
        if (ok_) error_ = "line " + std::to_string(lexer_.line()) + ": " + why;
        ok_ = false;
        return false;
    }

    bool expect(std::string_view word)
    {
        if (!ok_) return false;
        const auto token = lexer_.next();
        if (!token || *token != word) {
            return fail("expected '" + std::string(word) + "', found '" + std::string(token.value_or("end of file")) + "'");
        }
        return true;
    }

    double number()
    {
        if (!ok_) return 0.0;
        const std::string token(lexer_.next().value_or(""));
        char* end = nullptr;
        const double value = std::strtod(token.c_str(), &end);
        if (token.empty() || *end != '\0' || !std::isfinite(value)) fail("'" + token + "' is not a finite number");
        return value;
    }

    int integer()
    {
        if (!ok_) return 0;
        const std::string token(lexer_.next().value_or(""));
        char* end = nullptr;
        const long value = std::strtol(token.c_str(), &end, 10);
        if (token.empty() || *end != '\0' || value < -1000000000L || value > 1000000000L) {
            fail("'" + token + "' is not an integer");
        }
        return static_cast<int>(value);
    }

    int count(std::string_view keyword)
    {
        expect(keyword);
        const int n = integer();
        // Beyond any real model; also keeps a damaged count from allocating.
        if (ok_ && (n < 0 || n > 10000000)) fail(std::string(keyword) + " " + std::to_string(n) + " is out of range");
        return ok_ ? n : 0;
    }

    std::string quoted()
    {
        if (!ok_) return {};
        const std::string token(lexer_.next().value_or(""));
        if (token.size() < 2 || token.front() != '"' || token.back() != '"') {
            fail("expected a quoted string, found '" + token + "'");
            return {};
        }
        return token.substr(1, token.size() - 2);
    }

    Md5Vec vector()
    {
        Md5Vec v;
        expect("(");
        v.x = number();
        v.y = number();
        v.z = number();
        expect(")");
        return v;
    }

    void index(std::string_view keyword, int expected)
    {
        expect(keyword);
        const int found = integer();
        if (ok_ && found != expected) {
            fail(std::string(keyword) + " " + std::to_string(found) + " where " + std::to_string(expected) + " belongs");
        }
    }

    void header()
    {
        expect("MD5Version");
        const int version = integer();
        if (ok_ && version != 10) fail("MD5Version " + std::to_string(version) + " is not 10");
        expect("commandline");
        quoted();
    }

    void parentBefore(int parent, std::size_t child)
    {
        if (ok_ && (parent < -1 || parent >= static_cast<int>(child))) {
            fail("joint " + std::to_string(child) + " names parent " + std::to_string(parent) +
                 ", which does not come before it");
        }
    }

    bool atEnd()
    {
        if (!ok_) return false;
        const auto token = lexer_.next();
        if (token) return fail("'" + std::string(*token) + "' after the end of the data");
        return true;
    }

private:
    Lexer lexer_;
    std::string& error_;
    bool ok_ = true;
};

void readMesh(Parser& p, Md5FileMesh& mesh, std::size_t jointCount)
{
    p.expect("mesh");
    p.expect("{");
    p.expect("shader");
    mesh.shader = p.quoted();
    mesh.vertices.resize(static_cast<std::size_t>(p.count("numverts")));
    for (std::size_t i = 0; p.ok() && i < mesh.vertices.size(); ++i) {
        Md5FileVertex& vertex = mesh.vertices[i];
        p.index("vert", static_cast<int>(i));
        p.expect("(");
        vertex.u = p.number();
        vertex.v = p.number();
        p.expect(")");
        vertex.firstWeight = p.integer();
        vertex.weightCount = p.integer();
    }
    mesh.triangles.resize(static_cast<std::size_t>(p.count("numtris")));
    for (std::size_t i = 0; p.ok() && i < mesh.triangles.size(); ++i) {
        p.index("tri", static_cast<int>(i));
        for (int& corner : mesh.triangles[i]) {
            corner = p.integer();
            if (p.ok() && (corner < 0 || static_cast<std::size_t>(corner) >= mesh.vertices.size())) {
                p.fail("triangle " + std::to_string(i) + " names vertex " + std::to_string(corner));
            }
        }
    }
    mesh.weights.resize(static_cast<std::size_t>(p.count("numweights")));
    for (std::size_t i = 0; p.ok() && i < mesh.weights.size(); ++i) {
        Md5FileWeight& weight = mesh.weights[i];
        p.index("weight", static_cast<int>(i));
        weight.joint = p.integer();
        weight.bias = p.number();
        weight.offset = p.vector();
        if (p.ok() && (weight.joint < 0 || static_cast<std::size_t>(weight.joint) >= jointCount)) {
            p.fail("weight " + std::to_string(i) + " names joint " + std::to_string(weight.joint));
        }
    }
    p.expect("}");
    for (std::size_t i = 0; p.ok() && i < mesh.vertices.size(); ++i) {
        const Md5FileVertex& v = mesh.vertices[i];
        if (v.weightCount < 1 || v.firstWeight < 0 ||
            static_cast<std::size_t>(v.firstWeight) + static_cast<std::size_t>(v.weightCount) > mesh.weights.size()) {
            p.fail("vertex " + std::to_string(i) + " has weights " + std::to_string(v.firstWeight) + " + " +
                   std::to_string(v.weightCount) + " of " + std::to_string(mesh.weights.size()));
        }
    }
}

} // namespace

bool readMd5Mesh(std::string_view text, Md5MeshFile& file, std::string& error)
{
    file = {};
    Parser p(text, error);
    p.header();
    file.joints.resize(static_cast<std::size_t>(p.count("numJoints")));
    file.meshes.resize(static_cast<std::size_t>(p.count("numMeshes")));
    p.expect("joints");
    p.expect("{");
    for (std::size_t i = 0; p.ok() && i < file.joints.size(); ++i) {
        Md5FileJoint& joint = file.joints[i];
        joint.name = p.quoted();
        joint.parent = p.integer();
        joint.position = p.vector();
        joint.orientation = p.vector();
        p.parentBefore(joint.parent, i);
    }
    p.expect("}");
    for (Md5FileMesh& mesh : file.meshes) readMesh(p, mesh, file.joints.size());
    return p.atEnd();
}

bool readMd5Anim(std::string_view text, Md5AnimFile& file, std::string& error)
{
    file = {};
    Parser p(text, error);
    p.header();
    const int frameCount = p.count("numFrames");
    file.hierarchy.resize(static_cast<std::size_t>(p.count("numJoints")));
    p.expect("frameRate");
    file.frameRate = p.integer();
    file.animatedComponents = p.count("numAnimatedComponents");
    if (p.ok() && static_cast<std::size_t>(file.animatedComponents) != 6 * file.hierarchy.size()) {
        p.fail("numAnimatedComponents is not 6 x numJoints");
    }
    p.expect("hierarchy");
    p.expect("{");
    for (std::size_t i = 0; p.ok() && i < file.hierarchy.size(); ++i) {
        Md5AnimJoint& joint = file.hierarchy[i];
        joint.name = p.quoted();
        joint.parent = p.integer();
        joint.flags = p.integer();
        joint.startIndex = p.integer();
        p.parentBefore(joint.parent, i);
        int components = 0;
        for (int bit = 0; bit < 6; ++bit) components += (joint.flags >> bit) & 1;
        if (p.ok() && (joint.flags < 0 || joint.flags > 63 || joint.startIndex < 0 ||
                       joint.startIndex + components > file.animatedComponents)) {
            p.fail("joint " + std::to_string(i) + " reads components outside a frame");
        }
    }
    p.expect("}");
    p.expect("bounds");
    p.expect("{");
    file.bounds.resize(static_cast<std::size_t>(frameCount));
    for (std::size_t k = 0; p.ok() && k < file.bounds.size(); ++k) {
        file.bounds[k].min = p.vector();
        file.bounds[k].max = p.vector();
    }
    p.expect("}");
    p.expect("baseframe");
    p.expect("{");
    file.baseframe.resize(file.hierarchy.size());
    for (std::size_t i = 0; p.ok() && i < file.baseframe.size(); ++i) {
        file.baseframe[i].name = file.hierarchy[i].name;
        file.baseframe[i].parent = file.hierarchy[i].parent;
        file.baseframe[i].position = p.vector();
        file.baseframe[i].orientation = p.vector();
    }
    p.expect("}");
    file.frames.resize(static_cast<std::size_t>(frameCount));
    for (std::size_t k = 0; p.ok() && k < file.frames.size(); ++k) {
        p.index("frame", static_cast<int>(k));
        p.expect("{");
        file.frames[k].resize(static_cast<std::size_t>(file.animatedComponents));
        for (double& value : file.frames[k]) value = p.number();
        p.expect("}");
    }
    return p.atEnd();
}

Md5Quat unitQuaternion(const Md5Vec& xyz)
{
    const double t = 1.0 - xyz.x * xyz.x - xyz.y * xyz.y - xyz.z * xyz.z;
    return {xyz.x, xyz.y, xyz.z, -std::sqrt(std::max(0.0, t))};
}

namespace {

Md5Quat multiply(const Md5Quat& a, const Md5Quat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Md5Quat normalized(const Md5Quat& q)
{
    const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    return n > 0.0 ? Md5Quat{q.x / n, q.y / n, q.z / n, q.w / n} : q;
}

} // namespace

Md5Vec rotate(const Md5Quat& q, const Md5Vec& v)
{
    const double n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    const Md5Quat inverse{-q.x / n, -q.y / n, -q.z / n, q.w / n};
    const Md5Quat r = multiply(multiply(q, {v.x, v.y, v.z, 0.0}), inverse);
    return {r.x, r.y, r.z};
}

std::vector<PosedJoint> bindPose(const Md5MeshFile& file)
{
    std::vector<PosedJoint> joints;
    for (const Md5FileJoint& joint : file.joints) joints.push_back({joint.position, unitQuaternion(joint.orientation)});
    return joints;
}

std::vector<PosedJoint> animationPose(const Md5AnimFile& file, std::size_t frame)
{
    const std::vector<double>& values = file.frames.at(frame);
    std::vector<PosedJoint> joints;
    for (std::size_t i = 0; i < file.hierarchy.size(); ++i) {
        const Md5AnimJoint& info = file.hierarchy[i];
        double components[6] = {file.baseframe[i].position.x,    file.baseframe[i].position.y,
                                file.baseframe[i].position.z,    file.baseframe[i].orientation.x,
                                file.baseframe[i].orientation.y, file.baseframe[i].orientation.z};
        std::size_t next = static_cast<std::size_t>(info.startIndex);
        for (int bit = 0; bit < 6; ++bit) {
            if ((info.flags >> bit) & 1) components[bit] = values.at(next++);
        }
        PosedJoint local{{components[0], components[1], components[2]},
                         unitQuaternion({components[3], components[4], components[5]})};
        if (info.parent < 0) {
            joints.push_back(local);
            continue;
        }
        const PosedJoint& parent = joints[static_cast<std::size_t>(info.parent)];
        const Md5Vec moved = rotate(parent.orientation, local.position);
        joints.push_back({{parent.position.x + moved.x, parent.position.y + moved.y, parent.position.z + moved.z},
                          normalized(multiply(parent.orientation, local.orientation))});
    }
    return joints;
}

std::vector<Md5Vec> skinVertices(const Md5FileMesh& mesh, const std::vector<PosedJoint>& joints)
{
    std::vector<Md5Vec> result;
    result.reserve(mesh.vertices.size());
    for (const Md5FileVertex& vertex : mesh.vertices) {
        Md5Vec sum;
        for (int w = 0; w < vertex.weightCount; ++w) {
            const Md5FileWeight& weight = mesh.weights.at(static_cast<std::size_t>(vertex.firstWeight + w));
            const PosedJoint& joint = joints.at(static_cast<std::size_t>(weight.joint));
            const Md5Vec moved = rotate(joint.orientation, weight.offset);
            sum.x += weight.bias * (joint.position.x + moved.x);
            sum.y += weight.bias * (joint.position.y + moved.y);
            sum.z += weight.bias * (joint.position.z + moved.z);
        }
        result.push_back(sum);
    }
    return result;
}

} // namespace lwmd5::testing
