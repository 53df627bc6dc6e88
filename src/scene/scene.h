#pragma once

#include "math/vec3.h"

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
    std::uint32_t parentItem = 0;
    Vec3 restPosition;
    Vec3 restDirection; // heading, pitch, bank in degrees
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

// What the scene file says: its bones and null objects, the preview range
// and the frame rate.
struct Scene {
    std::vector<Bone> bones;
    std::vector<NullObject> nullObjects;
    int firstFrame = 0;
    int lastFrame = 0;
    int framesPerSecond = 0;

    // lastFrame - firstFrame + 1, computed without overflow.
    std::int64_t frameCount() const
    {
        return static_cast<std::int64_t>(lastFrame) - static_cast<std::int64_t>(firstFrame) + 1;
    }
};

} // namespace lwmd5
