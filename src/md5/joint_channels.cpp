#include "md5/joint_channels.h"

#include "platform/parallel.h"
#include "motion/envelope.h"

#include <utility>

namespace lwmd5 {

namespace {

constexpr float kOneOverPi = 0.31830987f;

float toDegrees(float radians)
{
    return static_cast<float>(static_cast<double>(radians) * 180.0 * kOneOverPi);
}

} // namespace

void frameRotation(const Vec3& angles, Transform& rotation)
{
    headingPitchBankRotation(angles.x, angles.y, angles.z, rotation);
    toMd5Rotation(rotation);
}

void computeJointChannels(Scene& scene)
{
    const std::size_t frames = static_cast<std::size_t>(scene.frameCount());
    const double s = scene.scaleFactor;
    for (Joint& joint : scene.joints) {
        joint.framePositions.assign(frames, Vec3{});
        joint.frameAngles.assign(frames, Vec3{});
        joint.frameOrientations.assign(frames, Quat{});
    }
    forEachRange(frames, [&](std::size_t begin, std::size_t end) {
        for (std::size_t j = 0; j < scene.joints.size(); ++j) {
            Joint& joint = scene.joints[j];
            const Channels& channels = std::as_const(scene.bones[static_cast<std::size_t>(joint.bone)].channels);
            // Each channel's span search, prepared once for this joint's samples.
            const SpanSearch searches[6] = {SpanSearch(channels[0].keys), SpanSearch(channels[1].keys),
                                            SpanSearch(channels[2].keys), SpanSearch(channels[3].keys),
                                            SpanSearch(channels[4].keys), SpanSearch(channels[5].keys)};
            for (std::size_t k = begin; k < end; ++k) {
                const float frame = static_cast<float>(static_cast<std::int64_t>(scene.firstFrame) +
                                                       static_cast<std::int64_t>(k));
                const float t = static_cast<float>(static_cast<double>(frame) / scene.framesPerSecond);
                auto sample = [&](std::size_t c) { return evaluateEnvelope(channels[c], t, searches[c]); };

                const float x = sample(0);
                const float y = sample(1);
                const float z = sample(2);
                joint.framePositions[k] = {static_cast<float>(s * x), static_cast<float>(s * y),
                                           -static_cast<float>(s * z)};

                Vec3 angles{toDegrees(sample(3)), toDegrees(sample(4)), toDegrees(sample(5))};
                // Fixed corrections of the first two joints of the list.
                if (j == 0) angles.y = static_cast<float>(static_cast<double>(angles.y) - 90.0);
                if (j == 1) angles.x = static_cast<float>(static_cast<double>(angles.x) + 90.0);
                joint.frameAngles[k] = angles;

                Transform rotation;
                frameRotation(angles, rotation);
                transformToQuat(joint.frameOrientations[k], rotation);
            }
        }
    });
}

} // namespace lwmd5
