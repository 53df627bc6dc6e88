// Writes the bundled example character: character.lwo (LWO2) and
// character.lws (CR LF), both into the folder given as the only argument
// (the current folder when there is none).
//
// The character is a small walker made of vertical tubes (torso, head, two
// arms, two legs) on a thirteen-bone skeleton. It is built to exercise the
// whole pipeline the way a real rig does:
//   - chains five levels deep, two bones without weight maps, and forearm_L
//     listed before its parent upperarm_L;
//   - one UV map whose seam (where u would wrap from u1 back to u0) is mended
//     per polygon by a VMAD map of the same name;
//   - every point weighted by two or three bones; the weight maps also hold
//     entries of exactly 0 for the chain's other points, as rigs often do;
//   - TAGS, LAYR, PTAG SURF and SURF chunks in the order LightWave writes
//     them;
//   - a two-second walk at 30 fps whose channels use every key shape (TCB,
//     Hermite, 1D Bezier, linear, stepped, 2D Bezier) and the repeat,
//     oscillate, offset-repeat, linear and constant behaviours.
//
// Everything is computed from fixed tables, without trigonometry of the
// platform's library, so the generator writes the same bytes everywhere.

#include "lwo_builder.h"
#include "scene_builder.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace lwmd5::authoring;

// ---------------------------------------------------------------- skeleton

enum BoneId {
    Origin, Ground, Pelvis, Spine, Head, ForearmL, UpperarmL, UpperarmR, ForearmR, ThighL, ShinL, ThighR, ShinR,
    BoneCount
};

struct BoneRow {
    const char* name;
    int parent;                     // file number of the parent bone, -1 for the root
    std::array<float, 3> position;  // relative to the parent, in its space
    std::array<float, 3> direction; // heading, pitch, bank in degrees
    float length;
    bool weighted;                  // has a weight map of its own name
};

// File order. The converters place a root at its rest position without the
// turn they give the mesh, so the root stands at the origin; and they add 90
// degrees of heading to the second joint of the list, so that joint is
// `ground`, a leaf without weights that tracks the character over the floor.
// Root, ground and hips point forward (+z, a new bone's direction), so the
// hips' space is the scene's; the spine points up (pitch -90: its x is x, y
// is -z, z is up), the legs down (pitch 90), the arms out (heading +-90, the
// bind pose is a T). Limbs are banked (twisted about their own axis, which
// leaves their children on it), as rigs are. md5 files keep x, y, z of each
// unit quaternion and engines recover w from them; near a half turn w is
// close to 0 and six decimals lose it, so no joint turns close to 180 degrees
// from its parent, and the head is not banked (pointing up, its rotation in
// model space is an exact half turn, which prints exactly).
const BoneRow kBones[BoneCount] = {
    {"origin", -1, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.3f, false},
    {"ground", Origin, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.3f, false},
    {"pelvis", Origin, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 0.15f, true},
    {"spine", Pelvis, {0.0f, 0.15f, 0.0f}, {0.0f, -90.0f, 0.0f}, 0.35f, true},
    {"head", Spine, {0.0f, 0.0f, 0.43f}, {0.0f, 0.0f, 0.0f}, 0.25f, true},
    {"forearm_L", UpperarmL, {0.0f, 0.0f, 0.3f}, {0.0f, 0.0f, 40.0f}, 0.3f, true},
    {"upperarm_L", Spine, {0.25f, 0.0f, 0.35f}, {90.0f, 0.0f, 25.0f}, 0.3f, true},
    {"upperarm_R", Spine, {-0.25f, 0.0f, 0.35f}, {-90.0f, 0.0f, -25.0f}, 0.3f, true},
    {"forearm_R", UpperarmR, {0.0f, 0.0f, 0.3f}, {0.0f, 0.0f, -40.0f}, 0.3f, true},
    {"thigh_L", Pelvis, {0.1f, -0.05f, 0.0f}, {0.0f, 90.0f, 12.0f}, 0.45f, true},
    {"shin_L", ThighL, {0.0f, 0.0f, 0.45f}, {0.0f, 0.0f, -30.0f}, 0.45f, true},
    {"thigh_R", Pelvis, {-0.1f, -0.05f, 0.0f}, {0.0f, 90.0f, -12.0f}, 0.45f, true},
    {"shin_R", ThighR, {0.0f, 0.0f, 0.45f}, {0.0f, 0.0f, 30.0f}, 0.45f, true},
};

