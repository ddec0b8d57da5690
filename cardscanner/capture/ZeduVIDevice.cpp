#include "cardscanner/capture/ZeduVIDevice.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ui/Device.h"
#include "platform/ui/ImagePickerController.h"

namespace cardscanner {

std::string ZeduVIDevice::getSysInfoByName(const char* name) {
    if (name == nullptr || std::strcmp(name, "hw.machine") != 0) return {};
    return platform::UIDevice::currentDevice().machine();
}

std::string ZeduVIDevice::platformName() {
    return getSysInfoByName("hw.machine");
}

bool ZeduVIDevice::is3GS() {
    return platformName().starts_with("iPhone2");
}

bool ZeduVIDevice::hasVideoCamera() {
    using platform::UIImagePickerController;
    constexpr long camera = platform::UIImagePickerControllerSourceTypeCamera;
    if (!UIImagePickerController::isSourceTypeAvailable(camera)) return false;
    const std::vector<std::string> types = UIImagePickerController::availableMediaTypesForSourceType(camera);
    return std::find(types.begin(), types.end(), platform::kUTTypeMovie) != types.end();
}

bool ZeduVIDevice::shouldSetPixelFormat() {
    return !is3GS();
}

}  // namespace cardscanner
