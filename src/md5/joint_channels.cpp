#include "md5/joint_channels.h"

#include "motion/envelope.h"
#include "platform/parallel.h"

#include <algorithm>


namespace lwmd5 {

namespace {

constexpr float kOneOverPi = 0.31830987f;

float toDegrees(float radians)
{
    return static_cast<float>(static_cast<double>(radians) * 180.0 * kOneOverPi);
}

// The origin joint engine output adds: at the origin, unturned, every frame.
void sampleAddedOrigin(JointChannels& joint)
{
    std::fill(joint.frameOrientations.begin(), joint.frameOrientations.end(), Quat{0.0f, 0.0f, 0.0f, 1.0f});
}

} // namespace

std::vector<JointChannels> computeJointChannels(const std::vector<Joint>& joints, const Scene& scene,
                                                float scaleFactor, unsigned threads, SceneMapping mapping)
{
    const std::size_t frames = static_cast<std::size_t>(scene.frameCount());
    const bool specified = mapping == SceneMapping::Specified;
    std::vector<JointChannels> channels(joints.size());
    for (std::size_t j = 0; j < joints.size(); ++j) {
        JointChannels& joint = channels[j];
        joint.framePositions.assign(frames, Vec3{});
        joint.frameAngles.assign(frames, Vec3{});
        joint.frameOrientations.assign(frames, Quat{});
        if (joints[j].addedOrigin) sampleAddedOrigin(joint);
    }
    forEachRange(frames, threads, [&](std::size_t begin, std::size_t end) {
        for (std::size_t j = 0; j < joints.size(); ++j) {
            if (joints[j].addedOrigin) continue;
            JointChannels& joint = channels[j];
            const Channels& envelopes = scene.bones[static_cast<std::size_t>(joints[j].bone)].channels;
            // Each channel's span search, prepared once for this joint's samples.
            const SpanSearch searches[6] = {SpanSearch(envelopes[0].keys), SpanSearch(envelopes[1].keys),
                                            SpanSearch(envelopes[2].keys), SpanSearch(envelopes[3].keys),
                                            SpanSearch(envelopes[4].keys), SpanSearch(envelopes[5].keys)};
            for (std::size_t k = begin; k < end; ++k) {
                const float frame = static_cast<float>(static_cast<std::int64_t>(scene.firstFrame) +
                                                       static_cast<std::int64_t>(k));
                const float t = static_cast<float>(static_cast<double>(frame) / scene.framesPerSecond);
                auto sample = [&](std::size_t c) { return evaluateEnvelope(envelopes[c], t, searches[c]); };

                joint.framePositions[k] = mapPosition(mapping, {sample(0), sample(1), sample(2)}, scaleFactor);

                Vec3 angles{toDegrees(sample(3)), toDegrees(sample(4)), toDegrees(sample(5))};
                // Fixed corrections by place in the list. Joint 0's pitch less
                // 90 gives it the bind pose's turn about x (y up becomes z up),
                // right for a first joint that is a root at the origin; joint
                // 1's heading plus 90 turns the second joint a quarter about
                // its vertical, which only a rig built around it (an unweighted
                // second joint) tolerates: other rigs twist against the mesh.
                if (specified && j == 0) angles.y = static_cast<float>(static_cast<double>(angles.y) - 90.0);
                if (specified && j == 1) angles.x = static_cast<float>(static_cast<double>(angles.x) + 90.0);
                joint.frameAngles[k] = angles;

                Transform rotation;
                mapRotation(mapping, angles, rotation);
                transformToQuat(joint.frameOrientations[k], rotation);
            }
        }
    });
    return channels;
}

} // namespace lwmd5
