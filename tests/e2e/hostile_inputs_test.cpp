// Bad input of every kind, fed to the built programs: each run must end with
// its exit status and one clear stderr line, never a crash or a sanitizer
// report, and must leave the folder as it was (no output, no temporary file,
// a previous output byte for byte) unless it converts.

#include "lwo_builder.h"
#include "scene_builder.h"
#include "support/md5_reader.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
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

BoneSpec rootBone()
{
    return {"root", "root", {0, 0, 0}, {0, 0, 0}, 1.0f, -1, restChannels()};
}

BoneSpec armBone(int parent = 0)
{
    return {"arm", "arm", {0, 1, 0}, {0, 0, 0}, 1.0f, parent, restChannels(0, 1, 0)};
}

std::string sceneOf(const std::vector<BoneSpec>& bones, int first = 0, int last = 2, int fps = 24)
{
    SceneTextBuilder scene;
    scene.header(first, last, fps, "walk.lwo");
    for (const BoneSpec& bone : bones) scene.bone(bone);
    return scene.text();
}

std::string goodScene()
{
    return sceneOf({rootBone(), armBone()});
}

const std::vector<Point> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

// Every chunk the reader decodes, plus the ones it steps over.
std::vector<Bytes> goodChunks(bool longIndices = false)
{
    return {
        tagsChunk({"skin"}),
        layrChunk(0, "body"),
        pntsChunk(kSquare),
        uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}}, longIndices),
        weightMapChunk("root", {{0, 1}, {1, 1}, {2, 0.5f}, {3, 1}}, longIndices),
        weightMapChunk("arm", {{2, 0.5f}}, longIndices),
        polsChunk({{0, 1, 2}, {0, 2, 3}}, "FACE", 0, longIndices),
        ptagChunk("SURF", {{0, 0}, {1, 0}}),
        uvFixMapChunk("uv", {{2, 1, 0.5f, 0.5f}}, longIndices),
        surfChunk("skin"),
    };
}

Bytes goodObject(bool longIndices = false)
{
    return form("LWO2", goodChunks(longIndices));
}

// The good object with chunk `k` of goodChunks() replaced.
Bytes objectWith(std::size_t k, const Bytes& replacement)
{
    std::vector<Bytes> chunks = goodChunks();
    chunks[k] = replacement;
    return form("LWO2", chunks);
}
constexpr std::size_t kPntsChunk = 2, kUvChunk = 3, kWeightChunk = 4, kPolsChunk = 6, kUvFixChunk = 8,
                      kSurfChunk = 9;

// Offsets of the sub-chunk headers of a FORM, walked from its bytes.
std::vector<std::size_t> chunkBoundaries(const Bytes& object)
{
    std::vector<std::size_t> offsets;
    for (std::size_t at = 12; at + 8 <= object.size();) {
        offsets.push_back(at);
        const std::size_t length = (std::size_t{object[at + 4]} << 24) | (std::size_t{object[at + 5]} << 16) |
                                   (std::size_t{object[at + 6]} << 8) | std::size_t{object[at + 7]};
        at += 8 + length;
    }
    return offsets;
}

