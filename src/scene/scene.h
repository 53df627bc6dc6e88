#pragma once

#include "math/transform.h"
#include "math/vec3.h"
#include "object/lwo_object.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lwmd5 {

// One key of a motion channel. The keys of a channel lie in one vector in
// file order; a key's neighbours are the elements before and after it.
struct EnvelopeKey {
    float value = 0.0f;
    float time = 0.0f;   // seconds
    int shape = 0;       // shape of the span that ends at this key
    float tension = 0.0f;
    float continuity = 0.0f;
    float bias = 0.0f;
    float params[4] = {}; // params[3] is always 0 as read
};

// One motion channel: keys plus the behaviours before the first and after the
// last key.
struct Envelope {
    std::vector<EnvelopeKey> keys;
    int preBehavior = 0;
    int postBehavior = 0;
};

// Channels 0-2 position x, y, z; 3-5 heading, pitch, bank in radians; 6-8 scale.
constexpr std::size_t kChannelCount = 9;

// The nine motion channels of a bone or null object. A mesh conversion never
// reads channel blocks, and a scene may hold bones without one, so the
// envelopes are allocated on first write; until then every channel reads as
// an envelope without keys.
class Channels {
public:
    Channels() = default;
    Channels(const Channels& other);
    Channels& operator=(const Channels& other);
    Channels(Channels&&) noexcept = default;
    Channels& operator=(Channels&&) noexcept = default;

    Envelope& operator[](std::size_t c) { return allocated()[c]; }
    const Envelope& operator[](std::size_t c) const { return stored()[c]; }
    Envelope* begin() { return allocated().data(); }
    Envelope* end() { return allocated().data() + kChannelCount; }
    const Envelope* begin() const { return stored().data(); }
    const Envelope* end() const { return stored().data() + kChannelCount; }
    static constexpr std::size_t size() { return kChannelCount; }

private:
    using Envelopes = std::array<Envelope, kChannelCount>;
    const Envelopes& stored() const;
    Envelopes& allocated();

    std::unique_ptr<Envelopes> envelopes_;
};

struct Bone {
    std::string name;
    int active = 0;
    std::uint32_t parentItem = 0;
    Vec3 restPosition;
    Vec3 restDirection; // heading, pitch, bank in degrees
    float restLength = 0.0f;
    std::string weightMapName;
    Channels channels;
};

struct NullObject {
    std::string name;
    std::uint32_t parentItem = 0;
    Channels channels;
};

// Parent item ids: bit 30 names a bone by bits 16-27 (its number in file
// order); bit 28 names an object by bits 0-11.
constexpr std::uint32_t kParentIsBone = 0x40000000u;
constexpr std::uint32_t kParentIsObject = 0x10000000u;
inline std::uint32_t parentBoneNumber(std::uint32_t parentItem) { return (parentItem >> 16) & 0xFFFu; }

struct Joint {
    std::string name;
    int parentIndex = -1;
    std::string parentName;
    std::string weightMapName;
    Vec3 restPosition;        // relative to the parent, md5 space, scaled
    Transform restRotation;   // relative to the parent, md5 space
    Transform bindTransform;  // joint space to model space
    Transform inverseBindTransform;
    int bone = -1;            // index of the Bone in Scene::bones

    // Per sampled frame (animconv only).
    std::vector<Vec3> framePositions;
    std::vector<Vec3> frameAngles; // heading, pitch, bank in degrees
    std::vector<Quat> frameOrientations;
};

constexpr int kMaxVertexWeights = 8;

struct Md5Vertex {
    float u = 0.0f;
    float v = 0.0f; // 1 - the object's v
    std::int32_t firstWeight = 0;
    std::int32_t weightCount = 0;
    Vec3 position;
};

struct Md5Weight {
    std::int32_t joint = 0;
    float bias = 0.0f;
    Vec3 offset; // the vertex position in the joint's space
};

struct Md5Triangle {
    std::int32_t corners[3] = {};
};

struct Md5Mesh {
    std::string shader;
    std::vector<Md5Vertex> vertices;
    std::vector<Md5Triangle> triangles;
    std::vector<Md5Weight> weights;
};

struct FrameBounds {
    Vec3 min;
    Vec3 max;
};

// Everything one run reads and builds; owned by main for the whole run.
struct Scene {
    std::vector<Bone> bones;
    std::vector<NullObject> nullObjects;
    int firstFrame = 0;
    int lastFrame = 0;
    int frameStep = 0;
    int framesPerSecond = 0;
    float scaleFactor = 1.0f;

    LwoObject object;
    std::vector<Joint> joints;
    std::vector<Md5Mesh> outputMeshes;
    std::vector<FrameBounds> frameBounds;

    // lastFrame - firstFrame + 1, computed without overflow.
    std::int64_t frameCount() const
    {
        return static_cast<std::int64_t>(lastFrame) - static_cast<std::int64_t>(firstFrame) + 1;
    }
};

} // namespace lwmd5
