#pragma once
// A few facts about the device the scanner runs on. No state; any thread.

#include <string>

namespace cardscanner {

class ZeduVIDevice {
public:
    // The system information value of that name ("hw.machine" is the only
    // one this platform knows); "" for an unknown or null name.
    static std::string getSysInfoByName(const char* name);
    static std::string platformName();
    // The old camera whose output keeps its own pixel format.
    static bool is3GS();
    static bool hasVideoCamera();
    static bool shouldSetPixelFormat();
};

}  // namespace cardscanner