Bytes prefix(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// A FORM whose length field is set to the bytes that follow it.
Bytes withFormLengthFixed(Bytes bytes)
{
    const auto length = static_cast<std::uint32_t>(bytes.size() - 8);
    for (std::size_t i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    return bytes;
}

// The good scene with one channel of the root bone replaced.
std::string sceneWithRootChannel(std::size_t channel, const ChannelSpec& spec, int first = 0, int last = 2)
{
    BoneSpec root = rootBone();
    root.channels[channel] = spec;
    return sceneOf({root, armBone()}, first, last);
}

// `text` with the first `from` after `anchor` replaced by `to`.
std::string replacedAfter(std::string text, const std::string& anchor, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from, text.find(anchor));
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// ---- the table

struct Outcome {
    int status = -1;  // -1: the program does not run this case; kNoBadOutput: see below
    std::string text; // a text that one stderr line of the program holds
};

// Where either way is sound, the run may refuse (status 1, folder as it was)
// or convert, but a converted output must load: no "nan" or "inf" (which no
// md5 loader accepts), no partial file.
constexpr int kNoBadOutput = -2;
const Outcome kRefusedOrLoadable{kNoBadOutput, ""};

Outcome refused(int status, std::string text)
{
    return {status, std::move(text)};
}
Outcome converts(std::string warning = "")
{
    return {0, std::move(warning)};
}
const Outcome kNotRun{};

using Prepare = std::function<std::string(const fs::path&)>;

struct HostileCase {
    HostileCase(std::string caseName, std::optional<std::string> sceneText, std::optional<Bytes> objectBytes,
                Outcome mesh, Outcome anim, std::vector<std::string> args = {"walk.lws", "walk.lwo"},
                Prepare spoil = {})
        : name(std::move(caseName)), scene(std::move(sceneText)), object(std::move(objectBytes)),
          meshconv(std::move(mesh)), animconv(std::move(anim)), arguments(std::move(args)), prepare(std::move(spoil))
    {
    }

    std::string name;
    std::optional<std::string> scene; // walk.lws, not written when empty
    std::optional<Bytes> object;      // walk.lwo
    Outcome meshconv;
    Outcome animconv;
    std::vector<std::string> arguments;
    // Spoils the folder after the inputs are written; returns why the case
    // cannot run on this system, or "".
    Prepare prepare;
    // Root writes wherever it likes: run the program as user nobody.
    bool needsPermissions = false;
    // A message box waits for a click on Windows.
    bool showsMessageBox = false;
    // Run with the file size limit at this many bytes (a full disk).
    long fileSizeLimit = 0;
};

void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string posixOnly()
{
#ifdef _WIN32
    return "needs POSIX permissions, symbolic links or resource limits";
#else
    return "";
#endif
}

std::vector<HostileCase> commandLineCases()
{
    const std::string scene = goodScene();
    const Bytes object = goodObject();
    const Outcome usage = refused(2, "");
    std::vector<HostileCase> cases = {
        {"no arguments", scene, object, usage, usage, {}},
        {"one argument", scene, object, usage, usage, {"walk.lws"}},
        {"four arguments", scene, object, usage, usage, {"walk.lws", "walk.lwo", "1", "2"}},
        {"scale that is no number", scene, object, refused(2, "the scale factor 'abc' is not a decimal number"),
         refused(2, "the scale factor 'abc' is not a decimal number"), {"walk.lws", "walk.lwo", "abc"}},
        {"scale beyond a float", scene, object, refused(2, "'1e39' is not a decimal number"),
         refused(2, "'1e39' is not a decimal number"), {"walk.lws", "walk.lwo", "1e39"}},
        {"scale nan", scene, object, refused(2, "'nan' is not a decimal number"),
         refused(2, "'nan' is not a decimal number"), {"walk.lws", "walk.lwo", "nan"}},
        {"no scene argument", scene, object, refused(2, "is a scene file (.lws)"),
         refused(2, "is a scene file (.lws)"), {"walk.LWS", "walk.lwo"}},
        {"no object argument", scene, object, refused(1, "no argument is an object file"),
         refused(1, "no argument is an object file"), {"walk.lws", "walk.txt"}},
        {"scene file missing", std::nullopt, object, refused(1, "cannot open scene file 'walk.lws'"),
         refused(1, "cannot open scene file 'walk.lws'")},
        {"object file missing", scene, std::nullopt, refused(1, "cannot read object file 'walk.lwo'"),
         refused(1, "cannot read object file 'walk.lwo'")},
        {"a directory as the scene", std::nullopt, object, refused(1, "cannot open scene file 'walk.lws': "),
         refused(1, "cannot open scene file 'walk.lws': "), {"walk.lws", "walk.lwo"},
         [](const fs::path& dir) {
             fs::create_directory(dir / "walk.lws");
             return std::string();
         }},
        {"a directory as the object", scene, std::nullopt, refused(1, "cannot read object file 'walk.lwo': "),
         refused(1, "cannot read object file 'walk.lwo': "), {"walk.lws", "walk.lwo"},
         [](const fs::path& dir) {
             fs::create_directory(dir / "walk.lwo");
             return std::string();
         }},
        {"a directory in the output's place", scene, object, refused(1, "cannot write '"),
         refused(1, "cannot write '"), {"walk.lws", "walk.lwo"},
         [](const fs::path& dir) {
             for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
                 fs::remove(dir / name);
                 fs::create_directory(dir / name);
             }
             return std::string();
         }},
    };
    // The output lands beside the scene, in a folder the program may not write.
    HostileCase folder{"an output folder that is not writable", scene, object, refused(1, "Permission denied"),
                       refused(1, "Permission denied")};
    folder.prepare = [](const fs::path& dir) {
        fs::permissions(dir, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        return posixOnly();
    };
    folder.needsPermissions = true;
    cases.push_back(folder);
    // A read-only output is someone's decision: it stays as it is.
    HostileCase readOnly{"a read-only output file", scene, object, refused(1, "cannot write '"),
                         refused(1, "cannot write '")};
    readOnly.prepare = [](const fs::path& dir) {
        fs::permissions(dir, fs::perms::all, fs::perm_options::add); // user nobody too may write the folder
        for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
            if (!fs::exists(dir / name)) std::ofstream(dir / name) << "kept\n";
            fs::permissions(dir / name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
        return posixOnly();
    };
    readOnly.needsPermissions = true;
    cases.push_back(readOnly);
    // Writing stops with "File too large" at 4 KB: a disk that fills up.
    HostileCase full{"a disk that fills up while the output is written", sceneOf({rootBone(), armBone()}, 0, 200),
                     std::nullopt, refused(1, "File too large"), refused(1, "File too large")};
    {
        std::vector<Point> points;
        std::vector<std::vector<std::uint32_t>> triangles;
        for (std::uint32_t i = 0; i < 300; ++i) {
            points.push_back({static_cast<float>(i), 0, 0});
            if (i >= 2) triangles.push_back({0, i - 1, i});
        }
        full.object = form("LWO2", {pntsChunk(points), polsChunk(triangles), surfChunk("skin")});
    }
    full.prepare = [](const fs::path&) { return posixOnly(); };
    full.fileSizeLimit = 4096;
    cases.push_back(full);
    // The output's name is a link to a device that is always full. Whatever
    // the run does with the link, it must not leave a partial file behind.
    HostileCase deviceFull{"an output linked to /dev/full", scene, object, kRefusedOrLoadable, kRefusedOrLoadable};
    deviceFull.prepare = [](const fs::path& dir) {
        if (!fs::exists("/dev/full")) return std::string("no /dev/full here");
        for (const char* name : {"walk.md5mesh", "walk.md5anim"}) {
            fs::remove(dir / name);
            fs::create_symlink("/dev/full", dir / name);
        }
        return posixOnly();
    };
    cases.push_back(deviceFull);
    return cases;
}

std::vector<HostileCase> sceneCases()
{
    const Bytes object = goodObject();
    const Outcome fine = converts();
    std::vector<HostileCase> cases = {
        {"an empty scene file", "", object, refused(1, "the scene has no bones"), refused(1, "the scene has no bones")},
        {"a scene without bones", SceneTextBuilder().header(0, 2, 24, "walk.lwo").text(), object,
         refused(1, "the scene has no bones"), refused(1, "the scene has no bones")},
        {"a scene without any line end", "AddBone", object,
         refused(1, "the scene has no bones"), refused(1, "the scene has no bones")},
        {"a parent cycle",
         sceneOf({armBone(2), {"leg", "", {}, {}, 1, 0, restChannels()}, {"hip", "", {}, {}, 1, 1, restChannels()}}),
         object, refused(1, "form a cycle"), refused(1, "form a cycle")},
        {"a bone that is its own parent", sceneOf({armBone(0)}), object,
         converts("bone 'arm' names itself as its parent"), converts("bone 'arm' names itself as its parent")},
        {"ParentItem naming bone 4095", sceneOf({rootBone(), armBone(4095)}), object,
         converts("2 root joints"), converts("2 root joints")},
        {"frame rate 0", sceneOf({rootBone()}, 0, 2, 0), object, fine,
         refused(1, "the frame rate (FramesPerSecond) is 0")},
        {"frame rate -24", sceneOf({rootBone()}, 0, 2, -24), object, fine,
         refused(1, "the frame rate (FramesPerSecond) is -24")},
        {"last frame before the first", sceneOf({rootBone()}, 5, 4), object, fine,
         refused(1, "comes before the first frame")},
        {"a million frames of 17 bones", sceneOf(std::vector<BoneSpec>(17, rootBone()), 0, 999'999), object, fine,
         refused(1, "asks for 17000000 joint samples")},
        {"the whole range of frame numbers", sceneOf({rootBone()}, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()),
         object, fine, refused(1, "asks for 4294967296 joint samples")},
        {"a key count of 2,000,000,000",
         replacedAfter(goodScene(), "AddBone", "\r\n  1\r\n", "\r\n  2000000000\r\n"), object, fine,
         converts("ends inside a channel block of bone 'root'")},
        {"a key count of -5", replacedAfter(goodScene(), "AddBone", "\r\n  1\r\n", "\r\n  -5\r\n"), object, fine, fine},
        {"a channel block cut by the end of the file", goodScene().substr(0, goodScene().rfind("  Key")), object,
         fine, converts("ends inside a channel block of bone 'arm'")},
        {"a line of 1 MB",
         replacedAfter(goodScene(), "", "LWSC\r\n", "LWSC\r\nComment " + std::string(1 << 20, 'x') + "\r\n"), object,
         fine, fine},
        {"a bone name of 10 KB", replacedAfter(goodScene(), "", "BoneName arm", "BoneName " + std::string(10240, 'a')),
         object, fine, fine},
        {"NUL bytes inside lines",
         replacedAfter(replacedAfter(goodScene(), "", "BoneName arm", std::string("BoneName arm\0tail", 17)), "",
                       "AddBone", std::string("AddBone\0\0", 9)),
         object, fine, fine},
    };
    // The md5 text quotes names as they stand: a quote or a line end inside
    // one must not break the file's syntax.
    cases.push_back({"a bone name holding a double quote",
                     replacedAfter(goodScene(), "", "BoneName arm", "BoneName a\"rm"), object, kRefusedOrLoadable,
                     kRefusedOrLoadable});
    cases.push_back({"a bone name holding a line feed",
                     replacedAfter(goodScene(), "", "BoneName arm", "BoneName a\nrm"), object, kRefusedOrLoadable,
                     kRefusedOrLoadable});
    // Keys whose values and times are not numbers, or not finite.
    ChannelSpec odd;
    odd.keys = {{kNan, 0}, {1, kNan}, {kInf, 0.05f}, {-kInf, kInf}, {2, -kInf}};
    odd.preBehavior = 2;
    odd.postBehavior = 4;
    cases.push_back({"keys with NaN and infinite values and times", sceneWithRootChannel(3, odd), object, fine,
                     kRefusedOrLoadable});
    ChannelSpec unsorted;
    unsorted.keys = {{0, 0.5f}, {1, 0.0f}, {2, 0.25f, 5}, {3, 0.1f, 1}};
    cases.push_back({"unsorted key times", sceneWithRootChannel(0, unsorted, -3, 30), object, fine, fine});
    return cases;
}

std::vector<HostileCase> objectCases()
{
    const std::string scene = goodScene();
    const Bytes good = goodObject();
    std::vector<HostileCase> cases;
    auto add = [&](std::string name, Bytes object, Outcome both, bool box = false) {
        HostileCase c{std::move(name), scene, std::move(object), both, both};
        c.showsMessageBox = box;
        cases.push_back(std::move(c));
    };
    // Cut at every chunk boundary, as a file cut short (the FORM claims
    // more) and as a consistent object that simply ends there.
    for (const std::size_t at : chunkBoundaries(good)) {
        const Bytes cut = prefix(good, at);
        add("cut at the chunk at offset " + std::to_string(at), cut, refused(1, "reaches past the end of the file"));
    }
    // Cut inside records: a point, a map entry, a polygon, a name.
    const std::vector<std::size_t> starts = chunkBoundaries(good);
    const struct {
        std::size_t chunk;
        const char* id;
        std::size_t into; // bytes of the chunk's data kept
    } cuts[] = {{kPntsChunk, "PNTS", 7}, {kUvChunk, "VMAP", 15}, {kPolsChunk, "POLS", 7}, {kSurfChunk, "SURF", 3}};
    for (const auto& cut : cuts) {
        const std::size_t at = starts[cut.chunk];
        const Bytes cutObject = prefix(good, at + 8 + cut.into);
        add("cut inside a record of the chunk at offset " + std::to_string(at), cutObject,
            refused(1, "reaches past the end of the file"));
        add("a FORM ending inside a record of the chunk at offset " + std::to_string(at),
            withFormLengthFixed(cutObject),
            refused(1, std::string("chunk ") + cut.id + " at offset " + std::to_string(at) +
                           " reaches past the end of its parent chunk"));
    }
    add("a zero-length object file", {}, refused(1, "too short for a chunk header"));
    add("an object of 7 bytes", ByteWriter().id("FORM").u16(0).u8(4).take(),
        refused(1, "too short for a chunk header"));
    add("an object that is no IFF file", ByteWriter().id("PNTS").u32(12).f32(0).f32(0).f32(0).take(),
        refused(1, "begins with PNTS instead of a FORM chunk"));
    add("form type LWOB", form("LWOB", {pntsChunk(kSquare)}), refused(1, "form type LWOB is not LWO2"), true);
    add("form type AIFF", form("AIFF", {}), refused(1, "form type AIFF is not LWO2"), true);
    add("a FORM without its type", chunk("FORM", {}), refused(1, "too short for its form type"));
    add("an empty LWO2 FORM", form("LWO2", {}), refused(1, "holds no point set"));
    add("a FORM length larger than the file",
        chunkWithLength("FORM", 1000, ByteWriter().id("LWO2").raw(pntsChunk(kSquare)).take()),
        refused(1, "chunk FORM at offset 0 reaches past the end of the file"));
    add("a FORM length of 0xFFFFFFFF", chunkWithLength("FORM", 0xFFFFFFFFu, ByteWriter().id("LWO2").take()),
        refused(1, "reaches past the end of the file"));
    add("a chunk length past its parent",
        concat({form("LWO2", {chunkWithLength("PNTS", 48, Bytes(8, 0))}), Bytes(48, 0)}),
        refused(1, "chunk PNTS at offset 12 reaches past the end of its parent chunk"));
    add("a chunk length past the file", form("LWO2", {chunkWithLength("VMAP", 0x7FFFFFF0u, Bytes(8, 0))}),
        refused(1, "chunk VMAP at offset 12 reaches past the end of its parent chunk"));
    {
        Bytes nested = form("LWO2", {pntsChunk(kSquare)});
        for (int i = 0; i < 40; ++i) nested = form("LWO2", {nested});
        add("FORMs nested 40 deep", nested, refused(1, "nested too deeply"));
    }
    add("a map name without its terminating zero",
        objectWith(kUvChunk, chunk("VMAP", ByteWriter().id("TXUV").u16(2).id("uvuv").take())),
        refused(1, "holds a map name without its terminating zero"));
    add("a surface name without its terminating zero",
        objectWith(kSurfChunk, chunk("SURF", ByteWriter().id("skin").take())),
        refused(1, "holds a surface name without its terminating zero"));
    add("a surface name holding a double quote", objectWith(kSurfChunk, surfChunk("sk\"in")), kRefusedOrLoadable);
    add("a polygon record cut by the end of its chunk",
        objectWith(kPolsChunk, chunk("POLS", ByteWriter().id("FACE").u16(3).u16(0).u16(1).take())),
        refused(1, "cut off by the end of the chunk"));
    add("no point set", form("LWO2", {polsChunk({{0, 1, 2}}), surfChunk("skin")}), refused(1, "holds no point set"));

    // These convert, with a warning where something is dropped.
    add("4-byte indices everywhere", goodObject(true), converts());
    add("quads", objectWith(kPolsChunk, polsChunk({{0, 1, 2, 3}})),
        converts("ERROR!!!: Check Geometry! Only 3 verts per poly!"), true);
    add("lines and single points beside a triangle", objectWith(kPolsChunk, polsChunk({{0, 1}, {2}, {0, 1, 2}})),
        converts("ERROR!!!: Check Geometry! Only 3 verts per poly!"), true);
    {
        std::vector<Point> ring;
        std::vector<std::uint32_t> corners;
        for (std::uint32_t i = 0; i < 1023; ++i) {
            const double angle = 2 * 3.14159265358979 * i / 1023;
            ring.push_back({static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0});
            corners.push_back(i);
        }
        add("a polygon of 1023 corners", form("LWO2", {pntsChunk(ring), polsChunk({corners}), surfChunk("skin")}),
            converts("ERROR!!!: Check Geometry! Only 3 verts per poly!"), true);
    }
    add("POLS corners out of range", objectWith(kPolsChunk, polsChunk({{0, 1, 2}, {0, 2, 70000}})),
        converts("1 triangles with a corner that is not a point of the mesh"));
    add("UV map entries out of range", objectWith(kUvChunk, uvMapChunk("uv", {{0, 0, 0}, {9, 1, 1}, {65535, 0, 0}})),
        converts("2 entries of UV map 'uv' name no point of the mesh"));
    add("weight map entries out of range",
        objectWith(kWeightChunk, weightMapChunk("root", {{0, 1}, {4, 1}, {0xFFFFFF, 1}})),
        converts("2 entries of weight map 'root' name no point of the mesh"));
    add("UV fix entries out of range",
        objectWith(kUvFixChunk, uvFixMapChunk("uv", {{2, 1, 0, 0}, {7, 0, 0, 0}, {0, 5, 0, 0}})),
        converts("2 entries of UV fix map 'uv' name no point or polygon"));
    add("a UV map of dimension 0", objectWith(kUvChunk, vertexMapChunk("VMAP", "TXUV", 0, "uv", {0, 1}, {})),
        converts("TXUV map 'uv' has dimension 0, not 2"));
    add("a weight map of dimension 7",
        objectWith(kWeightChunk, vertexMapChunk("VMAP", "WGHT", 7, "root", {0}, {1, 1, 1, 1, 1, 1, 1})),
        converts("WGHT map 'root' has dimension 7, not 1"));
    add("a UV fix map of dimension 7",
        objectWith(kUvFixChunk, vertexMapChunk("VMAD", "TXUV", 7, "uv", {0}, {0, 0, 0, 0, 0, 0, 0})),
        converts("TXUV map 'uv' has dimension 7, not 2"));
    add("polygons before any point set",
        form("LWO2", {polsChunk({{0, 1, 2}}), pntsChunk(kSquare), polsChunk({{0, 1, 2}})}),
        converts("holds polygons before any point set"));
    add("points that are not numbers",
        objectWith(kPntsChunk, pntsChunk({{kNan, 0, 0}, {kInf, 1, 0}, {1, -kInf, 0}, {0, 1, kNan}})),
        kRefusedOrLoadable);
    ByteWriter square;
    for (const Point& p : kSquare) square.f32(p[0]).f32(p[1]).f32(p[2]);
    add("a point set with a partial point",
        objectWith(kPntsChunk, chunk("PNTS", concat({square.take(), Bytes(11, 0)}))), converts());
    add("a UV map with a partial entry",
        objectWith(kUvChunk,
                   chunk("VMAP", concat({ByteWriter().id("TXUV").u16(2).name("uv").u16(1).f32(1).f32(0).take(),
                                         Bytes(9, 0)}))),
        converts());
    return cases;
}

std::vector<HostileCase> allCases()
{
    std::vector<HostileCase> all = commandLineCases();
    for (auto* more : {&sceneCases, &objectCases}) {
        std::vector<HostileCase> cases = (*more)();
        all.insert(all.end(), cases.begin(), cases.end());
    }
    return all;
}

// ---- running one case

// Every entry of the folder: name, then its bytes, "<dir>" or the link target.
std::map<std::string, std::string> snapshot(const fs::path& dir)
{
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            entries[name] = "<dir>";
        } else {
            entries[name] = readFile(entry.path());
        }
    }
    return entries;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        result.push_back(line);
    }
    return result;
}

bool isRoot()
{
#ifdef _WIN32
    return false;
#else
    return geteuid() == 0;
#endif
}

const char kSetpriv[] = "/usr/bin/setpriv";

ProgramResult runCase(const HostileCase& c, const std::string& program, const fs::path& dir)
{
    const fs::path path = program == "meshconv" ? meshconvPath() : animconvPath();
    if (c.needsPermissions && isRoot()) {
        std::vector<std::string> arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", path.string()};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        return runProgram(kSetpriv, arguments, dir, "setpriv");
    }
#ifndef _WIN32
    if (c.fileSizeLimit > 0) {
        // The limit and the ignored SIGXFSZ pass to the program through
        // posix_spawn; writes past the limit then fail with EFBIG.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = static_cast<rlim_t>(c.fileSizeLimit);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limited);
        ProgramResult result = runProgram(path, c.arguments, dir, program);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        return result;
    }
#endif
    return runProgram(path, c.arguments, dir, program);
}

const char kPreviousOutput[] = "a previous output, to be kept\n";

void checkCase(const HostileCase& c, const std::string& program, Outcome expected, bool previousOutput)
{
    SCOPED_TRACE(program + (previousOutput ? ", with a previous output" : ""));
    const std::string outputName = std::string("walk.") + (program == "meshconv" ? "md5mesh" : "md5anim");
    TempDir dir;
    if (c.scene) dir.write("walk.lws", *c.scene);
    if (c.object) dir.write("walk.lwo", *c.object);
    if (previousOutput) dir.write(outputName, std::string(kPreviousOutput));
    if (c.prepare) {
        const std::string why = c.prepare(dir.path());
        if (!why.empty()) GTEST_SKIP() << why;
    }
    if (c.needsPermissions && isRoot() && !fs::exists(kSetpriv)) {
        GTEST_SKIP() << "running as root, and no setpriv to drop to an ordinary user";
    }
    const std::map<std::string, std::string> before = snapshot(dir.path());

    const ProgramResult run = runCase(c, program, dir.path());
    EXPECT_EQ(run.signal, 0) << run.err;
    if (expected.status == kNoBadOutput) {
        ASSERT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << run.err;
        if (run.exitStatus == 1) expected = refused(1, "");
        if (run.exitStatus == 0) expected = converts();
    }
    EXPECT_EQ(run.exitStatus, expected.status) << run.err;
    EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("runtime error"), std::string::npos) << run.err;

    const std::vector<std::string> err = lines(run.err);
    const std::string prefix = program + ": ";
    if (expected.status == 2 && expected.text.empty()) {
        EXPECT_NE(run.out.find("lwsfile lwofile [scalefactor]"), std::string::npos) << run.out;
        EXPECT_TRUE(err.empty()) << run.err;
    } else if (expected.status != 0) {
        // The run ends with its one error line.
        ASSERT_FALSE(err.empty());
        EXPECT_EQ(err.back().rfind(prefix, 0), 0u) << err.back();
        EXPECT_EQ(err.back().rfind(prefix + "warning: ", 0), std::string::npos) << err.back();
        EXPECT_NE(err.back().find(expected.text), std::string::npos) << run.err;
    } else if (!expected.text.empty()) {
        bool found = false;
        for (const std::string& line : err) {
            found = found || (line.rfind(prefix, 0) == 0 && line.find(expected.text) != std::string::npos);
        }
        EXPECT_TRUE(found) << "no stderr line holds \"" << expected.text << "\":\n" << run.err;
    }

    std::map<std::string, std::string> after = snapshot(dir.path());
    if (expected.status != 0) {
        EXPECT_TRUE(after == before) << "the folder changed";
        return;
    }
    // A converting run adds (or replaces) exactly its output, which a loader accepts.
    ASSERT_EQ(after.count(outputName), 1u);
    const std::string text = after[outputName];
    after.erase(outputName);
    std::map<std::string, std::string> others = before;
    others.erase(outputName);
    EXPECT_TRUE(after == others) << "the run left other files behind";
    std::string error;
    if (program == "meshconv") {
        Md5MeshFile file;
        EXPECT_TRUE(readMd5Mesh(text, file, error)) << error;
    } else {
        Md5AnimFile file;
        EXPECT_TRUE(readMd5Anim(text, file, error)) << error;
    }
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsWithItsStatusAndLeavesNoPartialOutput)
{
    const HostileCase& c = GetParam();
#ifdef _WIN32
    if (c.showsMessageBox) GTEST_SKIP() << "a message box waits for a click";
#endif
    for (const auto& [program, expected] : {std::pair<std::string, Outcome>{"meshconv", c.meshconv},
                                            std::pair<std::string, Outcome>{"animconv", c.animconv}}) {
        if (expected.status == kNotRun.status) continue;
        checkCase(c, program, expected, false);
        // A refusing run also leaves an earlier output as it was.
        if (expected.status != 0 && !::testing::Test::HasFailure()) checkCase(c, program, expected, true);
    }
}