// ---------------------------------------------------------------- geometry

constexpr int kSides = 12;

// cos and sin of 30-degree steps.
constexpr float kHalfRoot3 = 0.8660254f;
const float kCircle[kSides][2] = {
    {1.0f, 0.0f},        {kHalfRoot3, 0.5f},   {0.5f, kHalfRoot3},   {0.0f, 1.0f},
    {-0.5f, kHalfRoot3}, {-kHalfRoot3, 0.5f},  {-1.0f, 0.0f},        {-kHalfRoot3, -0.5f},
    {-0.5f, -kHalfRoot3}, {0.0f, -1.0f},       {0.5f, -kHalfRoot3},  {kHalfRoot3, -0.5f},
};

struct Ring {
    float at;         // position along the tube's axis
    float radius;
    float weights[3]; // for the tube's chain of bones, in chain order
};

struct Tube {
    float centre;             // x of a vertical tube, y of a horizontal one
    int axis;                 // 0: rings along y; +1 or -1: along +x or -x
    std::array<int, 3> chain; // bones weighting the tube; -1 for none
    const std::vector<Ring>& rings;
    float u0, u1, v0, v1;     // its rectangle in the UV map; the first ring gets v1
};

// Ring tables: position, radius and the weights of the chain's bones. Every
// ring has two or three non-zero weights; the zeros are written too.
const std::vector<Ring> kTorso = {
    {1.55f, 0.12f, {0.0f, 0.8f, 0.3f}},  {1.46f, 0.18f, {0.0f, 1.0f, 0.1f}},  {1.36f, 0.17f, {0.05f, 1.0f, 0.0f}},
    {1.26f, 0.15f, {0.1f, 1.0f, 0.0f}},  {1.16f, 0.14f, {0.3f, 0.8f, 0.0f}},  {1.08f, 0.15f, {0.6f, 0.5f, 0.0f}},
    {1.0f, 0.16f, {0.9f, 0.3f, 0.0f}},   {0.92f, 0.15f, {1.0f, 0.2f, 0.0f}},
};
const std::vector<Ring> kHead = {
    {1.84f, 0.09f, {0.05f, 1.0f, 0.0f}}, {1.76f, 0.12f, {0.05f, 1.0f, 0.0f}}, {1.68f, 0.11f, {0.1f, 0.9f, 0.0f}},
    {1.62f, 0.07f, {0.3f, 0.7f, 0.0f}},  {1.56f, 0.06f, {0.6f, 0.4f, 0.0f}},
};
// Shoulder at 0.25 from the middle, elbow at 0.55, wrist at 0.85.
const std::vector<Ring> kArm = {
    {0.2f, 0.055f, {0.5f, 0.8f, 0.0f}},  {0.28f, 0.05f, {0.2f, 1.0f, 0.0f}},  {0.36f, 0.048f, {0.05f, 1.0f, 0.0f}},
    {0.45f, 0.045f, {0.0f, 1.0f, 0.1f}}, {0.55f, 0.042f, {0.0f, 0.6f, 0.6f}}, {0.63f, 0.04f, {0.0f, 0.2f, 1.0f}},
    {0.71f, 0.038f, {0.0f, 0.1f, 1.0f}}, {0.79f, 0.036f, {0.0f, 0.05f, 1.0f}}, {0.87f, 0.03f, {0.0f, 0.05f, 1.0f}},
};
// Hip at 0.95, knee at 0.5, ankle at 0.05.
const std::vector<Ring> kLeg = {
    {0.96f, 0.085f, {0.6f, 0.6f, 0.0f}}, {0.86f, 0.085f, {0.2f, 1.0f, 0.0f}}, {0.74f, 0.08f, {0.05f, 1.0f, 0.0f}},
    {0.62f, 0.07f, {0.0f, 1.0f, 0.1f}},  {0.5f, 0.065f, {0.0f, 0.6f, 0.6f}},  {0.38f, 0.06f, {0.0f, 0.2f, 1.0f}},
    {0.26f, 0.055f, {0.0f, 0.1f, 1.0f}}, {0.14f, 0.05f, {0.0f, 0.05f, 1.0f}}, {0.02f, 0.05f, {0.0f, 0.05f, 1.0f}},
};

