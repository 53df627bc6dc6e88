// Bad input of every kind, fed to the built programs: each run must end with
// its exit status and one clear stderr line, never a crash or a sanitizer
// report, and must leave the folder as it was (no output, no temporary file,
// a previous output byte for byte) unless it converts.

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/md5_check.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace lwmd5 {
namespace {

namespace fs = std::filesystem;
using namespace lwmd5::authoring;
using namespace lwmd5::testing;

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// ---- inputs

BoneSpec rootBone() { return {.name = "root", .weightMapName = "root"}; }
BoneSpec armBone(int parent = 0)
{
    return {.name = "arm", .weightMapName = "arm", .restPosition = {0, 1, 0}, .parentBone = parent,
            .channels = restChannels(0, 1, 0)};
}

std::string sceneOf(const std::vector<BoneSpec>& bones, int first = 0, int last = 2, int fps = 24)
{
    SceneTextBuilder scene;
    scene.header(first, last, fps, "walk.lwo");
    for (const BoneSpec& bone : bones) scene.bone(bone);
    return scene.text();
}
std::string goodScene() { return sceneOf({rootBone(), armBone()}); }

// `text` with the first `from` after `anchor` replaced by `to`.
std::string replacedAfter(std::string text, const std::string& anchor, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from, text.find(anchor));
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

const std::vector<Point> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

// Every chunk the reader decodes, plus the ones it steps over.
std::vector<Bytes> goodChunks(bool longIndices = false)
{
    return {tagsChunk({"skin"}), layrChunk(0, "body"), pntsChunk(kSquare),
            uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}}, longIndices),
            weightMapChunk("root", {{0, 1}, {1, 1}, {2, 0.5f}, {3, 1}}, longIndices),
            weightMapChunk("arm", {{2, 0.5f}}, longIndices), polsChunk({{0, 1, 2}, {0, 2, 3}}, "FACE", 0, longIndices),
            ptagChunk("SURF", {{0, 0}, {1, 0}}), uvFixMapChunk("uv", {{2, 1, 0.5f, 0.5f}}, longIndices),
            surfChunk("skin")};
}
Bytes goodObject(bool longIndices = false) { return form("LWO2", goodChunks(longIndices)); }
constexpr std::size_t kPnts = 2, kUv = 3, kWeight = 4, kPols = 6, kUvFix = 8, kSurf = 9;

// The good object with chunk `k` of goodChunks() replaced.
Bytes objectWith(std::size_t k, const Bytes& replacement)
{
    std::vector<Bytes> chunks = goodChunks();
    chunks[k] = replacement;
    return form("LWO2", chunks);
}

Bytes prefix(const Bytes& bytes, std::size_t size) { return Bytes(bytes.begin(), bytes.begin() + long(size)); }

// Chunk lengths are big-endian.
std::size_t readU32(const Bytes& bytes, std::size_t at)
{
    std::size_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | bytes[at + i];
    return value;
}
void writeU32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// ---- the table

// The status, and a text that one stderr line of the program holds. Where
// either way is sound, kEither: the run may refuse (status 1, folder as it
// was) or convert, but the output must load (no "nan", no partial file).
struct Outcome {
    int status;
    std::string text;
};
constexpr int kEither = -2;
Outcome refused(int status, std::string text) { return {status, std::move(text)}; }
Outcome converts(std::string warning = "") { return {0, std::move(warning)}; }
const Outcome kRefusedOrLoadable{kEither, ""};

enum Needs : unsigned { kPosix = 1, kUserNotRoot = 2, kNoMessageBox = 4 };

using Spoil = std::function<void(const fs::path&)>; // changes the folder after the inputs are written

