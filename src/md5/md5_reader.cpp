#include "md5/md5_reader.h"

#include "platform/file_io.h"
#include "platform/report.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace lwmd5 {

namespace {

struct Token {
    enum Kind { Word, Quoted, Bracket, End } kind = End;
    std::string_view text; // a quoted string without its quotes
    std::size_t line = 0;
};

// Splits the text as engines' lexers do. Every byte up to the space is white
// space, so stray control bytes separate tokens instead of joining them.
class Md5Lexer {
public:
    explicit Md5Lexer(std::string_view text) : text_(text) {}

    // A quoted string that never ends becomes a word of the rest of the text,
    // which no reading accepts, so the parser names what it expected there.
    Token next()
    {
        skipSpaceAndComments();
        Token token;
        token.line = line_;
        if (at_ == text_.size()) return token;
        const char c = text_[at_];
        if (isBracket(c)) {
            token = {Token::Bracket, text_.substr(at_++, 1), line_};
        } else if (c == '"') {
            const std::size_t close = text_.find('"', at_ + 1);
            if (close == std::string_view::npos) {
                token = {Token::Word, text_.substr(at_), line_};
                at_ = text_.size();
            } else {
                token = {Token::Quoted, text_.substr(at_ + 1, close - at_ - 1), line_};
                countLines(at_, close + 1);
                at_ = close + 1;
            }
        } else {
            const std::size_t start = at_++;
            while (at_ < text_.size() && !endsWord(at_)) ++at_;
            token = {Token::Word, text_.substr(start, at_ - start), line_};
        }
        return token;
    }

    std::size_t remaining() const { return text_.size() - at_; }
    std::size_t line() const { return line_; }

private:
    static bool isSpace(char c) { return static_cast<unsigned char>(c) <= ' '; }
    static bool isBracket(char c) { return c == '{' || c == '}' || c == '(' || c == ')'; }
    bool startsComment(std::size_t i) const { return text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '/'; }
    bool endsWord(std::size_t i) const
    {
        return isSpace(text_[i]) || isBracket(text_[i]) || text_[i] == '"' || startsComment(i);
    }

    void skipSpaceAndComments()
    {
        while (at_ < text_.size()) {
            if (text_[at_] == '\n') {
                ++line_;
                ++at_;
            } else if (isSpace(text_[at_])) {
                ++at_;
            } else if (startsComment(at_)) {
                const std::size_t end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end;
            } else {
                return;
            }
        }
    }

    void countLines(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i) line_ += text_[i] == '\n' ? 1 : 0;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
};

struct ReadFailure {
    Md5ReadError error;
};

// A token as an error message quotes it: control and non-ASCII bytes as
// \xNN, a long token cut short.
std::string quoted(const Token& token)
{
    if (token.kind == Token::End) return "the end of the file";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text = token.kind == Token::Quoted ? "'\"" : "'";
    for (std::size_t i = 0; i < token.text.size() && i < 40; ++i) {
        const auto c = static_cast<unsigned char>(token.text[i]);
        if (c < 0x20 || c >= 0x7f) {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 15];
        } else {
            text += static_cast<char>(c);
        }
    }
    if (token.text.size() > 40) text += "...";
    return text + (token.kind == Token::Quoted ? "\"'" : "'");
}

// A number as strtod reads it, taking the whole token; the common spellings
// go through from_chars, which gives the same value faster.
std::optional<double> toNumber(const Token& token)
{
    if (token.kind != Token::Word) return std::nullopt;
    const std::string_view text = token.text;
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        const std::string copy(text);
        char* stop = nullptr;
        value = std::strtod(copy.c_str(), &stop);
        if (stop != copy.c_str() + copy.size()) return std::nullopt;
    }
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

class Md5Parser {
public:
    explicit Md5Parser(std::string_view text) : lexer_(text) {}

    [[noreturn]] void fail(const Token& token, const std::string& what) const
    {
        throw ReadFailure{{token.line, "expected " + what + " but found " + quoted(token)}};
    }

    std::size_t expect(std::string_view word)
    {
        const Token token = lexer_.next();
        if (token.kind == Token::Quoted || token.text != word) fail(token, std::string("'").append(word).append("'"));
        return token.line;
    }

    // Engines take any token as a name; a word that starts a quote never closed is none.
    std::string name(std::size_t* line = nullptr)
    {
        const Token token = lexer_.next();
        const bool word = token.kind == Token::Word && !token.text.starts_with('"');
        if (token.kind != Token::Quoted && !word) fail(token, "a quoted name");
        if (line != nullptr) *line = token.line;
        return std::string(token.text);
    }

    double number()
    {
        const Token token = lexer_.next();
        const std::optional<double> value = toNumber(token);
        if (!value) fail(token, "a number");
        return *value;
    }