struct Geometry {
    std::vector<Point> points;
    std::vector<UvEntry> uvs;
    std::vector<std::vector<std::uint32_t>> triangles;
    std::vector<UvFixEntry> seamFixes;
    std::array<std::vector<WeightEntry>, BoneCount> weights;

    std::uint32_t addPoint(float x, float y, float z, float u, float v)
    {
        const auto index = static_cast<std::uint32_t>(points.size());
        points.push_back({x, y, z});
        uvs.push_back({index, u, v});
        return index;
    }

    void addTriangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) { triangles.push_back({a, b, c}); }

    // Side 0 sits at u0; a triangle of the last strip that uses it wants u1
    // there instead, which only a per-polygon entry can say.
    void fixSeam(std::uint32_t point, float u1)
    {
        seamFixes.push_back({point, static_cast<std::uint32_t>(triangles.size() - 1), u1, uvs[point].v});
    }

    void addTube(const Tube& tube);
};

void Geometry::addTube(const Tube& tube)
{
    const float first = tube.rings.front().at;
    const float last = tube.rings.back().at;
    auto vAt = [&](float at) { return tube.v0 + (tube.v1 - tube.v0) * (at - last) / (first - last); };
    auto place = [&](float at, float across, float depth, float u) {
        if (tube.axis == 0) return addPoint(tube.centre + across, at, depth, u, vAt(at));
        return addPoint(static_cast<float>(tube.axis) * at, tube.centre + across, depth, u, vAt(at));
    };
    auto weigh = [&](std::uint32_t point, const Ring& ring) {
        for (std::size_t k = 0; k < tube.chain.size(); ++k) {
            if (tube.chain[k] >= 0) weights[static_cast<std::size_t>(tube.chain[k])].push_back({point, ring.weights[k]});
        }
    };
    // A tube along -x is a mirror image: its corners go the other way round.
    auto triangle = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        if (tube.axis < 0) std::swap(b, c);
        addTriangle(a, b, c);
    };

    const std::uint32_t base = static_cast<std::uint32_t>(points.size());
    for (const Ring& ring : tube.rings) {
        for (int side = 0; side < kSides; ++side) {
            const float u = tube.u0 + (tube.u1 - tube.u0) * static_cast<float>(side) / kSides;
            weigh(place(ring.at, ring.radius * kCircle[side][0], ring.radius * kCircle[side][1], u), ring);
        }
    }
    auto at = [&](std::size_t ring, int side) {
        return base + static_cast<std::uint32_t>(ring * kSides + static_cast<std::size_t>(side % kSides));
    };
    for (std::size_t r = 0; r + 1 < tube.rings.size(); ++r) {
        for (int side = 0; side < kSides; ++side) {
            const bool seam = side == kSides - 1;
            triangle(at(r, side), at(r + 1, side), at(r + 1, side + 1));
            if (seam) fixSeam(at(r + 1, 0), tube.u1);
            triangle(at(r, side), at(r + 1, side + 1), at(r, side + 1));
            if (seam) {
                fixSeam(at(r + 1, 0), tube.u1);
                fixSeam(at(r, 0), tube.u1);
            }
        }
    }
    // Caps: a fan around a centre point at each end.
    const float uMid = (tube.u0 + tube.u1) * 0.5f;
    const std::size_t end = tube.rings.size() - 1;
    const std::uint32_t firstCentre = place(first, 0.0f, 0.0f, uMid);
    weigh(firstCentre, tube.rings.front());
    const std::uint32_t lastCentre = place(last, 0.0f, 0.0f, uMid);
    weigh(lastCentre, tube.rings.back());
    for (int side = 0; side < kSides; ++side) {
        triangle(firstCentre, at(0, side + 1), at(0, side));
        if (side == kSides - 1) fixSeam(at(0, 0), tube.u1);
        triangle(lastCentre, at(end, side), at(end, side + 1));
        if (side == kSides - 1) fixSeam(at(end, 0), tube.u1);
    }
}