struct HostileCase {
    HostileCase(std::string caseName, std::optional<std::string> sceneText, std::optional<Bytes> objectBytes,
                Outcome mesh, std::optional<Outcome> anim = {},
                std::vector<std::string> args = {"walk.lws", "walk.lwo"}, unsigned caseNeeds = 0,
                Spoil spoilFolder = {}, long sizeLimit = 0)
        : name(std::move(caseName)), scene(std::move(sceneText)), object(std::move(objectBytes)),
          meshconv(std::move(mesh)), animconv(std::move(anim)), arguments(std::move(args)), needs(caseNeeds),
          spoil(std::move(spoilFolder)), fileSizeLimit(sizeLimit)
    {
    }
    std::string name;
    std::optional<std::string> scene; // walk.lws
    std::optional<Bytes> object;      // walk.lwo
    Outcome meshconv;
    std::optional<Outcome> animconv; // as meshconv when absent
    std::vector<std::string> arguments;
    unsigned needs;
    Spoil spoil;
    long fileSizeLimit; // bytes: a disk that fills up
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

// The files and folders a run meets; the command line itself has its own table.
std::vector<HostileCase> fileCases()
{
    const std::string scene = goodScene();
    const Bytes object = goodObject();
    const std::vector<std::string> args = {"walk.lws", "walk.lwo"};
    auto makeDirectory = [](const char* name) {
        return [name](const fs::path& dir) { fs::remove(dir / name), fs::create_directory(dir / name); };
    };
    std::vector<HostileCase> cases = {
        {"scene file missing", std::nullopt, object, refused(1, "cannot open scene file 'walk.lws'")},
        {"object file missing", scene, std::nullopt, refused(1, "cannot read object file 'walk.lwo'")},
        {"a directory as the scene", std::nullopt, object, refused(1, "cannot open scene file 'walk.lws': "), {}, args,
         0, makeDirectory("walk.lws")},
        {"a directory as the object", scene, std::nullopt, refused(1, "cannot read object file 'walk.lwo': "), {},
         args, 0, makeDirectory("walk.lwo")},
        {"a directory in the output's place", scene, object, refused(1, "cannot write '"), {},
         args, 0, [](const fs::path& dir) {
             for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
                 fs::remove(dir / name), fs::create_directory(dir / name);
             }
         }},
        // The output lands beside the scene, in a folder the program may not write.
        {"an output folder that is not writable", scene, object, refused(1, "Permission denied"), {},
         args, kPosix | kUserNotRoot, [](const fs::path& dir) {
             fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                             fs::perm_options::remove);
         }},
        // A read-only output is someone's decision: it stays as it is.
        {"a read-only output file", scene, object, refused(1, "cannot write '"), {}, args,
         kPosix | kUserNotRoot, [](const fs::path& dir) {
             fs::permissions(dir, fs::perms::all, fs::perm_options::add); // user nobody too may write the folder
             for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
                 if (!fs::exists(dir / name)) std::ofstream(dir / name) << "kept\n";
                 fs::permissions(dir / name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             }
         }},
        // Writing through a link to a device that is always full fails; the link stays.
        {"an output linked to /dev/full", scene, object, refused(1, "No space left on device"), {}, args, kPosix,
         [](const fs::path& dir) {
             for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
                 fs::remove(dir / name), fs::create_symlink("/dev/full", dir / name);
             }
         }},
    };
    // Writing stops with "File too large" at 4 KB: a disk that fills up.
    std::vector<Point> points;
    std::vector<std::vector<std::uint32_t>> fan;
    for (std::uint32_t i = 0; i < 300; ++i) {
        points.push_back({static_cast<float>(i), 0, 0});
        if (i >= 2) fan.push_back({0, i - 1, i});
    }
    cases.push_back({"a disk that fills up while the output is written", sceneOf({rootBone(), armBone()}, 0, 200),
                     form("LWO2", {pntsChunk(points), polsChunk(fan), surfChunk("skin")}),
                     refused(1, "File too large"), {}, args, kPosix, {}, 4096});
    return cases;
}

