// Writes the fuzzers' seed corpora: small objects and scenes that reach every
// chunk kind, index form, polygon size, envelope shape and behaviour the
// readers know, plus the example character when it is in the tree.
//
//   make_fuzz_seeds <folder> [<examples folder>]
//
// makes <folder>/{lwo_reader,scene_reader,meshconv,animconv,md5_reader}/ and
// one file per seed in each. The pipeline seeds are checked to convert, so the fuzzers
// start from inputs that reach the stages and the writers.

#include "app/conversion.h"
#include "fuzz_input.h"
#include "lwo_builder.h"
#include "platform/report.h"
#include "scene_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace lwmd5::authoring;

namespace {

struct NamedObject {
    std::string name;
    Bytes bytes;
};

struct NamedScene {
    std::string name;
    std::string text;
};

Bytes triangleObject(bool longIndices)
{
    const std::vector<Point> points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    return form("LWO2", {
                            tagsChunk({"Skin", "Cloth"}),
                            layrChunk(0, "body"),
                            pntsChunk(points),
                            chunk("BBOX", ByteWriter().f32(0).f32(0).f32(0).f32(1).f32(1).f32(1).take()),
                            uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {3, 0.5f, 0.5f}, {4, 1, 1}},
                                       longIndices),
                            weightMapChunk("root", {{0, 1}, {1, 1}, {2, 0.5f}, {3, 0}}, longIndices),
                            weightMapChunk("arm", {{2, 0.5f}, {3, 1}, {4, 1}}, longIndices),
                            polsChunk({{0, 1, 2}, {1, 3, 2}, {2, 3, 4}}, "FACE", 0, longIndices),
                            ptagChunk("SURF", {{0, 0}, {1, 0}, {2, 1}}),
                            uvFixMapChunk("uv", {{2, 1, 0.25f, 0.75f}, {3, 2, 0.5f, 0.5f}}, longIndices),
                            surfChunk("Skin", ""),
                            surfChunk("Cloth", "Skin"),
                        });
}

Bytes polygonKindsObject()
{
    const std::vector<Point> points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 2, 0}, {2, 2, 2}};
    return form("LWO2", {
                            pntsChunk(points),
                            uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 1}}),
                            weightMapChunk("root", {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}),
                            // quad, pentagon, line, single point, triangle with flag bits
                            polsChunk({{0, 1, 2, 3}, {0, 1, 2, 4, 3}, {0, 5}, {5}}),
                            polsChunk({{0, 1, 2}}, "FACE", 0x3F),
                            uvFixMapChunk("uv", {{0, 0, 0.1f, 0.2f}, {4, 1, 0.3f, 0.4f}, {5, 2, 0, 0}}),
                            surfChunk("Default"),
                        });
}

Bytes twoLayerObject()
{
    return form("LWO2", {
                            layrChunk(0, "first"),
                            pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                            polsChunk({{0, 1, 2}}),
                            uvMapChunk("uv", {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}}),
                            layrChunk(1, "second"),
                            pntsChunk({{0, 0, 2}, {1, 0, 2}, {0, 1, 2}, {1, 1, 2}}),
                            polsChunk({{0, 1, 2}, {1, 3, 2}}),
                            polsChunk({{0, 1, 3}}), // a second FACE chunk of the layer
                            weightMapChunk("root", {{0, 1}, {1, 1}, {2, 1}, {3, 1}}),
                            uvFixMapChunk("uv", {{1, 0, 0.5f, 0.5f}}),
                            surfChunk("Layered"),
                        });
}

// Chunks and sub-types the reader steps over, maps of unusual dimensions and
// polygons before any point set.
Bytes skippedChunksObject()
{
    return form("LWO2", {
                            polsChunk({{0, 1, 2}}), // before any PNTS
                            chunk("CLIP", ByteWriter().u32(1).id("STIL").u16(6).name("a.png").take()),
                            pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}),
                            polsChunk({{0, 1, 2, 3}}, "PTCH"),
                            polsChunk({{0, 1, 2}, {2, 1, 3}}),
                            ptagChunk("PART", {{0, 0}}),
                            ptagChunk("SMGP", {{0, 0}}),
                            vertexMapChunk("VMAP", "MORF", 3, "morph", {0, 1}, {0, 0, 1, 0, 1, 0}),
                            vertexMapChunk("VMAP", "PICK", 0, "pick", {0, 1}, {}),
                            vertexMapChunk("VMAP", "TXUV", 3, "uv3", {0, 1}, {0, 0, 0, 1, 1, 1}),
                            vertexMapChunk("VMAP", "WGHT", 0, "w0", {0, 1}, {}),
                            vertexMapChunk("VMAD", "RGBA", 4, "color", {0}, {1, 1, 1, 1}),
                            vertexMapChunk("VMAP", "TXUV", 2, "", {0, 1, 2, 3}, {0, 0, 1, 0, 0, 1, 1, 1}),
                            vertexMapChunk("VMAP", "WGHT", 1, "odd", {0, 3, 9}, {1, 1, 1}),
                            surfChunk(""),
                        });
}