Geometry buildGeometry()
{
    Geometry g;
    g.addTube({0.0f, 0, {Pelvis, Spine, Head}, kTorso, 0.0f, 0.5f, 0.5f, 1.0f});
    g.addTube({0.0f, 0, {Spine, Head, -1}, kHead, 0.5f, 1.0f, 0.75f, 1.0f});
    g.addTube({1.5f, 1, {Spine, UpperarmL, ForearmL}, kArm, 0.5f, 0.75f, 0.0f, 0.75f});
    g.addTube({1.5f, -1, {Spine, UpperarmR, ForearmR}, kArm, 0.75f, 1.0f, 0.0f, 0.75f});
    g.addTube({0.1f, 0, {Pelvis, ThighL, ShinL}, kLeg, 0.0f, 0.25f, 0.0f, 0.5f});
    g.addTube({-0.1f, 0, {Pelvis, ThighR, ShinR}, kLeg, 0.25f, 0.5f, 0.0f, 0.5f});
    return g;
}

constexpr const char* kSurface = "models/example/character";
constexpr const char* kUvMap = "body_uv";

Bytes buildObject(const Geometry& g)
{
    std::vector<Bytes> chunks = {tagsChunk({kSurface}), layrChunk(0, "body"), pntsChunk(g.points),
                                 uvMapChunk(kUvMap, g.uvs)};
    for (int bone = 0; bone < BoneCount; ++bone) {
        if (!kBones[bone].weighted) continue;
        chunks.push_back(weightMapChunk(kBones[bone].name, g.weights[static_cast<std::size_t>(bone)]));
    }
    std::vector<std::pair<std::uint32_t, std::uint16_t>> surfaceTags;
    for (std::uint32_t t = 0; t < g.triangles.size(); ++t) surfaceTags.push_back({t, 0});
    chunks.push_back(polsChunk(g.triangles));
    chunks.push_back(ptagChunk("SURF", surfaceTags));
    chunks.push_back(uvFixMapChunk(kUvMap, g.seamFixes));
    chunks.push_back(surfChunk(kSurface));
    return form("LWO2", chunks);
}

// ------------------------------------------------------------------ motion

constexpr double kDegreesToRadians = 3.14159265358979323846 / 180.0;

float radians(float degrees)
{
    return static_cast<float>(degrees * kDegreesToRadians);
}

// A key: time, value, shape, then TCB's tension, continuity and bias, then
// the shape's parameters (Hermite and 1D Bezier: incoming and outgoing
// tangent; 2D Bezier: incoming time and value offsets, outgoing time offset).
KeySpec key(float time, float value, int shape, std::array<float, 3> tcb = {}, std::array<float, 3> params = {})
{
    KeySpec k;
    k.time = time;
    k.value = value;
    k.shape = shape;
    k.tension = tcb[0];
    k.continuity = tcb[1];
    k.bias = tcb[2];
    for (std::size_t i = 0; i < 3; ++i) k.params[i] = params[i];
    return k;
}

// Rotation keys are written relative to the rest direction; this adds it,
// in radians, to every key of the heading, pitch and bank channels.
void addRestDirection(ChannelSpecs& channels, const BoneRow& bone)
{
    for (std::size_t a = 0; a < 3; ++a) {
        for (KeySpec& k : channels[3 + a].keys) k.value = radians(bone.direction[a]) + k.value;
    }
}

ChannelSpec channel(std::vector<KeySpec> keys, int post, int pre = 1)
{
    ChannelSpec c;
    c.keys = std::move(keys);
    c.preBehavior = pre;
    c.postBehavior = post;
    return c;
}

constexpr int kConstant = 1, kRepeat = 2, kOscillate = 3, kOffsetRepeat = 4, kLinear = 5;
constexpr int kHeading = 3, kPitch = 4, kBank = 5;