std::vector<HostileCase> sceneCases()
{
    const Bytes object = goodObject();
    const Outcome fine = converts();
    const Outcome noBones = refused(1, "the scene has no bones");
    const std::string scene = goodScene();
    ChannelSpec odd; // keys whose values and times are not numbers, or not finite
    odd.keys = {{kNan, 0}, {1, kNan}, {kInf, 0.05f}, {-kInf, kInf}, {2, -kInf}};
    odd.preBehavior = 2;
    odd.postBehavior = 4;
    ChannelSpec unsorted;
    unsorted.keys = {{0, 0.5f}, {1, 0.0f}, {2, 0.25f, 5}, {3, 0.1f, 1}};
    BoneSpec oddRoot = rootBone(), unsortedRoot = rootBone();
    oddRoot.channels[3] = odd;
    unsortedRoot.channels[0] = unsorted;
    const BoneSpec leg{.name = "leg", .weightMapName = "", .parentBone = 0},
        hip{.name = "hip", .weightMapName = "", .parentBone = 1};
    return {
        {"an empty scene file", "", object, noBones},
        {"a scene without bones", SceneTextBuilder().header(0, 2, 24, "walk.lwo").text(), object, noBones},
        {"a scene without any line end", "AddBone", object, noBones},
        {"a parent cycle", sceneOf({armBone(2), leg, hip}), object, refused(1, "form a cycle")},
        {"a bone that is its own parent", sceneOf({armBone(0)}), object,
         converts("bone 'arm' names itself as its parent")},
        {"ParentItem naming bone 4095", sceneOf({rootBone(), armBone(4095)}), object, converts("2 root joints")},
        {"frame rate 0", sceneOf({rootBone()}, 0, 2, 0), object, fine,
         refused(1, "the frame rate (FramesPerSecond) is 0")},
        {"last frame before the first", sceneOf({rootBone()}, 5, 4), object, fine,
         refused(1, "comes before the first frame")},
        {"a million frames of 17 bones", sceneOf(std::vector<BoneSpec>(17, rootBone()), 0, 999'999), object, fine,
         refused(1, "asks for 17000000 joint samples")},
        {"the whole range of frame numbers",
         sceneOf({rootBone()}, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()), object, fine,
         refused(1, "asks for 4294967296 joint samples")},
        {"a key count of 2,000,000,000", replacedAfter(scene, "AddBone", "\r\n  1\r\n", "\r\n  2000000000\r\n"),
         object, fine, converts("ends inside a channel block of bone 'root'")},
        {"a key count of -5", replacedAfter(scene, "AddBone", "\r\n  1\r\n", "\r\n  -5\r\n"), object, fine},
        {"a channel block cut by the end of the file", scene.substr(0, scene.rfind("  Key")), object, fine,
         converts("ends inside a channel block of bone 'arm'")},
        {"a line of 1 MB", replacedAfter(scene, "", "LWSC\r\n", "LWSC\r\nC " + std::string(1 << 20, 'x') + "\r\n"),
         object, fine},
        {"a bone name of 10 KB", replacedAfter(scene, "", "BoneName arm", "BoneName " + std::string(10240, 'a')),
         object, fine},
        {"NUL bytes inside lines",
         replacedAfter(replacedAfter(scene, "", "BoneName arm", std::string("BoneName arm\0tail", 17)), "", "AddBone",
                       std::string("AddBone\0\0", 9)),
         object, fine},
        // The md5 text quotes names as they stand: a quote or a line end
        // inside one must not break the file's syntax.
        {"a bone name holding a double quote", replacedAfter(scene, "", "BoneName arm", "BoneName a\"rm"), object,
         kRefusedOrLoadable},
        {"a bone name holding a line feed", replacedAfter(scene, "", "BoneName arm", "BoneName a\nrm"), object,
         kRefusedOrLoadable},
        {"keys with NaN and infinite values and times", sceneOf({oddRoot, armBone()}), object, fine,
         kRefusedOrLoadable},
        {"unsorted key times", sceneOf({unsortedRoot, armBone()}, -3, 30), object, fine},
    };
}

std::vector<HostileCase> objectCases()
{
    const std::string scene = goodScene();
    const Bytes good = goodObject();
    std::vector<HostileCase> cases;
    auto add = [&](std::string name, Bytes object, Outcome both, unsigned needs = 0) {
        cases.push_back(
            {std::move(name), scene, std::move(object), std::move(both), {}, {"walk.lws", "walk.lwo"}, needs});
    };
    const Outcome pastFile = refused(1, "reaches past the end of the file");
    const Outcome fans = converts("ERROR!!!: Check Geometry! Only 3 verts per poly!");
    // Cut at every chunk boundary; cut inside a point, a map entry, a polygon
    // and a name, as a file cut short (the FORM claims more) and as a FORM
    // that ends there.
    std::vector<std::size_t> starts;
    for (std::size_t at = 12; at + 8 <= good.size(); at += 8 + readU32(good, at + 4)) starts.push_back(at);
    for (const std::size_t at : starts) {
        add("cut at the chunk at offset " + std::to_string(at), prefix(good, at), pastFile);
    }
    for (const auto& [chunk, into] : {std::pair{kPnts, 7}, {kUv, 15}, {kPols, 7}, {kSurf, 3}}) {
        const std::size_t at = starts[chunk];
        Bytes cut = prefix(good, at + 8 + std::size_t(into));
        add("cut inside a record of the chunk at offset " + std::to_string(at), cut, pastFile);
        writeU32(cut, 4, static_cast<std::uint32_t>(cut.size() - 8));
        add("a FORM ending inside a record of the chunk at offset " + std::to_string(at), cut,
            refused(1, " at offset " + std::to_string(at) + " reaches past the end of its parent chunk"));
    }
    add("a zero-length object file", {}, refused(1, "too short for a chunk header"));
    add("an object of 7 bytes", prefix(good, 7), refused(1, "too short for a chunk header"));
    add("an object that is no IFF file", pntsChunk(kSquare), refused(1, "begins with PNTS instead of a FORM chunk"));
    add("form type LWOB", form("LWOB", {pntsChunk(kSquare)}), refused(1, "form type LWOB is not LWO2"), kNoMessageBox);
    add("form type AIFF", form("AIFF", {}), refused(1, "form type AIFF is not LWO2"), kNoMessageBox);
    add("a FORM without its type", chunk("FORM", {}), refused(1, "too short for its form type"));
    add("an empty LWO2 FORM", form("LWO2", {}), refused(1, "holds no point set"));
    add("a FORM length larger than the file",
        chunkWithLength("FORM", 1000, ByteWriter().id("LWO2").raw(pntsChunk(kSquare)).take()),
        refused(1, "chunk FORM at offset 0 reaches past the end of the file"));
    add("a FORM length of 0xFFFFFFFF", chunkWithLength("FORM", 0xFFFFFFFFu, ByteWriter().id("LWO2").take()), pastFile);
    add("a chunk length past its parent",
        concat({form("LWO2", {chunkWithLength("PNTS", 48, Bytes(8, 0))}), Bytes(48, 0)}),
        refused(1, "chunk PNTS at offset 12 reaches past the end of its parent chunk"));
    add("a chunk length past the file", form("LWO2", {chunkWithLength("VMAP", 0x7FFFFFF0u, Bytes(8, 0))}),
        refused(1, "chunk VMAP at offset 12 reaches past the end of its parent chunk"));
    Bytes nested = form("LWO2", {pntsChunk(kSquare)});
    for (int i = 0; i < 40; ++i) nested = form("LWO2", {nested});
    add("FORMs nested 40 deep", nested, refused(1, "nested too deeply"));
    add("a map name without its terminating zero",
        objectWith(kUv, chunk("VMAP", ByteWriter().id("TXUV").u16(2).id("uvuv").take())),
        refused(1, "holds a map name without its terminating zero"));
    add("a surface name without its terminating zero", objectWith(kSurf, chunk("SURF", ByteWriter().id("skin").take())),
        refused(1, "holds a surface name without its terminating zero"));
    add("a surface name holding a double quote", objectWith(kSurf, surfChunk("sk\"in")), kRefusedOrLoadable);
    add("a polygon record cut by the end of its chunk",
        objectWith(kPols, chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).take())),
        refused(1, "cut off by the end of the chunk"));
    add("no point set", form("LWO2", {polsChunk({{0, 1, 2}}), surfChunk("skin")}), refused(1, "holds no point set"));

    // These convert, with a warning where something is dropped.
    add("4-byte indices everywhere", goodObject(true), converts());
    add("quads", objectWith(kPols, polsChunk({{0, 1, 2, 3}})), fans, kNoMessageBox);
    add("lines and single points beside a triangle", objectWith(kPols, polsChunk({{0, 1}, {2}, {0, 1, 2}})), fans,
        kNoMessageBox);
    std::vector<Point> ring;
    std::vector<std::uint32_t> corners;
    for (std::uint32_t i = 0; i < 1023; ++i) {
        ring.push_back({std::cos(6.2831853f * float(i) / 1023), std::sin(6.2831853f * float(i) / 1023), 0});
        corners.push_back(i);
    }
    add("a polygon of 1023 corners", form("LWO2", {pntsChunk(ring), polsChunk({corners}), surfChunk("skin")}), fans,
        kNoMessageBox);
    add("POLS corners out of range", objectWith(kPols, polsChunk({{0, 1, 2}, {0, 2, 70000}})),
        converts("1 triangles with a corner that is not a point of the mesh"));
    add("UV map entries out of range", objectWith(kUv, uvMapChunk("uv", {{0, 0, 0}, {9, 1, 1}, {65535, 0, 0}})),
        converts("2 entries of UV map 'uv' name no point of the mesh"));
    add("weight map entries out of range", objectWith(kWeight, weightMapChunk("root", {{0, 1}, {4, 1}, {0xFFFFFF, 1}})),
        converts("2 entries of weight map 'root' name no point of the mesh"));
    add("UV fix entries out of range",
        objectWith(kUvFix, uvFixMapChunk("uv", {{2, 1, 0, 0}, {7, 0, 0, 0}, {0, 5, 0, 0}})),
        converts("2 entries of UV fix map 'uv' name no point or polygon"));
    add("a UV map of dimension 0", objectWith(kUv, vertexMapChunk("VMAP", "TXUV", 0, "uv", {0, 1}, {})),
        converts("TXUV map 'uv' has dimension 0, not 2"));
    add("a weight map of dimension 7",
        objectWith(kWeight, vertexMapChunk("VMAP", "WGHT", 7, "root", {0}, std::vector<float>(7, 1))),
        converts("WGHT map 'root' has dimension 7, not 1"));
    add("a UV fix map of dimension 7",
        objectWith(kUvFix, vertexMapChunk("VMAD", "TXUV", 7, "uv", {0}, std::vector<float>(7, 0))),
        converts("TXUV map 'uv' has dimension 7, not 2"));
    add("polygons before any point set",
        form("LWO2", {polsChunk({{0, 1, 2}}), pntsChunk(kSquare), polsChunk({{0, 1, 2}})}),
        converts("holds polygons before any point set"));
    add("points that are not numbers",
        objectWith(kPnts, pntsChunk({{kNan, 0, 0}, {kInf, 1, 0}, {1, -kInf, 0}, {0, 1, kNan}})),
        kRefusedOrLoadable);
    Bytes partialPoint = pntsChunk(kSquare);
    partialPoint.resize(partialPoint.size() + 11);
    writeU32(partialPoint, 4, 48 + 11);
    add("a point set with a partial point", objectWith(kPnts, partialPoint), converts());
    add("a UV map with a partial entry",
        objectWith(kUv, chunk("VMAP", concat({ByteWriter().id("TXUV").u16(2).name("uv").u16(1).f32(1).f32(0).take(),
                                              Bytes(9, 0)}))),
        converts());
    return cases;
}

