#include "bench_case.h"

#include "lwo_builder.h"
#include "scene_builder.h"

#include <cmath>
#include <string>
#include <vector>

namespace lwmd5::authoring {

namespace {



constexpr double kPi = 3.14159265358979323846;

std::string boneName(int b)
{
    return "bone" + std::to_string(b);
}

// A tube standing on the ground, rings from bottom to top.
Bytes makeObject(const BenchCaseSize& size)
{
    const int pointCount = size.rings * size.around;
    std::vector<Point> points;
    points.reserve(static_cast<std::size_t>(pointCount));
    const double height = 2.0;
    for (int r = 0; r < size.rings; ++r) {
        const double y = height * r / (size.rings - 1);
        const double radius = 0.2 + 0.05 * std::sin(y * 6.0);
        for (int a = 0; a < size.around; ++a) {
            const double angle = 2.0 * kPi * a / size.around;
            points.push_back({static_cast<float>(radius * std::cos(angle)), static_cast<float>(y),
                              static_cast<float>(radius * std::sin(angle))});
        }
    }
    auto index = [&](int r, int a) { return static_cast<std::uint32_t>(r * size.around + (a % size.around)); };

    std::vector<std::vector<std::uint32_t>> polygons;
    for (int r = 0; r + 1 < size.rings; ++r) {
        for (int a = 0; a < size.around; ++a) {
            polygons.push_back({index(r, a), index(r + 1, a), index(r + 1, a + 1)});
            polygons.push_back({index(r, a), index(r + 1, a + 1), index(r, a + 1)});
        }
    }
    // Caps as fans of triangles over each end ring.
    for (const int r : {0, size.rings - 1}) {
        for (int a = 1; a + 1 < size.around; ++a) polygons.push_back({index(r, 0), index(r, a + 1), index(r, a)});
    }

    std::vector<UvEntry> uvs;
    uvs.reserve(points.size());
    for (int r = 0; r < size.rings; ++r) {
        for (int a = 0; a < size.around; ++a) {
            uvs.push_back({index(r, a), static_cast<float>(a) / size.around, static_cast<float>(r) / (size.rings - 1)});
        }
    }
    // The seam: the last column of quads wraps to u = 0; give those corners u = 1.
    // About every 20th point gets such a fix on one polygon.
    std::vector<UvFixEntry> fixes;
    for (int r = 0; r + 1 < size.rings; ++r) {
        const std::uint32_t polygon = static_cast<std::uint32_t>((r * size.around + size.around - 1) * 2);
        if ((r * size.around) % 20 < size.around) {
            fixes.push_back({index(r + 1, 0), polygon, 1.0f, static_cast<float>(r + 1) / (size.rings - 1)});
        }
        for (int a = r % 20; a < size.around; a += 20) {
            if (a == 0) continue;
            const std::uint32_t inner = static_cast<std::uint32_t>((r * size.around + a) * 2);
            fixes.push_back({index(r, a), inner, static_cast<float>(a) / size.around + 0.001f,
                             static_cast<float>(r) / (size.rings - 1)});
        }
    }

    // Three weights per point: the bone of the point's height band and the
    // next two, blended 0.6 / 0.3 / 0.1.
    std::vector<std::vector<WeightEntry>> weights(static_cast<std::size_t>(size.bones));
    for (int r = 0; r < size.rings; ++r) {
        const int band = r * (size.bones - 2) / size.rings;
        for (int a = 0; a < size.around; ++a) {
            const std::uint32_t p = index(r, a);
            weights[static_cast<std::size_t>(band)].push_back({p, 0.6f});
            weights[static_cast<std::size_t>(band + 1)].push_back({p, 0.3f});
            weights[static_cast<std::size_t>(band + 2)].push_back({p, 0.1f});
        }
    }

    std::vector<Bytes> chunks;
    chunks.push_back(tagsChunk({"Body"}));
    chunks.push_back(layrChunk(0, "body"));
    chunks.push_back(pntsChunk(points));
    chunks.push_back(uvMapChunk("Texture", uvs));
    for (int b = 0; b < size.bones; ++b) chunks.push_back(weightMapChunk(boneName(b), weights[static_cast<std::size_t>(b)]));
    chunks.push_back(polsChunk(polygons));
    std::vector<std::pair<std::uint32_t, std::uint16_t>> tags;
    tags.reserve(polygons.size());
    for (std::size_t i = 0; i < polygons.size(); ++i) tags.push_back({static_cast<std::uint32_t>(i), 0});
    chunks.push_back(ptagChunk("SURF", tags));
    chunks.push_back(uvFixMapChunk("Texture", fixes));
    chunks.push_back(surfChunk("Body"));
    return form("LWO2", chunks);
}

// One key per frame; most channels TCB, some linear, a few of every other
// shape; the position channels of most bones stay at the rest offset.
ChannelSpec makeChannel(int bone, int channel, const BenchCaseSize& size, float restValue)
{
    ChannelSpec envelope;
    envelope.keys.reserve(static_cast<std::size_t>(size.frames));
    const bool angle = channel >= 3 && channel <= 5;
    const bool scale = channel >= 6;
    const int shape = (bone + channel) % 7 == 0 ? (bone + channel) % 6 : ((bone + channel) % 3 == 0 ? 3 : 0);
    for (int f = 0; f < size.frames; ++f) {
        KeySpec key;
        key.time = static_cast<float>(f) / 30.0f;
        const double phase = 2.0 * kPi * f / 60.0 + bone * 0.37 + channel;
        if (angle) {
            key.value = static_cast<float>(0.4 * std::sin(phase));
        } else if (scale) {
            key.value = 1.0f;
        } else {
            key.value = restValue + static_cast<float>(0.02 * std::sin(phase));
        }
        key.shape = shape;
        key.tension = shape == 0 ? 0.2f : 0.0f;
        key.params[0] = shape == 5 ? -0.01f : 0.1f;
        key.params[1] = 0.05f;
        key.params[2] = 0.01f;
        envelope.keys.push_back(key);
    }
    envelope.preBehavior = 1;
    envelope.postBehavior = (bone % 3 == 0) ? 2 : 1;
    return envelope;
}

std::string makeScene(const BenchCaseSize& size, const std::string& objectFile)
{
    SceneTextBuilder scene;
    scene.header(0, size.frames - 1, 30, objectFile);
    const double segment = 2.0 / size.bones;
    for (int b = 0; b < size.bones; ++b) {
        BoneSpec bone;
        bone.name = boneName(b);
        bone.weightMapName = boneName(b);
        // A tree: every bone hangs off the one three places before it, so
        // the root has three chains of children.
        bone.parentBone = b < 3 ? (b == 0 ? -1 : 0) : b - 3;
        const float along = b == 0 ? 0.0f : static_cast<float>(segment * 3.0);
        bone.restPosition = {0.0f, b == 0 ? 0.0f : 0.0f, along};
        bone.restDirection = {0.0f, b == 0 ? -90.0f : 0.0f, 0.0f};
        bone.restLength = static_cast<float>(segment);
        for (int c = 0; c < 9; ++c) {
            bone.channels[static_cast<std::size_t>(c)] =
                makeChannel(b, c, size, c < 3 ? bone.restPosition[static_cast<std::size_t>(c)] : 0.0f);
        }
        scene.bone(bone);
    }
    return scene.text();
}

} // namespace

BenchCase makeBenchCase(const BenchCaseSize& size, const std::string& objectFile)
{
    return {makeScene(size, objectFile), makeObject(size)};
}

} // namespace lwmd5::authoring
