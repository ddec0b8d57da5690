#pragma once
// A scanner whose clock is the filmed camera's, a fixed day moved on by the
// test frame by frame, so waits measured in time (the expiry's second) are
// counted in frames as on a phone.

#include <cstdint>
#include <memory>

#include "cardscanner/analysis/ZeduVICardScanner.h"

namespace cardscanner::testing {

inline constexpr std::uint64_t kFilmedDayMilliseconds = 1750068000000ull;  // 16 June 2025, 10:00 UTC

inline std::shared_ptr<ZeduVICardScanner> scannerOnClock(std::shared_ptr<std::uint64_t> now) {
    auto scanner = std::make_shared<ZeduVICardScanner>();
    ScannerState state = scanner->scannerState();
    state.clock = [now] { return *now; };
    scanner->setScannerState(state);
    return scanner;
}

}  // namespace cardscanner::testing
