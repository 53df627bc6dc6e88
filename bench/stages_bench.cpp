// The expensive stages on the small timing case (20,000 points, 60 bones,
// 500 frames with a key on every frame), generated in memory at start-up.

#include "app/conversion.h"
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

namespace {

using namespace lwmd5;

const authoring::BenchCase& smallCase()
{
    static const authoring::BenchCase made = authoring::makeBenchCase(authoring::kSmallBenchCase, "small.lwo");
    return made;
}

std::span<const std::uint8_t> objectBytes()
{
    return {smallCase().object.data(), smallCase().object.size()};
}

const ConversionInputs& inputs()
{
    static const ConversionInputs read = [] {
        SilentReporter report;
        return *parseInputs(Program::AnimationConverter, smallCase().sceneText, objectBytes(), "small.lws",
                            "small.lwo", ConversionOptions{}, report);
    }();
    return read;
}

// The animation after every stage, converted once.
const Conversion& converted()
{
    static const Conversion conversion = [] {
        SilentReporter report;
        return *convert(Program::AnimationConverter, inputs(), ConversionOptions{}, RunLimits{}, report);
    }();
    return conversion;
}

unsigned threadsOf(const benchmark::State& state)
{
    return static_cast<unsigned>(state.range(0));
}

void BM_ReadScene(benchmark::State& state)
{
    SilentReporter report;
    for (auto _ : state) {
        const Scene scene = parseScene(smallCase().sceneText, SceneFlavour::Full, report, "small.lws", threadsOf(state));
        benchmark::DoNotOptimize(scene.bones.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * smallCase().sceneText.size()));
}
BENCHMARK(BM_ReadScene)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadObject(benchmark::State& state)
{
    SilentReporter report;
    for (auto _ : state) {
        const std::optional<LwoObject> object = parseLwoObject(objectBytes(), report, "small.lwo");
        benchmark::DoNotOptimize(object->meshes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * smallCase().object.size()));
}
BENCHMARK(BM_ReadObject)->Unit(benchmark::kMillisecond);

// One 500-key channel sampled at every frame, the span found by bisection
// and by the walk from the first key.
void BM_EvaluateEnvelope(benchmark::State& state)
{
    const Envelope& envelope = std::as_const(inputs().scene.bones[7].channels)[4];
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
    const Conversion& done = converted();
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeJointChannels(done.joints, inputs().scene, 1.0f, threadsOf(state)).data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(done.joints.size()) *
                            inputs().scene.frameCount());
}
BENCHMARK(BM_JointChannels)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

// Posing the mesh at every frame and growing the boxes.
void BM_FrameBounds(benchmark::State& state)
{
    const Conversion& done = converted();
    for (auto _ : state) {
        benchmark::DoNotOptimize(computeFrameBounds(done.joints, done.channels, done.meshes, threadsOf(state)).data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(done.meshes[0].weights.size()) *
                            inputs().scene.frameCount());
}
BENCHMARK(BM_FrameBounds)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FormatMd5Anim(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(formatConversion(Program::AnimationConverter, converted()).size());
}
BENCHMARK(BM_FormatMd5Anim)->Unit(benchmark::kMillisecond);

void BM_FormatMd5Mesh(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(formatConversion(Program::MeshConverter, converted()).size());
}
BENCHMARK(BM_FormatMd5Mesh)->Unit(benchmark::kMillisecond);

// A whole animconv run in memory, from the two inputs' bytes to the text.
void BM_WholeAnimation(benchmark::State& state)
{
    SilentReporter report;
    ConversionOptions options;
    options.threads = threadsOf(state);
    for (auto _ : state) {
        const std::optional<ConversionInputs> read = parseInputs(
            Program::AnimationConverter, smallCase().sceneText, objectBytes(), "small.lws", "small.lwo", options, report);
        const std::optional<Conversion> done = convert(Program::AnimationConverter, *read, options, RunLimits{}, report);
        benchmark::DoNotOptimize(formatConversion(Program::AnimationConverter, *done).size());
    }
}
BENCHMARK(BM_WholeAnimation)->Arg(1)->Arg(2)->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