// ---- running one case

// Every entry of the folder: name, then its bytes, "<dir>" or the link target.
std::map<std::string, std::string> snapshot(const fs::path& dir)
{
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const fs::path& path = entry.path();
        entries[path.filename().string()] = entry.is_symlink()     ? "-> " + fs::read_symlink(path).string()
                                            : entry.is_directory() ? "<dir>"
                                                                   : readFile(path);
    }
    return entries;
}

#ifdef _WIN32
bool isRoot() { return false; }
#else
bool isRoot() { return geteuid() == 0; }
#endif
const char kSetpriv[] = "/usr/bin/setpriv";

ProgramResult runCase(const HostileCase& c, const std::string& program, const fs::path& dir)
{
    const fs::path path = program == "meshconv" ? meshconvPath() : animconvPath();
    if ((c.needs & kUserNotRoot) && isRoot()) { // root writes wherever it likes: run as user nobody
        std::vector<std::string> arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", path.string()};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        return runProgram(kSetpriv, arguments, dir, "setpriv");
    }
#ifndef _WIN32
    // The limit and the ignored SIGXFSZ pass to the program through
    // posix_spawn; writes past the limit then fail with EFBIG.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    if (c.fileSizeLimit > 0) limited.rlim_cur = static_cast<rlim_t>(c.fileSizeLimit);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    ProgramResult result = runProgram(path, c.arguments, dir, program);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    return result;
#else
    return runProgram(path, c.arguments, dir, program);
#endif
}