// A one-second walk cycle, sampled for two seconds. Positions are absolute
// (relative to the parent); rotations are relative to the rest direction.
void animate(std::array<ChannelSpecs, BoneCount>& motion)
{
    // The whole character drifts into a slow turn (linear keys, linear
    // behaviour after the last key).
    motion[Origin][kHeading] = channel({key(0.0f, 0.0f, 3), key(1.0f, radians(3.0f), 3)}, kLinear);

    // Walking forward: linear keys whose offset repeat carries the
    // character on cycle after cycle. The ground tracker moves with the hips.
    const ChannelSpec forward = channel({key(0.0f, 0.0f, 3), key(1.0f, 0.8f, 3)}, kOffsetRepeat);
    motion[Ground][2] = forward;
    motion[Pelvis][2] = forward;

    // Hips: bob twice per cycle (2D Bezier, repeated) and roll with the
    // steps (TCB, repeated).
    motion[Pelvis][1] = channel({key(0.0f, 1.0f, 5, {}, {0.0f, 0.0f, 0.08f}), key(0.25f, 1.03f, 5, {}, {-0.08f, 0.0f, 0.08f}),
                                 key(0.5f, 1.0f, 5, {}, {-0.08f, 0.0f, 0.08f}), key(0.75f, 1.03f, 5, {}, {-0.08f, 0.0f, 0.08f}),
                                 key(1.0f, 1.0f, 5, {}, {-0.08f, 0.0f, 0.08f})},
                                kRepeat);
    motion[Pelvis][kBank] = channel({key(0.0f, radians(-4.0f), 0, {0.0f, 0.0f, 0.0f}),
                                     key(0.5f, radians(4.0f), 0, {0.2f, 0.0f, 0.0f}),
                                     key(1.0f, radians(-4.0f), 0, {0.0f, 0.0f, 0.0f})},
                                    kRepeat);

    // The chest twists against the hips (Hermite, oscillating); the head
    // looks around in steps.
    motion[Spine][kBank] = channel({key(0.0f, radians(8.0f), 1, {}, {0.0f, 0.0f, 0.0f}),
                                    key(0.5f, radians(-8.0f), 1, {}, {0.0f, 0.0f, 0.0f})},
                                   kOscillate);
    motion[Head][kBank] = channel({key(0.0f, 0.0f, 0), key(0.6f, radians(15.0f), 4), key(1.2f, radians(-10.0f), 4),
                                   key(1.6f, 0.0f, 4)},
                                  kConstant);

    // Arms come down from the T to 30 degrees off the body and swing against
    // the legs (Hermite, oscillating); elbows bend on the back swing (1D
    // Bezier, repeated).
    const float swing = radians(20.0f);
    motion[UpperarmL][kHeading] = channel({key(0.0f, radians(60.0f), 0)}, kConstant);
    motion[UpperarmR][kHeading] = channel({key(0.0f, radians(-60.0f), 0)}, kConstant);
    motion[UpperarmL][kPitch] = channel({key(0.0f, -swing, 1, {}, {0.0f, 0.0f, 0.0f}), key(0.5f, swing, 1, {}, {0.0f, 0.0f, 0.0f})},
                                        kOscillate);
    motion[UpperarmR][kPitch] = channel({key(0.0f, swing, 1, {}, {0.0f, 0.0f, 0.0f}), key(0.5f, -swing, 1, {}, {0.0f, 0.0f, 0.0f})},
                                        kOscillate);
    motion[ForearmL][kPitch] = channel({key(0.0f, radians(35.0f), 2, {}, {0.0f, 0.4f, 0.0f}),
                                        key(0.5f, radians(15.0f), 2, {}, {-0.2f, 0.0f, 0.0f}),
                                        key(1.0f, radians(35.0f), 2, {}, {0.4f, 0.0f, 0.0f})},
                                       kRepeat);
    motion[ForearmR][kPitch] = channel({key(0.0f, radians(15.0f), 2, {}, {0.0f, -0.2f, 0.0f}),
                                        key(0.5f, radians(35.0f), 2, {}, {0.4f, 0.0f, 0.0f}),
                                        key(1.0f, radians(15.0f), 2, {}, {-0.2f, 0.0f, 0.0f})},
                                       kRepeat);

    // Legs: hip swing and knee bend (TCB, repeated), the right leg half a
    // cycle behind the left. A smaller pitch swings a leg forward.
    const float stride = radians(22.0f);
    motion[ThighL][kPitch] = channel({key(0.0f, -stride, 0, {0.0f, 0.0f, 0.0f}), key(0.5f, stride, 0, {-0.2f, 0.0f, 0.1f}),
                                      key(1.0f, -stride, 0, {0.0f, 0.0f, 0.0f})},
                                     kRepeat);
    motion[ThighR][kPitch] = channel({key(0.0f, stride, 0, {0.0f, 0.0f, 0.0f}), key(0.5f, -stride, 0, {-0.2f, 0.0f, 0.1f}),
                                      key(1.0f, stride, 0, {0.0f, 0.0f, 0.0f})},
                                     kRepeat);
    const float kneeTimes[6] = {0.0f, 0.25f, 0.5f, 0.7f, 0.9f, 1.0f};
    const float knee[6] = {6.0f, 9.0f, 15.0f, 40.0f, 18.0f, 6.0f};
    const float shiftedTimes[6] = {0.0f, 0.2f, 0.4f, 0.5f, 0.75f, 1.0f};
    const float shifted[6] = {15.0f, 40.0f, 18.0f, 6.0f, 9.0f, 15.0f};
    std::vector<KeySpec> left;
    std::vector<KeySpec> right;
    for (int k = 0; k < 6; ++k) {
        left.push_back(key(kneeTimes[k], radians(knee[k]), 0, {0.0f, k == 3 ? -0.5f : 0.0f, 0.0f}));
        right.push_back(key(shiftedTimes[k], radians(shifted[k]), 0, {0.0f, k == 1 ? -0.5f : 0.0f, 0.0f}));
    }
    motion[ShinL][kPitch] = channel(left, kRepeat);
    motion[ShinR][kPitch] = channel(right, kRepeat);
}

