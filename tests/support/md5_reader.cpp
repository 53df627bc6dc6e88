#include "support/md5_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace lwmd5::testing {

namespace {

struct Token {
    std::string_view text;
    int line;
};

// Tokens as an engine's lexer sees them: quoted strings, the brackets
// { } ( ) and words; "//" comments run to the end of the line.
std::vector<Token> tokenize(std::string_view text)
{
    std::vector<Token> tokens;
    int line = 1;
    auto bracket = [](char c) { return c == '{' || c == '}' || c == '(' || c == ')'; };
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        std::size_t end = at + 1;
        if (c == '\n') ++line;
        if (blank(c)) {
            ++at;
            continue;
        }
        if (text.substr(at, 2) == "//") {
            at = text.find('\n', at);
            if (at == std::string_view::npos) break;
            continue;
        }
        if (c == '"') {
            end = std::min(text.find_first_of("\"\n", at + 1), text.size());
            if (end < text.size() && text[end] == '"') ++end; // else unterminated: fails every expectation
        } else if (!bracket(c)) {
            while (end < text.size() && !blank(text[end]) && !bracket(text[end]) && text[end] != '"') ++end;
        }
        tokens.push_back({text.substr(at, end - at), line});
        at = end;
    }
    return tokens;
}

// Reads the grammar; the first problem stops it and is kept in `error`.
class Parser {
public:
    Parser(std::string_view text, std::string& error) : tokens_(tokenize(text)), error_(error) {}

    bool ok() const { return ok_; }

    void check(bool holds, const std::string& why)
    {
        if (ok_ && !holds) {
            const std::size_t last = std::min(next_, tokens_.size());
            error_ = "line " + std::to_string(last == 0 ? 1 : tokens_[last - 1].line) + ": " + why;
            ok_ = false;
        }
    }

    std::string token()
    {
        if (!ok_) return {};
        check(next_ < tokens_.size(), "unexpected end of file");
        return ok_ ? std::string(tokens_[next_++].text) : std::string();
    }

    void expect(std::string_view word)
    {
        const std::string found = token();
        check(found == word, "expected '" + std::string(word) + "', found '" + found + "'");
    }

    double number()
    {
        const std::string text = token();
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        check(!text.empty() && *end == '\0' && std::isfinite(value), "'" + text + "' is not a finite number");
        return value;
    }

    int integer()
    {
        const std::string text = token();
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        check(!text.empty() && *end == '\0' && std::labs(value) <= 1000000000L, "'" + text + "' is not an integer");
        return static_cast<int>(value);
    }

    // A count after its keyword; beyond any real model is refused, which
    // also keeps a damaged count from allocating.
    std::size_t count(std::string_view keyword)
    {
        expect(keyword);
        const int n = integer();
        check(n >= 0 && n <= 10000000, std::string(keyword) + " " + std::to_string(n) + " is out of range");
        return ok_ ? static_cast<std::size_t>(n) : 0;
    }

    std::string quoted()
    {
        const std::string text = token();
        check(text.size() >= 2 && text.front() == '"' && text.back() == '"', "expected a quoted string, found '" + text + "'");
        return ok_ ? text.substr(1, text.size() - 2) : std::string();
    }

    Md5Vec vector()
    {
        expect("(");
        Md5Vec v{number(), number(), number()};
        expect(")");
        return v;
    }

    void index(std::string_view keyword, std::size_t expected)
    {
        expect(keyword);
        const int found = integer();
        check(found == static_cast<int>(expected),
              std::string(keyword) + " " + std::to_string(found) + " where " + std::to_string(expected) + " belongs");
    }

    void header()
    {
        expect("MD5Version");
        const int version = integer();
        check(version == 10, "MD5Version " + std::to_string(version) + " is not 10");
        expect("commandline");
        quoted();
    }

    void parentBefore(int parent, std::size_t child)
    {
        check(parent >= -1 && parent < static_cast<int>(child), "joint " + std::to_string(child) + " names parent " +
                                                                    std::to_string(parent) +
                                                                    ", which does not come before it");
    }

    bool atEnd()
    {
        check(next_ >= tokens_.size(), "'" + std::string(next_ < tokens_.size() ? tokens_[next_].text : "") +
                                           "' after the end of the data");
        return ok_;
    }

private:
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    std::string& error_;
    bool ok_ = true;
};

void readMesh(Parser& p, Md5FileMesh& mesh, std::size_t jointCount)
{
    p.expect("mesh");
    p.expect("{");
    p.expect("shader");
    mesh.shader = p.quoted();
    mesh.vertices.resize(p.count("numverts"));
    for (std::size_t i = 0; p.ok() && i < mesh.vertices.size(); ++i) {
        Md5FileVertex& v = mesh.vertices[i];
        p.index("vert", i);
        p.expect("(");
        v.u = p.number();
        v.v = p.number();
        p.expect(")");
        v.firstWeight = p.integer();
        v.weightCount = p.integer();
    }
    mesh.triangles.resize(p.count("numtris"));
    for (std::size_t i = 0; p.ok() && i < mesh.triangles.size(); ++i) {
        p.index("tri", i);
        for (int& corner : mesh.triangles[i]) {
            corner = p.integer();
            p.check(corner >= 0 && static_cast<std::size_t>(corner) < mesh.vertices.size(),
                    "triangle " + std::to_string(i) + " names vertex " + std::to_string(corner));
        }
    }
    mesh.weights.resize(p.count("numweights"));
    for (std::size_t i = 0; p.ok() && i < mesh.weights.size(); ++i) {
        Md5FileWeight& w = mesh.weights[i];
        p.index("weight", i);
        w.joint = p.integer();
        w.bias = p.number();
        w.offset = p.vector();
        p.check(w.joint >= 0 && static_cast<std::size_t>(w.joint) < jointCount,
                "weight " + std::to_string(i) + " names joint " + std::to_string(w.joint));
    }
    p.expect("}");
    for (std::size_t i = 0; p.ok() && i < mesh.vertices.size(); ++i) {
        const Md5FileVertex& v = mesh.vertices[i];
        p.check(v.weightCount >= 1 && v.firstWeight >= 0 &&
                    static_cast<std::size_t>(v.firstWeight) + static_cast<std::size_t>(v.weightCount) <= mesh.weights.size(),
                "vertex " + std::to_string(i) + " has weights " + std::to_string(v.firstWeight) + " + " +
                    std::to_string(v.weightCount) + " of " + std::to_string(mesh.weights.size()));
    }
}