void checkCase(const HostileCase& c, const std::string& program, Outcome expected, bool previousOutput)
{
    SCOPED_TRACE(program + (previousOutput ? ", with a previous output" : ""));
    const std::string outputName = std::string("walk.") + (program == "meshconv" ? "md5mesh" : "md5anim");
    TempDir dir;
    if (c.scene) dir.write("walk.lws", *c.scene);
    if (c.object) dir.write("walk.lwo", *c.object);
    if (previousOutput) dir.write(outputName, std::string("a previous output, to be kept\n"));
    if (c.spoil) c.spoil(dir.path());
    const std::map<std::string, std::string> before = snapshot(dir.path());

    const ProgramResult run = runCase(c, program, dir.path());
    EXPECT_EQ(run.signal, 0) << run.err;
    if (expected.status == kEither) expected.status = run.exitStatus == 0 ? 0 : 1;
    EXPECT_EQ(run.exitStatus, expected.status) << run.err;
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;

    std::vector<std::string> err;
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) err.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
    const std::string prefix = program + ": ";
    if (expected.status != 0) { // the run ends with its one error line
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.back().rfind(prefix, 0), 0u) << err.back();
        EXPECT_EQ(err.back().rfind(prefix + "warning: ", 0), std::string::npos) << err.back();
        EXPECT_NE(err.back().find(expected.text), std::string::npos) << run.err;
    } else if (!expected.text.empty()) {
        EXPECT_TRUE(std::any_of(err.begin(), err.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0 && line.find(expected.text) != std::string::npos;
        })) << "no stderr line holds \"" << expected.text << "\":\n" << run.err;
    }

    std::map<std::string, std::string> after = snapshot(dir.path());
    if (expected.status != 0) {
        EXPECT_TRUE(after == before) << "the folder changed";
        return;
    }
    // A converting run adds (or replaces) exactly its output, which a loader accepts.
    ASSERT_EQ(after.count(outputName), 1u);
    const std::string text = after[outputName];
    std::map<std::string, std::string> others = before;
    after.erase(outputName), others.erase(outputName);
    EXPECT_TRUE(after == others) << "the run left other files behind";
    Md5ModelFile mesh;
    Md5AnimFile anim;
    // A second root is kept, with a warning, though id Tech 4 refuses it.
    EXPECT_EQ(program == "meshconv" ? engineComplaint(text, mesh) : engineComplaint(text, anim, {"roots"}), "");
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsWithItsStatusAndLeavesNoPartialOutput)
{
    const HostileCase& c = GetParam();
#ifdef _WIN32
    if (c.needs & (kPosix | kNoMessageBox)) GTEST_SKIP() << "needs POSIX files and limits, or shows a message box";
#endif
    if ((c.needs & kUserNotRoot) && isRoot() && !fs::exists(kSetpriv)) GTEST_SKIP() << "root, and no setpriv";
    const Outcome animconv = c.animconv.value_or(c.meshconv);
    for (const auto& [program, expected] : {std::pair{"meshconv", c.meshconv}, {"animconv", animconv}}) {
        checkCase(c, program, expected, false);
        // A refusing run also leaves an earlier output as it was.
        if (expected.status != 0 && !HasFailure()) checkCase(c, program, expected, true);
    }
}