// An LWO3 object: the surface is a nested FORM.
Bytes lwo3Object()
{
    const Bytes surface = chunk("FORM", ByteWriter()
                                            .id("SURF")
                                            .raw(chunk("    ", ByteWriter().name("Metal").take()))
                                            .raw(chunk("SMAN", ByteWriter().f32(1).take()))
                                            .take());
    return form("LWO3", {
                            pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                            polsChunk({{0, 1, 2}}),
                            weightMapChunk("root", {{0, 1}, {1, 1}, {2, 1}}),
                            surface,
                            chunk("FORM", ByteWriter().id("CLIP").raw(chunk("STIL", {})).take()),
                        });
}

std::vector<NamedObject> builtObjects()
{
    return {
        {"triangles", triangleObject(false)},
        {"long_indices", triangleObject(true)},
        {"polygon_kinds", polygonKindsObject()},
        {"two_layers", twoLayerObject()},
        {"skipped_chunks", skippedChunksObject()},
        {"lwo3", lwo3Object()},
        {"lwob", form("LWOB", {pntsChunk({{0, 0, 0}})})},
        {"nested_form", form("LWO2", {form("LWO2", {pntsChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                    polsChunk({{0, 1, 2}})})})},
    };
}

// One key per shape code, in ascending time, with parameters that matter to
// the shape.
ChannelSpec shapedChannel(int shape, int pre, int post, float scale)
{
    ChannelSpec channel;
    channel.preBehavior = pre;
    channel.postBehavior = post;
    const float times[] = {0.0f, 0.1f, 0.25f, 0.3f};
    const float values[] = {0.0f, 1.0f, -0.5f, 0.25f};
    for (int k = 0; k < 4; ++k) {
        KeySpec key;
        key.time = times[k];
        key.value = values[k] * scale;
        key.shape = shape;
        key.tension = 0.25f * static_cast<float>(k % 3) - 0.25f;
        key.continuity = 0.5f - 0.25f * static_cast<float>(k);
        key.bias = 0.1f * static_cast<float>(k);
        key.params[0] = -0.05f;
        key.params[1] = 0.2f;
        key.params[2] = 0.05f;
        channel.keys.push_back(key);
    }
    return channel;
}

ChannelSpecs animatedChannels(int shapeBase, int behaviorBase)
{
    ChannelSpecs channels = restChannels();
    for (int c = 0; c < 6; ++c) {
        const int shape = (shapeBase + c) % 6;
        const int pre = (behaviorBase + c) % 6;
        const int post = (behaviorBase + c + 3) % 6;
        channels[static_cast<std::size_t>(c)] = shapedChannel(shape, pre, post, c < 3 ? 1.0f : 0.5f);
    }
    return channels;
}

std::string skeletonScene(int firstFrame, int lastFrame, int shapeBase, const std::string& lineEnd)
{
    SceneTextBuilder scene(lineEnd);
    scene.header(firstFrame, lastFrame, 24, "character.lwo");
    BoneSpec root;
    root.name = "root";
    root.weightMapName = "root";
    root.restDirection = {0, 90, 0};
    root.channels = animatedChannels(shapeBase, 0);
    scene.bone(root);
    BoneSpec arm;
    arm.name = "arm";
    arm.weightMapName = "arm";
    arm.parentBone = 0;
    arm.restPosition = {0, 1, 0.5f};
    arm.restDirection = {30, -20, 10};
    arm.channels = animatedChannels(shapeBase + 3, 2);
    scene.bone(arm);
    BoneSpec hand;
    hand.name = "hand";
    hand.weightMapName = "missing";
    hand.parentBone = 1;
    hand.restPosition = {0, 0.5f, 0};
    scene.bone(hand);
    scene.nullObject("1 Target", animatedChannels(1, 4), 0x10000000u);
    scene.nullObject("2 Null", restChannels(1, 2, 3), 0x10000001u);
    scene.line("AddLight");
    scene.line("LightName Light");
    scene.line("NumChannels 9");
    scene.channelBlock(restChannels());
    scene.line("ParentItem 40000000");
    return scene.text();
}

