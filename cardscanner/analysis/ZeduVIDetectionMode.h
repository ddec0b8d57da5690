#pragma once
// What a scan looks for: the card number, only a picture of the card, or the
// number first with a fall-back to the picture (the capture stream switches
// an automatic scan to image mode when it gives up on the number).

#include <cstdint>

namespace cardscanner {

enum ZeduVIDetectionMode : std::int64_t {
    ZeduVIDetectionModeNumber = 0,
    ZeduVIDetectionModeImage = 1,
    ZeduVIDetectionModeAuto = 2,
};

}  // namespace cardscanner
