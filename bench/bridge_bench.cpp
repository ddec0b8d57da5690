// What the native side adds to a page's calls: 1,000 commands go through the
// whole bridge (batch text -> queue -> plugin action -> sendPluginResult ->
// nativeCallback evaluated in the page -> the page's callback), and the same
// 1,000 nativeCallback scripts are evaluated directly. The two run as many
// short pairs, taking turns at going first, and each pair gives the ratio of
// its two times: load that comes and goes on a shared machine then moves both
// halves of a pair alike, and the median of the pairs' ratios holds still.
// Times are the process's CPU time (the batch is parsed on a worker thread),
// so the time other programs take the processor from us does not count.
//
// Then five batches of 100,000 commands go through the bridge one after the
// other, and the process's resident size after each is printed: it must level
// off after the first batch, or the program fails.
//
// HYBRID_BENCH_SHORT=1: 20 pairs, and batches of 40,000.
//
// The last line is `bridge_overhead_ratio: R`.
#include <benchmark/benchmark.h>

#include "MedianReporter.h"
#include "ShortMode.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tools/harness/BridgeHarness.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"

namespace {

constexpr int kCommands = 1000;
constexpr const char* kFetchMessages = "hybrid.require('hybrid/exec').nativeFetchMessages()";

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// A page calling the echo plugin, and the two ways its calls get answered.
class EchoPage {
public:
    EchoPage() : container_(testsupport::TestContainer::create()), echo_(container_->addEchoPlugin()) {
        container_->eval("var answered = 0;");
    }

    // The page makes `count` calls, each with a callback; returns the number
    // of the first callback id ("Echo<number>", numbered on from there).
    long long pageMakesCalls(int count) {
        made_ += count;
        const std::string first = container_->eval(platform::format(R"((function () {
            var first;
            for (var i = 0; i < %d; i++) {
                var id = hybrid.exec(function (m) { answered += m.length; }, null, 'Echo', 'echo', ['hello', i]);
                if (i === 0) first = id;
            }
            return first.substring(4);
        })())",
                                                                    count));
        return std::atoll(first.c_str());
    }

    // The calls' batch through queue, plugin and command delegate until every one is answered.
    double throughTheBridge(int count) {
        echo_->calls.clear();
        pageMakesCalls(count);
        const std::string batch = container_->eval(kFetchMessages);
        const double start = cpuSeconds();
        container_->queue().enqueueCommandBatch(batch);
        container_->queue().executePending();
        platform::RunLoop::main().runUntil(
            [&] {
                return echo_->calls.size() == static_cast<std::size_t>(count) &&
                       !container_->queue().currentlyExecuting();
            },
            600);
        return cpuSeconds() - start;
    }

    // The same answers' scripts, evaluated in the page one by one.
    double directEvaluation(int count) {
        const long long first = pageMakesCalls(count);
        container_->eval(kFetchMessages);  // these calls are answered here, not by the plugin
        std::vector<std::string> scripts;
        scripts.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            scripts.push_back(platform::format(
                "hybrid.require('hybrid/exec').nativeCallback('Echo%lld',1,[\"hello\",%d],0)", first + i, i));
        platform::WebView& webView = *container_->webView();
        const double start = cpuSeconds();
        for (const std::string& script : scripts)
            benchmark::DoNotOptimize(webView.stringByEvaluatingJavaScriptFromString(script));
        return cpuSeconds() - start;
    }

    // Whether every call made so far reached its callback (each answer adds 2).
    bool allAnswered() { return container_->eval("String(answered)") == std::to_string(2 * made_); }

private:
    std::shared_ptr<testsupport::TestContainer> container_;
    std::shared_ptr<testsupport::EchoPlugin> echo_;
    long long made_ = 0;
};

std::vector<double> g_ratios;

// One iteration is one pair; the even ones send through the bridge first.
void BM_BridgeOverhead(benchmark::State& state) {
    EchoPage page;
    for (int warmUp = 0; warmUp < 4; ++warmUp) {
        page.throughTheBridge(kCommands);
        page.directEvaluation(kCommands);
    }
    std::vector<double> bridge, direct;
    g_ratios.clear();
    for (auto _ : state) {
        double throughBridge = 0, directly = 0;
        if (bridge.size() % 2 == 0) {
            throughBridge = page.throughTheBridge(kCommands);
            directly = page.directEvaluation(kCommands);
        } else {
            directly = page.directEvaluation(kCommands);
            throughBridge = page.throughTheBridge(kCommands);
        }
        bridge.push_back(throughBridge);
        direct.push_back(directly);
        if (directly > 0) g_ratios.push_back(throughBridge / directly);
        state.SetIterationTime(throughBridge + directly);
    }
    if (!page.allAnswered()) {
        state.SkipWithError("callbacks missing");
        g_ratios.clear();
        return;
    }
    state.counters["bridge_us"] = median(bridge) * 1e6 / kCommands;
    state.counters["direct_us"] = median(direct) * 1e6 / kCommands;
    state.counters["ratio"] = median(g_ratios);
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

// Sends `batches` batches of `commands` calls; prints the resident size after
// each and whether it levelled off. The first batch may grow the process (the
// engine's and the allocator's pools); after it, growth of more than 1 MiB
// per 1,000 calls of a batch is memory kept for good.
bool memoryLevelsOff(int batches, int commands) {
    EchoPage page;
    std::vector<long> resident;
    std::string figures;
    for (int i = 0; i < batches; ++i) {
        page.throughTheBridge(commands);
        resident.push_back(residentKiB() / 1024);
        figures += " " + std::to_string(resident.back());
    }
    const long growth = resident.back() - resident[1];
    const long limit = commands / 1000;
    const bool answered = page.allAnswered();
    std::string verdict = "levels off";
    if (!answered)
        verdict = "callbacks missing";
    else if (growth > limit)
        verdict = platform::format("grew %ld MiB after the first, more than %ld", growth, limit);
    std::printf("bridge_memory: resident MiB after each of %d batches of %d calls:%s (%s)\n", batches, commands,
                figures.c_str(), verdict.c_str());
    return answered && growth <= limit;
}

}  // namespace

int main(int argc, char** argv) {
    platform::RunLoop::main().bindToCurrentThread();
    benchmark::Initialize(&argc, argv);
    const bool brief = benchShortMode();
    bool memoryFlat = false;
    {
        // On a loaded machine a plugin action can pass the queue's warning time
        // in wall time; those warnings say nothing here, anything else is shown.
        platform::LogCapture log;
        benchmark::RegisterBenchmark("BM_BridgeOverhead", BM_BridgeOverhead)
            ->Iterations(brief ? 20 : 300)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        MedianReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        memoryFlat = memoryLevelsOff(5, brief ? 40000 : 100000);
        for (const std::string& line : log.lines())
            if (line.rfind("THREAD WARNING", 0) != 0) std::printf("log: %s\n", line.c_str());
    }
    benchmark::Shutdown();
    if (g_ratios.empty()) {
        std::printf("bridge_overhead_ratio: unavailable\n");
        return 1;
    }
    std::printf("bridge_overhead_ratio: %.3f\n", median(g_ratios));
    return memoryFlat ? 0 : 1;
}