std::string oddSkeletonScene()
{
    SceneTextBuilder scene;
    scene.header(-3, 2, 30, "character.lwo");
    BoneSpec selfParent;
    selfParent.name = "self";
    selfParent.weightMapName = "root";
    selfParent.parentBone = 0;
    scene.bone(selfParent);
    BoneSpec second;
    second.name = "second";
    second.weightMapName = "root";
    second.parentBone = 4095; // beyond the list: a root
    scene.bone(second);
    BoneSpec duplicate;
    duplicate.name = "self";
    duplicate.parentBone = 1;
    duplicate.channels[3].keys.push_back({0.5f, -0.1f, 4, 0, 0, 0, {0, 0, 0}}); // time before the first key
    scene.bone(duplicate);
    scene.line("BoneName");
    scene.line("NumChannels 3");
    return scene.text();
}

std::string cycleScene()
{
    SceneTextBuilder scene;
    scene.header(0, 1, 24, "character.lwo");
    for (int i = 0; i < 3; ++i) {
        BoneSpec bone;
        bone.name = "b" + std::to_string(i);
        bone.parentBone = (i + 1) % 3;
        scene.bone(bone);
    }
    return scene.text();
}

std::vector<NamedScene> builtScenes()
{
    return {
        {"skeleton", skeletonScene(0, 6, 0, "\r\n")},
        {"skeleton_shapes", skeletonScene(-2, 4, 2, "\r\n")},
        {"skeleton_lf", skeletonScene(1, 3, 4, "\n")},
        {"odd_skeleton", oddSkeletonScene()},
        {"cycle", cycleScene()},
        {"no_bones", SceneTextBuilder().header(0, 2, 24, "x.lwo").text()},
    };
}

// A model and an animation of two joints that use comments, partial flags,
// a start index past the first joint's and a second mesh, for the md5 reader.
const char* const kSmallMd5Model = "MD5Version 10 // two joints\ncommandline \"seed\"\nnumJoints 2\nnumMeshes 2\n"
                                   "joints {\n\t\"root\"\t-1 ( 0 0 0 ) ( -0.7071068 0 0 )\n"
                                   "\t\"arm\"\t0 ( 0 0 1 ) ( 0 0 0 )\n}\n"
                                   "mesh {\n\tshader \"a\"\n\tnumverts 3\n\tvert 0 ( 0 0 ) 0 1\n"
                                   "\tvert 1 ( 1 0 ) 1 2\n\tvert 2 ( 0 1 ) 0 1\n\tnumtris 1\n\ttri 0 0 1 2\n"
                                   "\tnumweights 3\n\tweight 0 0 1 ( 0 0 0 )\n\tweight 1 0 0.5 ( 1 0 0 )\n"
                                   "\tweight 2 1 0.5 ( 0 0 1 )\n}\n"
                                   "mesh {\n\tshader \"b\"\n\tnumverts 1\n\tvert 0 ( 0 0 ) 0 1\n\tnumtris 0\n"
                                   "\tnumweights 1\n\tweight 0 1 1 ( 0.5 0.5 0.5 )\n}\n";
const char* const kSmallMd5Anim = "MD5Version 10\ncommandline \"\"\nnumFrames 2\nnumJoints 2\nframeRate 24\n"
                                  "numAnimatedComponents 4\nhierarchy {\n\t\"root\"\t-1 1 0\n\t\"arm\"\t0 56 1\n}\n"
                                  "bounds {\n\t( 0 0 0 ) ( 1 1 1 )\n\t( 0 0 0 ) ( 2 1 1 )\n}\n"
                                  "baseframe {\n\t( 0 0 0 ) ( -0.7071068 0 0 )\n\t( 0 0 1 ) ( 0 0 0 )\n}\n"
                                  "frame 0 {\n\t0 0 0 0\n}\nframe 1 {\n\t1 0.1 0.2 0.3\n}\n";