std::string buildScene()
{
    std::array<ChannelSpecs, BoneCount> motion;
    for (int b = 0; b < BoneCount; ++b) {
        motion[static_cast<std::size_t>(b)] = restChannels(kBones[b].position[0], kBones[b].position[1], kBones[b].position[2]);
    }
    animate(motion);
    for (int b = 0; b < BoneCount; ++b) addRestDirection(motion[static_cast<std::size_t>(b)], kBones[b]);

    SceneTextBuilder scene;
    scene.header(0, 60, 30, "character.lwo");
    for (int b = 0; b < BoneCount; ++b) {
        BoneSpec bone;
        bone.name = kBones[b].name;
        if (kBones[b].weighted) bone.weightMapName = kBones[b].name;
        bone.restPosition = kBones[b].position;
        bone.restDirection = kBones[b].direction;
        bone.restLength = kBones[b].length;
        bone.parentBone = kBones[b].parent;
        bone.channels = motion[static_cast<std::size_t>(b)];
        scene.bone(bone);
    }
    // A light and a camera, as every scene has; the converters skip them.
    scene.line("AddLight 21000000").line("LightName Light").line("ShowLight 0 -1").line("LightMotion");
    scene.line("NumChannels 9").channelBlock(restChannels(-2.0f, 2.0f, -2.0f));
    scene.line("").line("AddCamera 30000000").line("CameraName Camera").line("ShowCamera 1 -1").line("CameraMotion");
    scene.line("NumChannels 9").channelBlock(restChannels(0.0f, 1.0f, -4.0f));
    scene.line("");
    return scene.text();
}

bool writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_example: cannot write %s\n", path.string().c_str());
        return false;
    }
    std::printf("wrote %s (%zu bytes)\n", path.string().c_str(), bytes.size());
    return true;
}

constexpr const char* kHelp =
    "Writes the bundled example character into FOLDER (the current folder when\n"
    "none is given): character.lwo (LWO2) and character.lws (thirteen bones, a\n"
    "walk at 30 fps, CR LF line ends); the same bytes on every machine.\n";

} // namespace

int main(int argc, char** argv)
{
    const std::string_view first = argc >= 2 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::printf("usage: %s [FOLDER]\n%s", argv[0], kHelp);
        return 0;
    }
    // A folder whose name begins with a dash is given as ./-name.
    if (argc > 2 || first.starts_with('-')) {
        std::fprintf(stderr, "usage: %s [FOLDER]   (--help tells more)\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argc == 2 ? argv[1] : ".";
    const Geometry geometry = buildGeometry();
    const Bytes object = buildObject(geometry);
    const bool ok = writeBytes(folder / "character.lwo", std::string(object.begin(), object.end())) &&
                    writeBytes(folder / "character.lws", buildScene());
    return ok ? 0 : 1;
}
