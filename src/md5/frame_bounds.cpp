#include "md5/frame_bounds.h"

#include "math/bounds.h"
#include "md5/joint_channels.h"
#include "platform/parallel.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define LWMD5_POSE_AVX2 1
#endif

namespace lwmd5 {

namespace {

// One weight as the posing loop reads it: offset and bias widened once.
struct PoseWeight {
    double offset[3];
    double bias;
    std::size_t joint;
};

// The weights of one vertex worth posing.
struct PoseRun {
    std::uint32_t first;
    std::uint32_t count;
};

// A joint's world transform of one frame, widened: rows 0-2 of the rotation
// and the translation, each padded to four lanes.
struct alignas(32) JointRows {
    double row[4][4];
};

using PoseFunction = void (*)(const PoseWeight*, const PoseRun*, std::size_t, const JointRows*, FrameBounds&);

// Vertices that split off a source vertex share its weights and pose to the
// very same point, which cannot change a box the source has already grown:
// pose only the first vertex of each weight run, in vertex order.
std::vector<PoseRun> distinctWeightRuns(const Md5Mesh& mesh)
{
    // The weight count of the run posed from each first weight, 0 for none yet.
    std::vector<std::int32_t> posedCount(mesh.weights.size() + 1, 0);
    std::vector<PoseRun> runs;
    runs.reserve(mesh.vertices.size());
    for (const Md5Vertex& vertex : mesh.vertices) {
        if (vertex.weightCount > 0) {
            std::int32_t& posed = posedCount[static_cast<std::size_t>(vertex.firstWeight)];
            if (posed == vertex.weightCount) continue;
            if (posed == 0) posed = vertex.weightCount;
        }
        runs.push_back({static_cast<std::uint32_t>(vertex.firstWeight), static_cast<std::uint32_t>(vertex.weightCount)});
    }
    return runs;
}

void computeWorldTransforms(const Scene& scene, std::size_t k, std::vector<Transform>& world)
{
    for (std::size_t j = 0; j < scene.joints.size(); ++j) {
        const Joint& joint = scene.joints[j];
        Transform rotation;
        Transform translation;
        Transform local;
        frameRotation(joint.frameAngles[k], rotation);
        translationTransform(joint.framePositions[k], translation);
        multiplyTransforms(rotation, translation, local);
        if (joint.parentIndex <= -1) {
            world[j] = local;
        } else {
            multiplyTransforms(local, world[static_cast<std::size_t>(joint.parentIndex)], world[j]);
        }
    }
}

void toRows(const Transform& m, JointRows& rows)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) rows.row[r][c] = m.m[r][c];
        rows.row[r][3] = 0.0;
    }
    rows.row[3][0] = m.t.x;
    rows.row[3][1] = m.t.y;
    rows.row[3][2] = m.t.z;
    rows.row[3][3] = 0.0;
}

// The posed point of a vertex: the sum over its weights of bias times the
// offset carried by the joint's transform, every product and sum rounded to
// float, starting from 0.
void poseRunsScalar(const PoseWeight* weights, const PoseRun* runs, std::size_t runCount, const JointRows* joints,
                    FrameBounds& box)
{
    for (std::size_t i = 0; i < runCount; ++i) {
        float sum[3] = {0.0f, 0.0f, 0.0f};
        const PoseWeight* weight = weights + runs[i].first;
        for (std::uint32_t w = 0; w < runs[i].count; ++w, ++weight) {
            const JointRows& m = joints[weight->joint];
            for (int c = 0; c < 3; ++c) {
                const float moved = static_cast<float>(weight->offset[0] * m.row[0][c] + weight->offset[1] * m.row[1][c] +
                                                       weight->offset[2] * m.row[2][c] + m.row[3][c]);
                const float scaled = static_cast<float>(weight->bias * moved);
                sum[c] = static_cast<float>(static_cast<double>(sum[c]) + scaled);
            }
        }
        extendBounds(Vec3{sum[0], sum[1], sum[2]}, box.min, box.max);
    }
}

#if LWMD5_POSE_AVX2
// The same sums for x, y and z side by side in the lanes of one register:
// each lane does exactly the scalar operations in the same order (no fused
// multiply-add), so the bits agree.
__attribute__((target("avx2"))) inline __m256d roundToFloat(__m256d value)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(value));
}

