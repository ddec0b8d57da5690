// What a page's localStorage.setItem costs with the store's folder on a disk
// against the same with it on tmpfs (/dev/shm), where a sync costs nothing:
// 500 writes in one run-loop turn, and 50 writes each in a turn of its own.
// Each iteration is a pair, disk and tmpfs taking turns at going first, and
// gives the ratio of its two times: load that comes and goes on a shared
// machine moves both halves of a pair alike, and the median of the ratios
// holds still. Times are wall-clock times, as a sync is a wait, not work.
// The disk's folder is made in TMPDIR (/tmp by default); the file system each
// folder is on is printed.
//
// HYBRID_BENCH_SHORT=1: 4 pairs a case.
//
// The last line is `storage_write_ratio: R1 (500 in one turn), R2 (50 in turns of their own)`.
#include <benchmark/benchmark.h>
#include <sys/vfs.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "MedianReporter.h"
#include "ShortMode.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/WebStorage.h"

namespace {

constexpr const char* kTmpfs = "/dev/shm";

// One origin's store in a folder of its own under `parent`.
class Store {
public:
    explicit Store(const std::string& parent) {
        std::string pattern = parent + "/storage-bench.XXXXXX";
        if (::mkdtemp(pattern.data())) folder_ = pattern;
        if (!folder_.empty()) area_ = platform::StorageArea::local(folder_, "file__0");
        // The file and its WAL are made by the first write, which is not timed.
        ok_ = area_ && area_->setItem("seed", "x") == platform::StorageWriteResult::Saved;
    }
    ~Store() {
        area_.reset();
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool ok() const { return ok_; }

    // Seconds for `count` writes of new values, all in one turn or each in a turn of its own.
    double writes(int count, bool ownTurns, int round) {
        const std::string value = std::to_string(round) + std::string(120, 'v');
        auto& loop = platform::RunLoop::main();
        auto write = [this, &value](int i) {
            ok_ = area_->setItem("key" + std::to_string(i), value) == platform::StorageWriteResult::Saved && ok_;
        };
        const auto start = std::chrono::steady_clock::now();
        if (ownTurns) {
            for (int i = 0; i < count; ++i) {
                loop.post([&write, i] { write(i); });
                loop.runOnce();
            }
        } else {
            loop.post([&write, count] {
                for (int i = 0; i < count; ++i) write(i);
            });
            loop.runOnce();
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    std::string folder_;
    std::shared_ptr<platform::StorageArea> area_;
    bool ok_ = false;
};

std::string fileSystemOf(const std::string& folder) {
    struct statfs status {};
    if (::statfs(folder.c_str(), &status) != 0) return "unknown";
    const auto type = static_cast<unsigned long>(status.f_type);
    if (type == 0xEF53) return "ext4";
    if (type == 0x01021994) return "tmpfs";
    char name[32];
    std::snprintf(name, sizeof name, "file system 0x%lx", type);
    return name;
}

std::string diskParent() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

double g_ratio[2] = {0, 0};

// range(0): 0 for 500 writes in one turn, 1 for 50 writes in turns of their own.
void BM_SetItemDiskOverTmpfs(benchmark::State& state) {
    const bool ownTurns = state.range(0) == 1;
    const int count = ownTurns ? 50 : 500;
    Store disk(diskParent());
    Store tmpfs(kTmpfs);
    if (!disk.ok() || !tmpfs.ok()) {
        state.SkipWithError("a store could not be made or written");
        return;
    }
    std::vector<double> diskTimes, tmpfsTimes, ratios;
    int round = 0;
    for (auto _ : state) {
        double onDisk = 0, onTmpfs = 0;
        if (round % 2 == 0) {
            onDisk = disk.writes(count, ownTurns, round);
            onTmpfs = tmpfs.writes(count, ownTurns, round);
        } else {
            onTmpfs = tmpfs.writes(count, ownTurns, round);
            onDisk = disk.writes(count, ownTurns, round);
        }
        ++round;
        diskTimes.push_back(onDisk);
        tmpfsTimes.push_back(onTmpfs);
        if (onTmpfs > 0) ratios.push_back(onDisk / onTmpfs);
        state.SetIterationTime(onDisk + onTmpfs);
    }
    if (!disk.ok() || !tmpfs.ok()) {
        state.SkipWithError("a write was refused");
        return;
    }
    state.counters["disk_us"] = median(diskTimes) * 1e6 / count;
    state.counters["tmpfs_us"] = median(tmpfsTimes) * 1e6 / count;
    state.counters["ratio"] = g_ratio[ownTurns ? 1 : 0] = median(ratios);
}

}  // namespace

int main(int argc, char** argv) {
    platform::RunLoop::main().bindToCurrentThread();
    const int pairs = benchShortMode() ? 4 : 40;
    for (int ownTurns : {0, 1})
        benchmark::RegisterBenchmark("BM_SetItemDiskOverTmpfs", BM_SetItemDiskOverTmpfs)
            ->Arg(ownTurns)
            ->Iterations(pairs)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    std::printf("storage: disk folder in %s (%s), tmpfs folder in %s (%s)\n", diskParent().c_str(),
                fileSystemOf(diskParent()).c_str(), kTmpfs, fileSystemOf(kTmpfs).c_str());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (g_ratio[0] <= 0 || g_ratio[1] <= 0) {
        std::printf("storage_write_ratio: unavailable\n");
        return 1;
    }
    std::printf("storage_write_ratio: %.2f (500 in one turn), %.2f (50 in turns of their own)\n", g_ratio[0],
                g_ratio[1]);
    return 0;
}