std::string caseName(const ::testing::TestParamInfo<HostileCase>& info)
{
    std::string name;
    for (const char ch : info.param.name) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, ::testing::ValuesIn(allCases()), caseName);

// ---- memory and time in proportion to the files

#ifndef _WIN32
struct Measured {
    int status = -1;
    double cpuSeconds = 0;  // user + system time of the program
    double wallSeconds = 0;
    double peakMegabytes = 0; // its largest resident set
    std::string err;
};

// Starts the programs for the measurements. A started program's peak memory
// counts the memory of the process that started it, so this small process is
// forked before the test makes any input, starts each program itself and
// collects it with wait4, which gives that one program's peak and time.
class Launcher {
public:
    Launcher()
    {
        int requests[2];
        int replies[2];
        if (pipe(requests) != 0 || pipe(replies) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(requests[1]);
            close(replies[0]);
            serve(requests[0], replies[1]);
            _exit(0);
        }
        close(requests[0]);
        close(replies[1]);
        requests_ = requests[1];
        replies_ = replies[0];
    }
    ~Launcher()
    {
        close(requests_);
        close(replies_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    // Runs `program walk.lws walk.lwo` in `dir`; its stderr goes to dir/stderr.txt.
    Measured run(const std::string& program, const fs::path& dir)
    {
        const fs::path path = program == "meshconv" ? meshconvPath() : animconvPath();
        writeLine(requests_, path.string() + "\n" + dir.string());
        Measured measured;
        std::istringstream reply(readLine(replies_));
        long peakKilobytes = 0;
        reply >> measured.status >> measured.cpuSeconds >> measured.wallSeconds >> peakKilobytes;
        measured.peakMegabytes = static_cast<double>(peakKilobytes) / 1024.0;
        measured.err = readFile(dir / "stderr.txt");
        return measured;
    }

private:
    static void writeLine(int fd, const std::string& text)
    {
        const std::string line = text + "\n";
        for (std::size_t done = 0; done < line.size();) {
            const ssize_t wrote = write(fd, line.data() + done, line.size() - done);
            if (wrote <= 0) return;
            done += static_cast<std::size_t>(wrote);
        }
    }
    static std::string readLine(int fd)
    {
        std::string line;
        char c = 0;
        while (read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
        return line;
    }
    static void serve(int requests, int replies)
    {
        for (;;) {
            const std::string program = readLine(requests);
            const std::string dir = readLine(requests);
            if (program.empty()) return;
            const auto start = std::chrono::steady_clock::now();
            const pid_t child = fork();
            if (child == 0) {
                const std::string err = dir + "/stderr.txt";
                if (chdir(dir.c_str()) != 0) _exit(126);
                dup2(open("/dev/null", O_WRONLY), 1);
                dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
                execl(program.c_str(), program.c_str(), "walk.lws", "walk.lwo", static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            rusage usage{};
            wait4(child, &status, 0, &usage);
            const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
            const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            std::ostringstream reply;
            reply << (WIFEXITED(status) ? WEXITSTATUS(status) : -1) << ' ' << cpu << ' ' << wall.count() << ' '
                  << usage.ru_maxrss;
            writeLine(replies, reply.str());
        }
    }

    pid_t pid_ = -1;
    int requests_ = -1;
    int replies_ = -1;
};

struct BoundCase {
    std::string name;
    std::string program;
    std::string scene;
    Bytes object;
    double frames = 0;  // animconv: the frames it samples
    double samples = 0; // animconv: frames times bones
    int status = 0;
    double bones = 0;
};

// Each case is made only when it runs: the program's peak memory counts the
// memory of the process that starts it, so the test keeps itself small.
std::vector<std::function<BoundCase()>> boundCases()
{
    // Every bone names the one weight map, whose entries all weight point 0.
    auto sharedWeightMap = [] {
        std::string scene = "PreviewLastFrame 0\r\nFramesPerSecond 24\r\n";
        for (int i = 0; i < 3000; ++i) {
            scene += "AddBone\r\nBoneName b" + std::to_string(i) + "\r\nBoneWeightMapName w\r\n";
        }
        const std::vector<WeightEntry> entries(3000, WeightEntry{0, 1.0f});
        return BoundCase{"3000 bones sharing a weight map of 3000 entries", "meshconv", scene,
                         form("LWO2", {pntsChunk(kSquare), polsChunk({{0, 1, 2}}), weightMapChunk("w", entries)})};
    };
    auto bareBones = [](const std::string& program) {
        std::string scene = "PreviewLastFrame 0\r\nFramesPerSecond 24\r\n";
        for (int i = 0; i < 200'000; ++i) scene += "AddBone\r\n";
        return BoundCase{"200,000 bare AddBone lines", program, scene, goodObject(), 1, 200'000, 0, 200'000};
    };
    auto hugeKeyCount = [] {
        return BoundCase{"a key count of 2,000,000,000", "animconv",
                         replacedAfter(goodScene(), "AddBone", "\r\n  1\r\n", "\r\n  2000000000\r\n"), goodObject(),
                         3, 3};
    };
    auto millionFrames = [] {
        return BoundCase{"a million frames of one bone", "animconv", sceneOf({rootBone()}, 0, 999'999), goodObject(),
                         1e6, 1e6};
    };
    auto unsortedKeys = [] {
        // Keys in ascending time but for the last two, so the evaluator
        // cannot bisect and every sample walks the keys from the first.
        ChannelSpec unsorted;
        for (int k = 0; k < 60'000; ++k) {
            unsorted.keys.push_back({static_cast<float>(k % 7), static_cast<float>(k) / 24});
        }
        unsorted.keys.push_back({1, 1e9f});
        unsorted.keys.push_back({2, 1e6f});
        BoneSpec root = rootBone();
        root.channels[0] = unsorted;
        return BoundCase{"60,000 unsorted keys sampled at 300,000 frames", "animconv", sceneOf({root}, 0, 299'999),
                         goodObject(), 3e5, 3e5};
    };
    return {sharedWeightMap, [=] { return bareBones("meshconv"); }, [=] { return bareBones("animconv"); },
            hugeKeyCount, millionFrames, unsortedKeys};
}

// What the README promises: about 40 bytes per scene key line, 10 per object
// byte and 40 per joint sample, plus a few megabytes. Checked here as 40
// bytes per scene byte (far more lenient: a key line is 20 bytes or more) and
// 24 bytes per frame for its bounding box, which the README leaves out. Time:
// one second plus 2 microseconds per joint sample and 1 per input byte, about
// three times what a plain run of each needs. Sanitizers get three times both.
TEST(HostileInputBounds, MemoryAndTimeStayInProportionToTheFiles)
{
    const double slack = kSanitized ? 3.0 : 1.0;
    Launcher launcher;
    TempDir base;
    base.write("walk.lws", goodScene());
    base.write("walk.lwo", goodObject());
    const Measured baseline = launcher.run("animconv", base.path());
    ASSERT_EQ(baseline.status, 0) << baseline.err;
    std::cout << "      a small animation: " << baseline.peakMegabytes << " MB, " << baseline.cpuSeconds << " s CPU\n";

    for (const auto& make : boundCases()) {
        BoundCase c = make();
        SCOPED_TRACE(c.name + ", " + c.program);
        TempDir dir;
        dir.write("walk.lws", c.scene);
        dir.write("walk.lwo", c.object);
        const double sceneBytes = static_cast<double>(c.scene.size());
        const double objectBytes = static_cast<double>(c.object.size());
        c.scene = std::string();
        c.object = Bytes();
        const Measured run = launcher.run(c.program, dir.path());
        EXPECT_EQ(run.status, c.status) << run.err.substr(0, 2000);
        const double allowedMegabytes =
            baseline.peakMegabytes + 16 +
            slack * (40.0 * sceneBytes + 750.0 * c.bones + 10.0 * objectBytes + 40.0 * c.samples + 24.0 * c.frames) / (1024 * 1024);
        const double allowedSeconds = slack * (1 + 2e-6 * c.samples + 1e-6 * (sceneBytes + objectBytes));
        std::cout << "      " << c.name << ", " << c.program << ": " << run.peakMegabytes << " MB (allowed "
                  << allowedMegabytes << "), " << run.cpuSeconds << " s CPU, " << run.wallSeconds << " s (allowed "
                  << allowedSeconds << " s CPU)\n";
        EXPECT_LE(run.peakMegabytes, allowedMegabytes);
        EXPECT_LE(run.cpuSeconds, allowedSeconds);
    }
}
#endif

} // namespace
} // namespace lwmd5