    // Integers stay within 2^53, where every double is exact.
    long long integer(std::size_t* line = nullptr)
    {
        const Token token = lexer_.next();
        const std::optional<double> value = toNumber(token);
        if (!value || *value != std::trunc(*value) || std::abs(*value) > 9007199254740992.0) {
            fail(token, "an integer");
        }
        if (line != nullptr) *line = token.line;
        return static_cast<long long>(*value);
    }

    // "keyword N": a count of entries, each of which needs at least
    // `bytesPerEntry` bytes of what follows.
    std::size_t count(std::string_view keyword, std::size_t bytesPerEntry)
    {
        expect(keyword);
        const Token token = lexer_.next();
        const std::optional<double> value = toNumber(token);
        if (!value || *value != std::trunc(*value) || *value < 0.0) fail(token, "a count");
        if (*value > static_cast<double>(lexer_.remaining() / bytesPerEntry)) {
            tooMany(std::string(keyword) + " " + std::string(token.text));
        }
        return static_cast<std::size_t>(*value);
    }

    Vec3d vector()
    {
        expect("(");
        Vec3d v;
        v.x = number();
        v.y = number();
        v.z = number();
        expect(")");
        return v;
    }

    [[noreturn]] void tooMany(const std::string& what) const
    {
        throw ReadFailure{{lexer_.line(), what + " is more than the rest of the file can hold"}};
    }

    void end()
    {
        const Token token = lexer_.next();
        if (token.kind != Token::End) fail(token, "the end of the file");
    }

    std::size_t remaining() const { return lexer_.remaining(); }

private:
    Md5Lexer lexer_;
};

void readHeader(Md5Parser& p, long long& version, std::size_t& versionLine, std::string& commandLine)
{
    p.expect("MD5Version");
    version = p.integer(&versionLine);
    p.expect("commandline");
    commandLine = p.name();
}

// The fewest bytes of text each kind of entry takes: its tokens, each at
// least one byte, with a separator wherever two words meet.
constexpr std::size_t kJointBytes = 17;  // ""0(0 0 0)(0 0 0)
constexpr std::size_t kVertexBytes = 14; // vert 0(0 0)0 0
constexpr std::size_t kTriangleBytes = 11;
constexpr std::size_t kWeightBytes = 20;
constexpr std::size_t kMeshBytes = 46; // mesh{shader""numverts 0 numtris 0 numweights 0}
constexpr std::size_t kHierarchyBytes = 8;
constexpr std::size_t kBoxBytes = 16;

void readJoints(Md5Parser& p, std::size_t count, std::vector<Md5FileJoint>& joints)
{
    joints.reserve(count);
    p.expect("{");
    for (std::size_t i = 0; i < count; ++i) {
        Md5FileJoint& joint = joints.emplace_back();
        joint.name = p.name(&joint.line);
        joint.parent = p.integer();
        joint.position = p.vector();
        const Vec3d q = p.vector();
        joint.orientation = completeQuat(q.x, q.y, q.z);
    }
    p.expect("}");
}

void readVertices(Md5Parser& p, Md5FileMesh& mesh)
{
    const std::size_t count = p.count("numverts", kVertexBytes);
    mesh.vertices.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Md5FileVertex& vertex = mesh.vertices.emplace_back();
        vertex.line = p.expect("vert");
        (void)p.integer(); // engines place entries in file order, whatever their number
        p.expect("(");
        vertex.u = p.number();
        vertex.v = p.number();
        p.expect(")");
        vertex.firstWeight = p.integer();
        vertex.weightCount = p.integer();
    }
}

void readTriangles(Md5Parser& p, Md5FileMesh& mesh)
{
    const std::size_t count = p.count("numtris", kTriangleBytes);
    mesh.triangles.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Md5FileTriangle& triangle = mesh.triangles.emplace_back();
        triangle.line = p.expect("tri");
        (void)p.integer();
        for (long long& corner : triangle.corners) corner = p.integer();
    }
}

void readWeights(Md5Parser& p, Md5FileMesh& mesh)
{
    const std::size_t count = p.count("numweights", kWeightBytes);
    mesh.weights.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Md5FileWeight& weight = mesh.weights.emplace_back();
        weight.line = p.expect("weight");
        (void)p.integer();
        weight.joint = p.integer();
        weight.bias = p.number();
        weight.offset = p.vector();
    }
}

void readModel(Md5Parser& p, Md5ModelFile& model)
{
    readHeader(p, model.version, model.versionLine, model.commandLine);
    const std::size_t jointCount = p.count("numJoints", kJointBytes);
    const std::size_t meshCount = p.count("numMeshes", kMeshBytes);
    p.expect("joints");
    readJoints(p, jointCount, model.joints);
    model.meshes.reserve(meshCount);
    for (std::size_t m = 0; m < meshCount; ++m) {
        Md5FileMesh& mesh = model.meshes.emplace_back();
        mesh.line = p.expect("mesh");
        p.expect("{");
        p.expect("shader");
        mesh.shader = p.name();
        readVertices(p, mesh);
        readTriangles(p, mesh);
        readWeights(p, mesh);
        p.expect("}");
    }
    p.end();
}