bool readBytes(const fs::path& path, Bytes& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void writeSeed(const fs::path& folder, const std::string& name, const std::string& bytes)
{
    std::ofstream out(folder / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", (folder / name).string().c_str());
        std::exit(1);
    }
}

std::string asText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// True when the program itself converts the pair.
bool converts(const std::string& scene, const Bytes& object, bool animation)
{
    lwmd5::SilentReporter report;
    const lwmd5::Program program = animation ? lwmd5::Program::AnimationConverter : lwmd5::Program::MeshConverter;
    const lwmd5::ConversionOptions options;
    const std::optional<lwmd5::ConversionInputs> inputs =
        lwmd5::parseInputs(program, scene, object, "seed.lws", "seed.lwo", options, report);
    return inputs && lwmd5::convert(program, *inputs, options, lwmd5::RunLimits{}, report);
}

// Each model alone, each animation alone, and each pair joined by the
// separator the md5 reader's fuzz target splits at.
void writeMd5Seeds(const fs::path& folder, const fs::path& examples)
{
    fs::create_directories(folder);
    std::vector<std::pair<std::string, std::string>> pairs = {{kSmallMd5Model, kSmallMd5Anim}};
    Bytes mesh, anim;
    if (readBytes(examples / "character.md5mesh", mesh) && readBytes(examples / "character.md5anim", anim)) {
        pairs.emplace_back(asText(mesh), asText(anim));
    }
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const std::string name = i == 0 ? "small" : "example";
        writeSeed(folder, name + ".md5mesh", pairs[i].first);
        writeSeed(folder, name + ".md5anim", pairs[i].second);
        writeSeed(folder, name + ".pair", pairs[i].first + "\n=ANIM=\n" + pairs[i].second);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string first = argc >= 2 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::printf("usage: %s FOLDER [EXAMPLES]\n"
                    "Writes the fuzzers' seed corpora: FOLDER/lwo_reader, scene_reader, meshconv and\n"
                    "animconv, one file per seed; the meshconv and animconv seeds pair every scene\n"
                    "with every object, and the count of pairs that convert is printed (none\n"
                    "converting is an error). The example character in EXAMPLES (default\n"
                    "%s) is added when it is there. .ci/fuzz.sh runs this\n"
                    "before the fuzzers.\n",
                    argv[0], LWMD5_EXAMPLES_DIR);
        return 0;
    }
    // A folder whose name begins with a dash is given as ./-name.
    if (argc < 2 || argc > 3 || first.starts_with('-')) {
        std::fprintf(stderr, "usage: %s FOLDER [EXAMPLES]   (--help tells more)\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const fs::path examples = argc == 3 ? fs::path(argv[2]) : fs::path(LWMD5_EXAMPLES_DIR);
    const fs::path lwoDir = root / "lwo_reader";
    const fs::path sceneDir = root / "scene_reader";
    const fs::path meshDir = root / "meshconv";
    const fs::path animDir = root / "animconv";
    for (const fs::path& dir : {lwoDir, sceneDir, meshDir, animDir}) fs::create_directories(dir);

    std::vector<NamedObject> objects = builtObjects();
    std::vector<NamedScene> scenes = builtScenes();
    NamedScene exampleScene;
    NamedObject exampleObject;
    Bytes bytes;
    const bool haveExample = readBytes(examples / "character.lws", bytes);
    if (haveExample) {
        exampleScene = {"example", asText(bytes)};
        if (!readBytes(examples / "character.lwo", exampleObject.bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: %s has no character.lwo\n", examples.string().c_str());
            return 1;
        }
        exampleObject.name = "example";
        scenes.push_back(exampleScene);
        objects.push_back(exampleObject);
    } else {
        std::printf("make_fuzz_seeds: no example character in %s; built seeds only\n", examples.string().c_str());
    }

    for (const NamedObject& object : objects) writeSeed(lwoDir, object.name + ".lwo", asText(object.bytes));
    for (const NamedScene& scene : scenes) writeSeed(sceneDir, scene.name + ".lws", scene.text);
    writeMd5Seeds(root / "md5_reader", examples);

    // Every scene with every object, for both programs; in turn without
    // options, with a scale, and for each engine.
    const std::string separator(lwmd5::fuzz::kObjectSeparator);
    const std::string optionLines[] = {"", std::string(lwmd5::fuzz::kScalePrefix) + "0.5\r\n", "#engine doom3\r\n",
                                       "#engine bfg\r\n#max-weights 2\r\n#shader-prefix models/\r\n"};
    int pairs = 0;
    int converting[2] = {0, 0};
    for (const NamedScene& scene : scenes) {
        for (const NamedObject& object : objects) {
            const std::string sceneText = optionLines[pairs % std::size(optionLines)] + scene.text;
            const std::string input = sceneText + separator + asText(object.bytes);
            const std::string name = scene.name + "+" + object.name;
            writeSeed(meshDir, name, input);
            writeSeed(animDir, name, input);
            converting[0] += converts(sceneText, object.bytes, false) ? 1 : 0;
            converting[1] += converts(sceneText, object.bytes, true) ? 1 : 0;
            ++pairs;
        }
    }
    std::printf("make_fuzz_seeds: %zu objects, %zu scenes, %d pairs (%d convert in meshconv, %d in animconv)%s\n",
                objects.size(), scenes.size(), pairs, converting[0], converting[1],
                haveExample ? ", example character included" : "");
    // The built skeleton scenes with the triangle objects must reach the
    // stages; if they stop converting, the corpora lose their depth.
    if (converting[0] == 0 || converting[1] == 0) {
        std::fprintf(stderr, "make_fuzz_seeds: no seed pair converts; the seeds are broken\n");
        return 1;
    }
    return 0;
}
