// What the native side adds to a page's calls: 1,000 commands go through the
// whole bridge (batch text -> queue -> plugin action -> sendPluginResult ->
// nativeCallback evaluated in the page -> the page's callback), and the same
// 1,000 nativeCallback scripts are evaluated directly. The last line is the
// ratio of the two per-command times.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"

#include <cstdio>

#include "BridgeHarness.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"

namespace {

constexpr int kCommands = 1000;

// The page makes kCommands calls to the echo plugin, each with a callback.
void pageMakesCalls(testsupport::TestContainer& container) {
    container.eval(platform::format(R"(
        var answered = 0;
        for (var i = 0; i < %d; i++)
            hybrid.exec(function (m) { answered += m.length; }, null, 'Echo', 'echo', ['hello', i]);)",
                                    kCommands));
}

void BM_ThroughTheBridge(benchmark::State& state) {
    auto container = testsupport::TestContainer::create();
    auto echo = container->addEchoPlugin();
    for (auto _ : state) {
        state.PauseTiming();
        echo->calls.clear();
        pageMakesCalls(*container);
        const std::string batch = container->eval("hybrid.require('hybrid/exec').nativeFetchMessages()");
        state.ResumeTiming();

        container->queue().enqueueCommandBatch(batch);
        container->queue().executePending();
        platform::RunLoop::main().runUntil([&] { return echo->calls.size() == kCommands && !container->queue().currentlyExecuting(); }, 60);
    }
    if (container->eval("String(answered)") != std::to_string(2 * kCommands)) state.SkipWithError("callbacks missing");
    state.SetItemsProcessed(state.iterations() * kCommands);
}

void BM_DirectEvaluation(benchmark::State& state) {
    auto container = testsupport::TestContainer::create();
    auto webView = container->webView();
    for (auto _ : state) {
        state.PauseTiming();
        pageMakesCalls(*container);
        container->eval("hybrid.require('hybrid/exec').nativeFetchMessages()");
        const int first = std::stoi(container->eval("Object.keys(hybrid.callbacks)[0].substring(4)"));
        std::vector<std::string> scripts;
        scripts.reserve(kCommands);
        for (int i = 0; i < kCommands; ++i)
            scripts.push_back(platform::format("hybrid.require('hybrid/exec').nativeCallback('Echo%d',1,[\"hello\",%d],0)",
                                               first + i, i));
        state.ResumeTiming();

        for (const std::string& script : scripts) benchmark::DoNotOptimize(webView->stringByEvaluatingJavaScriptFromString(script));
    }
    if (container->eval("String(answered)") != std::to_string(2 * kCommands)) state.SkipWithError("callbacks missing");
    state.SetItemsProcessed(state.iterations() * kCommands);
}

// Medians of several runs: the machines are shared, and one noisy run must not decide the figure.
BENCHMARK(BM_ThroughTheBridge)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_DirectEvaluation)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    platform::RunLoop::main().bindToCurrentThread();
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double bridge = reporter.median("BM_ThroughTheBridge");
    const double direct = reporter.median("BM_DirectEvaluation");
    if (bridge <= 0 || direct <= 0) {
        std::printf("bridge_overhead_ratio: unavailable\n");
        return 1;
    }
    std::printf("bridge_overhead_ratio: %.3f\n", bridge / direct);
    return 0;
}