void readHierarchy(Md5Parser& p, std::size_t count, std::vector<Md5HierarchyEntry>& hierarchy)
{
    hierarchy.reserve(count);
    p.expect("hierarchy");
    p.expect("{");
    for (std::size_t i = 0; i < count; ++i) {
        Md5HierarchyEntry& entry = hierarchy.emplace_back();
        entry.name = p.name(&entry.line);
        entry.parent = p.integer();
        entry.flags = p.integer();
        entry.startIndex = p.integer();
    }
    p.expect("}");
}

void readBounds(Md5Parser& p, std::size_t frames, Md5AnimFile& anim)
{
    anim.bounds.reserve(frames);
    anim.boundsLines.reserve(frames);
    p.expect("bounds");
    p.expect("{");
    for (std::size_t i = 0; i < frames; ++i) {
        anim.boundsLines.push_back(p.expect("("));
        Md5Box& box = anim.bounds.emplace_back();
        box.min.x = p.number();
        box.min.y = p.number();
        box.min.z = p.number();
        p.expect(")");
        box.max = p.vector();
    }
    p.expect("}");
}

void readBaseFrame(Md5Parser& p, std::size_t joints, Md5AnimFile& anim)
{
    anim.baseFrame.reserve(joints);
    p.expect("baseframe");
    p.expect("{");
    for (std::size_t i = 0; i < joints; ++i) {
        Md5BaseJoint& joint = anim.baseFrame.emplace_back();
        joint.position = p.vector();
        joint.orientation = p.vector();
    }
    p.expect("}");
}

void readFrames(Md5Parser& p, std::size_t frames, std::size_t components, Md5AnimFile& anim)
{
    // Each component takes a byte and a separator; checked again here because
    // frames times components can pass where either count alone did.
    if (components > 0 && frames > p.remaining() / (2 * components)) {
        p.tooMany("numFrames times numAnimatedComponents");
    }
    anim.frameNumbers.reserve(frames);
    anim.frameLines.reserve(frames);
    anim.components.reserve(frames * components);
    for (std::size_t f = 0; f < frames; ++f) {
        anim.frameLines.push_back(p.expect("frame"));
        anim.frameNumbers.push_back(p.integer());
        p.expect("{");
        for (std::size_t c = 0; c < components; ++c) anim.components.push_back(p.number());
        p.expect("}");
    }
}

void readAnim(Md5Parser& p, Md5AnimFile& anim)
{
    readHeader(p, anim.version, anim.versionLine, anim.commandLine);
    const std::size_t frames = p.count("numFrames", kBoxBytes);
    const std::size_t joints = p.count("numJoints", kHierarchyBytes);
    p.expect("frameRate");
    anim.frameRate = p.number();
    const std::size_t components = p.count("numAnimatedComponents", 2);
    anim.animatedComponents = static_cast<long long>(components);
    readHierarchy(p, joints, anim.hierarchy);
    readBounds(p, frames, anim);
    readBaseFrame(p, joints, anim);
    readFrames(p, frames, components, anim);
    p.end();
}

template <typename File, typename Read>
std::optional<Md5ReadError> parseWith(std::string_view text, File& file, Read read)
{
    file = File{};
    Md5Parser parser(text);
    try {
        read(parser, file);
    } catch (const ReadFailure& failure) {
        return failure.error;
    }
    return std::nullopt;
}

template <typename File>
bool loadWith(const std::string& path, File& file, Reporter& report,
              std::optional<Md5ReadError> (*parse)(std::string_view, File&))
{
    std::string bytes;
    std::string reason;
    if (!readWholeFile(path, bytes, reason)) {
        report.error("cannot open '" + path + "': " + reason);
        return false;
    }
    const std::optional<Md5ReadError> error = parse(bytes, file);
    if (!error) return true;
    report.error(path + ":" + std::to_string(error->line) + ": " + error->text);
    return false;
}

} // namespace

std::optional<Md5ReadError> parseMd5Model(std::string_view text, Md5ModelFile& model)
{
    return parseWith(text, model, readModel);
}

std::optional<Md5ReadError> parseMd5Anim(std::string_view text, Md5AnimFile& anim)
{
    return parseWith(text, anim, readAnim);
}

bool loadMd5Model(const std::string& path, Md5ModelFile& model, Reporter& report)
{
    return loadWith(path, model, report, parseMd5Model);
}

bool loadMd5Anim(const std::string& path, Md5AnimFile& anim, Reporter& report)
{
    return loadWith(path, anim, report, parseMd5Anim);
}

} // namespace lwmd5