Md5Quat multiply(const Md5Quat& a, const Md5Quat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

} // namespace

bool readMd5Mesh(std::string_view text, Md5MeshFile& file, std::string& error)
{
    file = {};
    Parser p(text, error);
    p.header();
    file.joints.resize(p.count("numJoints"));
    file.meshes.resize(p.count("numMeshes"));
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
    const std::size_t frames = p.count("numFrames");
    file.hierarchy.resize(p.count("numJoints"));
    p.expect("frameRate");
    file.frameRate = p.integer();
    const std::size_t components = p.count("numAnimatedComponents");
    file.animatedComponents = static_cast<int>(components);
    p.check(components == 6 * file.hierarchy.size(), "numAnimatedComponents is not 6 x numJoints");
    p.expect("hierarchy");
    p.expect("{");
    for (std::size_t i = 0; p.ok() && i < file.hierarchy.size(); ++i) {
        Md5AnimJoint& joint = file.hierarchy[i];
        joint.name = p.quoted();
        joint.parent = p.integer();
        joint.flags = p.integer();
        joint.startIndex = p.integer();
        p.parentBefore(joint.parent, i);
        int used = 0;
        for (int bit = 0; bit < 6; ++bit) used += (joint.flags >> bit) & 1;
        p.check(joint.flags >= 0 && joint.flags <= 63 && joint.startIndex >= 0 &&
                    static_cast<std::size_t>(joint.startIndex + used) <= components,
                "joint " + std::to_string(i) + " reads components outside a frame");
    }
    p.expect("}");
    p.expect("bounds");
    p.expect("{");
    file.bounds.resize(frames);
    for (std::size_t k = 0; p.ok() && k < frames; ++k) file.bounds[k] = {p.vector(), p.vector()};
    p.expect("}");
    p.expect("baseframe");
    p.expect("{");
    file.baseframe.resize(file.hierarchy.size());
    for (std::size_t i = 0; p.ok() && i < file.baseframe.size(); ++i) {
        file.baseframe[i] = {file.hierarchy[i].name, file.hierarchy[i].parent, p.vector(), p.vector()};
    }
    p.expect("}");
    file.frames.resize(frames);
    for (std::size_t k = 0; p.ok() && k < frames; ++k) {
        p.index("frame", k);
        p.expect("{");
        file.frames[k].resize(components);
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

Md5Vec rotate(const Md5Quat& q, const Md5Vec& v)
{
    const double n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    const Md5Quat r = multiply(multiply(q, {v.x, v.y, v.z, 0.0}), {-q.x / n, -q.y / n, -q.z / n, q.w / n});
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
        const Md5FileJoint& base = file.baseframe[i];
        double c[6] = {base.position.x,    base.position.y,    base.position.z,
                       base.orientation.x, base.orientation.y, base.orientation.z};
        auto next = static_cast<std::size_t>(info.startIndex);
        for (int bit = 0; bit < 6; ++bit) {
            if ((info.flags >> bit) & 1) c[bit] = values.at(next++);
        }
        const PosedJoint local{{c[0], c[1], c[2]}, unitQuaternion({c[3], c[4], c[5]})};
        if (info.parent < 0) {
            joints.push_back(local);
            continue;
        }
        const PosedJoint parent = joints.at(static_cast<std::size_t>(info.parent));
        const Md5Vec moved = rotate(parent.orientation, local.position);
        Md5Quat q = multiply(parent.orientation, local.orientation);
        const double n = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        q = {q.x / n, q.y / n, q.z / n, q.w / n};
        joints.push_back({{parent.position.x + moved.x, parent.position.y + moved.y, parent.position.z + moved.z}, q});
    }
    return joints;
}

std::vector<Md5Vec> skinVertices(const Md5FileMesh& mesh, const std::vector<PosedJoint>& joints)
{
    std::vector<Md5Vec> result;
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

std::string firstDifference(const std::string& a, const std::string& b)
{
    std::istringstream left(a);
    std::istringstream right(b);
    std::string l;
    std::string r;
    for (int line = 1;; ++line) {
        const bool moreLeft = static_cast<bool>(std::getline(left, l));
        const bool moreRight = static_cast<bool>(std::getline(right, r));
        if (!moreLeft && !moreRight) return "no difference";
        if (l != r || moreLeft != moreRight) return "line " + std::to_string(line) + ": '" + l + "' vs '" + r + "'";
    }
}

} // namespace lwmd5::testing
