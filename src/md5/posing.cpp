#include "md5/posing.h"

#include "math/bounds.h"
#include "md5/frame_bounds.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define LWMD5_POSE_AVX2 1
#endif

namespace lwmd5 {

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
namespace {

// The same sums for x, y and z side by side in the lanes of one register:
// each lane does exactly the scalar operations in the same order (no fused
// multiply-add), so the bits agree. Only the carried offset needs double
// lanes: the product of two floats is exact in double, and a sum of two
// floats rounded first to double and then to float equals the sum rounded
// once to float, so the bias product and the running sum are done in float
// lanes with the very same results.
__attribute__((target("avx2"))) inline __m128 poseWeight(const PoseWeight& weight, const JointRows* joints,
                                                         __m128 sum)
{
    const JointRows& m = joints[weight.joint];
    __m256d moved = _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[0]), _mm256_load_pd(m.row[0]));
    moved = _mm256_add_pd(moved, _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[1]), _mm256_load_pd(m.row[1])));
    moved = _mm256_add_pd(moved, _mm256_mul_pd(_mm256_broadcast_sd(&weight.offset[2]), _mm256_load_pd(m.row[2])));
    const __m128 movedFloat = _mm256_cvtpd_ps(_mm256_add_pd(moved, _mm256_load_pd(m.row[3])));
    return _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(weight.biasFloat), movedFloat));
}

__attribute__((target("avx2"))) inline void extendBoundsBy(__m128 sum, FrameBounds& box)
{
    alignas(16) float point[4];
    _mm_store_ps(point, sum);
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
            __m128 sum0 = _mm_setzero_ps();
            __m128 sum1 = _mm_setzero_ps();
            __m128 sum2 = _mm_setzero_ps();
            __m128 sum3 = _mm_setzero_ps();
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
        __m128 sum = _mm_setzero_ps();
        const PoseWeight* weight = weights + runs[i].first;
        for (std::uint32_t w = 0; w < count; ++w) sum = poseWeight(weight[w], joints, sum);
        extendBoundsBy(sum, box);
        ++i;
    }
}

} // namespace
#endif

PoseFunction choosePoseFunction()
{
#if LWMD5_POSE_AVX2
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return poseRunsAvx2;
#endif
    return poseRunsScalar;
}


} // namespace lwmd5
