// The expensive stages on the small timing case (20,000 points, 60 bones,
// 500 frames with a key on every frame), generated in memory at start-up.

#include "app/pipelines.h"
#include "app/validation.h"
#include "bench_case.h"
#include "md5/frame_bounds.h"
#include "md5/joint_channels.h"
#include "md5/md5anim_writer.h"
#include "md5/md5mesh_writer.h"
#include "motion/envelope.h"
#include "object/lwo_reader.h"
#include "platform/report.h"
#include "scene/scene_reader.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <utility>

namespace {

using namespace lwmd5;

class SilentReporter final : public Reporter {
public:
    void error(std::string_view) override {}
    void warning(std::string_view) override {}
    void messageBox(std::string_view, std::string_view) override {}
    void debugLine(std::string_view) override {}
};

const authoring::BenchCase& smallCase()
{
    static const authoring::BenchCase made = authoring::makeBenchCase(authoring::kSmallBenchCase, "small.lwo");
    return made;
}

std::span<const std::uint8_t> objectBytes()
{
    return {smallCase().object.data(), smallCase().object.size()};
}

// The scene after every stage, built once.
const Scene& convertedScene()
{
    static const Scene scene = [] {
        Scene s;
        SilentReporter report;
        parseScene(smallCase().sceneText, s, SceneFlavour::Full, report, "small.lws");
        parseLwoObject(objectBytes(), s.object, report, "small.lwo");
        validateInputs(s, {"small.lws", "small.lwo", true}, report);
        convertAnimation(s, report);
        return s;
    }();
    return scene;
}

void setThreads(int threads)
{
#ifdef _WIN32
    _putenv_s("LWMD5_THREADS", std::to_string(threads).c_str());
#else
    setenv("LWMD5_THREADS", std::to_string(threads).c_str(), 1);
#endif
}

void BM_ReadScene(benchmark::State& state)
{
    SilentReporter report;
    for (auto _ : state) {
        Scene scene;
        parseScene(smallCase().sceneText, scene, SceneFlavour::Full, report, "small.lws");
        benchmark::DoNotOptimize(scene.bones.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * smallCase().sceneText.size()));
}
BENCHMARK(BM_ReadScene)->Unit(benchmark::kMillisecond);

void BM_ReadObject(benchmark::State& state)
{
    SilentReporter report;
    for (auto _ : state) {
        LwoObject object;
        parseLwoObject(objectBytes(), object, report, "small.lwo");
        benchmark::DoNotOptimize(object.meshes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * smallCase().object.size()));
}
BENCHMARK(BM_ReadObject)->Unit(benchmark::kMillisecond);

// One 500-key channel sampled at every frame, the span found by bisection
// and by the walk from the first key.
void BM_EvaluateEnvelope(benchmark::State& state)
{
    const Envelope& envelope = std::as_const(convertedScene().bones[7].channels)[4];
    const SpanSearch search(envelope.keys);
    const bool bisection = state.range(0) != 0;
    for (auto _ : state) {
        float sum = 0.0f;
        for (int f = 0; f < 500; ++f) {
            const float t = static_cast<float>(f) / 30.0f;
            sum += bisection ? evaluateEnvelope(envelope, t, search) : evaluateEnvelope(envelope, t);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 500);
}
BENCHMARK(BM_EvaluateEnvelope)->Arg(1)->Arg(0)->ArgNames({"bisection"});

void BM_JointChannels(benchmark::State& state)
{
    setThreads(static_cast<int>(state.range(0)));
    Scene scene = convertedScene();
    for (auto _ : state) computeJointChannels(scene);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.joints.size()) * scene.frameCount());
}
BENCHMARK(BM_JointChannels)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

// Posing the mesh at every frame and growing the boxes.
void BM_FrameBounds(benchmark::State& state)
{
    setThreads(static_cast<int>(state.range(0)));
    Scene scene = convertedScene();
    for (auto _ : state) computeFrameBounds(scene);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(scene.outputMeshes[0].weights.size()) *
                            scene.frameCount());
}
BENCHMARK(BM_FrameBounds)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FormatMd5Anim(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(formatMd5Anim(convertedScene()).size());
}
BENCHMARK(BM_FormatMd5Anim)->Unit(benchmark::kMillisecond);

void BM_FormatMd5Mesh(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(formatMd5Mesh(convertedScene()).size());
}
BENCHMARK(BM_FormatMd5Mesh)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
