#pragma once
// HYBRID_BENCH_SHORT=1 runs a benchmark on a small sample, so that CI can run
// each once and see that it still builds, runs and prints its last line. The
// figures of a short run are not the ones the targets are judged by.

#include <cstdlib>
#include <cstring>

inline bool benchShortMode() {
    const char* value = std::getenv("HYBRID_BENCH_SHORT");
    return value && *value && std::strcmp(value, "0") != 0;
}
