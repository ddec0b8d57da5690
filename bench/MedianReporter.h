#pragma once
// The console report of Google Benchmark, also keeping the median of each
// benchmark's repetitions (in the benchmark's own time unit) for the figure
// the program prints last. No colours: the last line must be plain text.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }

    // The median of the named benchmark; 0 when it did not run or failed.
    double median(const std::string& benchmark) const {
        auto it = medians_.find(benchmark);
        return it == medians_.end() ? 0.0 : it->second;
    }

private:
    std::map<std::string, double> medians_;
};

// The median of plain values (the mean of the middle two for an even count);
// 0 for none.
inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