std::vector<HostileCase> allCases()
{
    std::vector<HostileCase> all;
    for (auto* cases : {&fileCases, &sceneCases, &objectCases}) {
        for (HostileCase& c : (*cases)()) all.push_back(std::move(c));
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& param) {
                             std::string name = param.param.name;
                             for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

// ---- memory and time in proportion to the files

#ifndef _WIN32
// What the README promises: 40 bytes per scene byte and 750 per bone, 10 per
// object byte, 40 per joint sample and 24 per frame, plus a few megabytes.
// Time: one second plus 2 microseconds per joint sample and 1 per input byte,
// about three times what a plain run needs. Sanitizers get three times both.
// Each case is made only when it runs, and freed before the program starts:
// its peak counts the pages of the test process that starts it.
TEST(HostileInputBounds, MemoryAndTimeStayInProportionToTheFiles)
{
    struct BoundCase {
        std::string name, program, scene;
        Bytes object;
        double bones = 0, frames = 0, samples = 0;
    };
    auto bareBones = [](const char* program) {
        std::string scene = "PreviewLastFrame 0\r\nFramesPerSecond 24\r\n";
        for (int i = 0; i < 200'000; ++i) scene += "AddBone\r\n";
        return BoundCase{"200,000 bare AddBone lines", program, scene, goodObject(), 2e5, 1, 2e5};
    };
    const std::vector<std::function<BoundCase()>> cases = {
        [] { // every bone names the one weight map, whose entries all weight point 0
            std::string scene = "PreviewLastFrame 0\r\nFramesPerSecond 24\r\n";
            for (int i = 0; i < 3000; ++i) {
                scene += "AddBone\r\nBoneName b" + std::to_string(i) + "\r\nBoneWeightMapName w\r\n";
            }
            const std::vector<WeightEntry> entries(3000, WeightEntry{0, 1.0f});
            return BoundCase{"3000 bones sharing a weight map of 3000 entries", "meshconv", scene,
                             form("LWO2", {pntsChunk(kSquare), polsChunk({{0, 1, 2}}), weightMapChunk("w", entries)}),
                             3000};
        },
        [=] { return bareBones("meshconv"); },
        [=] { return bareBones("animconv"); },
        [] {
            return BoundCase{"a key count of 2,000,000,000", "animconv",
                             replacedAfter(goodScene(), "AddBone", "\r\n  1\r\n", "\r\n  2000000000\r\n"),
                             goodObject(), 2, 3, 6};
        },
        [] {
            return BoundCase{"a million frames of one bone", "animconv", sceneOf({rootBone()}, 0, 999'999),
                             goodObject(), 1, 1e6, 1e6};
        },
        [] { // in ascending time but for the last two: every sample walks the keys from the first
            BoneSpec root = rootBone();
            for (int k = 0; k < 60'000; ++k) root.channels[0].keys.push_back({float(k % 7), float(k) / 24});
            root.channels[0].keys.push_back({1, 1e9f});
            root.channels[0].keys.push_back({2, 1e6f});
            return BoundCase{"60,000 unsorted keys sampled at 300,000 frames", "animconv", sceneOf({root}, 0, 299'999),
                             goodObject(), 1, 3e5, 3e5};
        },
    };
    const double slack = kSanitized ? 3.0 : 1.0;
    TempDir small;
    small.write("walk.lws", goodScene());
    small.write("walk.lwo", goodObject());
    for (const auto& make : cases) {
        BoundCase c = make();
        SCOPED_TRACE(c.name + ", " + c.program);
        TempDir dir;
        dir.write("walk.lws", c.scene);
        dir.write("walk.lwo", c.object);
        const double inputBytes = double(c.scene.size()), objectBytes = double(c.object.size());
        std::string().swap(c.scene), Bytes().swap(c.object);
        // A small animation started just before gives the pages every program starts with.
        const double baseline = runProgram(animconvPath(), {"walk.lws", "walk.lwo"}, small.path(), "a").peakMegabytes;
        const ProgramResult run = runProgram(c.program == "meshconv" ? meshconvPath() : animconvPath(),
                                             {"walk.lws", "walk.lwo"}, dir.path(), c.program);
        EXPECT_EQ(run.exitStatus, 0) << run.err.substr(0, 2000);
        const double allowedMegabytes = baseline + 16 + slack * (40 * inputBytes + 750 * c.bones + 10 * objectBytes +
                                                                 40 * c.samples + 24 * c.frames) / (1 << 20);
        const double allowedSeconds = slack * (1 + 2e-6 * c.samples + 1e-6 * (inputBytes + objectBytes));
        std::cout << "      " << c.name << ", " << c.program << ": " << run.peakMegabytes << " MB (allowed "
                  << allowedMegabytes << "), " << run.cpuSeconds << " s CPU (allowed " << allowedSeconds << ")\n";
        EXPECT_LE(run.peakMegabytes, allowedMegabytes);
        EXPECT_LE(run.cpuSeconds, allowedSeconds);
    }
}
#endif

} // namespace
} // namespace lwmd5