__attribute__((target("avx2"))) inline __m256d poseWeight(const PoseWeight& weight, const JointRows* joints,
                                                          __m256d sum)
{
    const JointRows& m = joints[weight.joint];
    __m256d moved = _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[0]), _mm256_load_pd(m.row[0]));
    moved = _mm256_add_pd(moved, _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[1]), _mm256_load_pd(m.row[1])));
    moved = _mm256_add_pd(moved, _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[2]), _mm256_load_pd(m.row[2])));
    moved = roundToFloat(_mm256_add_pd(moved, _mm256_load_pd(m.row[3])));
    const __m256d scaled = roundToFloat(_mm256_mul_pd(_mm256_broadcast_sd(&weight.bias), moved));
    return roundToFloat(_mm256_add_pd(sum, scaled));
}

__attribute__((target("avx2"))) inline void extendBoundsBy(__m256d sum, FrameBounds& box)
{
    alignas(16) float point[4];
    _mm_store_ps(point, _mm256_cvtpd_ps(sum));
    extendBounds(Vec3{point[0], point[1], point[2]}, box.min, box.max);
}

__attribute__((target("avx2"))) void poseRunsAvx2(const PoseWeight* weights, const PoseRun* runs,
                                                  std::size_t runCount, const JointRows* joints, FrameBounds& box)
{
    // Four vertices with the same number of weights at a time: their sums are
    // independent, so the processor overlaps the four chains of roundings.
    // The boxes still grow vertex by vertex in order.
    std::size_t i = 0;
    while (i < runCount) {
        const std::uint32_t count = runs[i].count;
        if (i + 4 <= runCount && runs[i + 1].count == count && runs[i + 2].count == count &&
            runs[i + 3].count == count) {
            __m256d sum0 = _mm256_setzero_pd();
            __m256d sum1 = _mm256_setzero_pd();
            __m256d sum2 = _mm256_setzero_pd();
            __m256d sum3 = _mm256_setzero_pd();
            const PoseWeight* w0 = weights + runs[i].first;
            const PoseWeight* w1 = weights + runs[i + 1].first;
            const PoseWeight* w2 = weights + runs[i + 2].first;
            const PoseWeight* w3 = weights + runs[i + 3].first;
            for (std::uint32_t w = 0; w < count; ++w) {
                sum0 = poseWeight(w0[w], joints, sum0);
                sum1 = poseWeight(w1[w], joints, sum1);
                sum2 = poseWeight(w2[w], joints, sum2);
                sum3 = poseWeight(w3[w], joints, sum3);
            }
            extendBoundsBy(sum0, box);
            extendBoundsBy(sum1, box);
            extendBoundsBy(sum2, box);
            extendBoundsBy(sum3, box);
            i += 4;
            continue;
        }
        __m256d sum = _mm256_setzero_pd();
        const PoseWeight* weight = weights + runs[i].first;
        for (std::uint32_t w = 0; w < count; ++w) sum = poseWeight(weight[w], joints, sum);
        extendBoundsBy(sum, box);
        ++i;
    }
}
#endif

PoseFunction choosePoseFunction()
{
#if LWMD5_POSE_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return poseRunsAvx2;
#endif
    return poseRunsScalar;
}

} // namespace

void computeFrameBounds(Scene& scene)
{
    const std::size_t frames = static_cast<std::size_t>(scene.frameCount());
    scene.frameBounds.assign(frames, FrameBounds{});
    const Md5Mesh& mesh = scene.outputMeshes.front();
    const std::vector<PoseRun> runs = distinctWeightRuns(mesh);
    std::vector<PoseWeight> weights(mesh.weights.size());
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const Md5Weight& source = mesh.weights[i];
        weights[i] = {{source.offset.x, source.offset.y, source.offset.z},
                      source.bias,
                      static_cast<std::size_t>(source.joint)};
    }
    const PoseFunction pose = choosePoseFunction();

    forEachRange(frames, [&](std::size_t begin, std::size_t end) {
        std::vector<Transform> world(scene.joints.size());
        std::vector<JointRows> rows(scene.joints.size());
        for (std::size_t k = begin; k < end; ++k) {
            computeWorldTransforms(scene, k, world);
            for (std::size_t j = 0; j < world.size(); ++j) toRows(world[j], rows[j]);
            FrameBounds& box = scene.frameBounds[k];
            resetBounds(box.min, box.max);
            pose(weights.data(), runs.data(), runs.size(), rows.data(), box);
        }
    });
}

} // namespace lwmd5
