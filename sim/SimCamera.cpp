#include "sim/SimCamera.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/VideoFileSource.h"
#include "platform/foundation/Log.h"
#include "platform/ui/ImagePickerController.h"
#include "sim/FilmedCardSource.h"
#include "sim/Steps.h"

namespace sim {
namespace {

bool parseSeed(const std::string& text, std::uint64_t& seed) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    seed = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

bool installCamera(const std::string& described, const std::string& baseDirectory, std::string& error) {
    const auto colon = described.find(':');
    const std::string kind = described.substr(0, colon);
    const std::string rest = colon == std::string::npos ? std::string() : described.substr(colon + 1);
    std::shared_ptr<platform::FrameSource> source;
    if (kind == "none" && rest.empty()) {
        source = nullptr;
    } else if (kind == "filmed") {
        camera_frames::FilmedCardSource::Options options;
        const auto second = rest.find(':');
        const std::string seed = rest.substr(0, second);
        const std::string light = second == std::string::npos ? std::string() : rest.substr(second + 1);
        if ((colon != std::string::npos && !parseSeed(seed, options.seed)) ||
            (second != std::string::npos && light != "dark")) {
            error = "camera '" + described + "': expected filmed, filmed:SEED or filmed:SEED:dark";
            return false;
        }
        options.dark = light == "dark";
        // Someone opening the camera takes a moment to bring the card in:
        // long enough to see the guide before any edge is found.
        options.emptyFrames = 36;
        auto filmed = std::make_shared<camera_frames::FilmedCardSource>(options);
        platform::logf("camera: filmed card ending %s", filmed->cardNumber().substr(filmed->cardNumber().size() >= 4 ? filmed->cardNumber().size() - 4 : 0).c_str());
        source = std::move(filmed);
    } else if ((kind == "video" || kind == "image") && !rest.empty()) {
        std::filesystem::path path(rest);
        if (path.is_relative() && !baseDirectory.empty()) path = std::filesystem::path(baseDirectory) / path;
        const std::string file = path.lexically_normal().string();
        source = kind == "video" ? platform::VideoFileSource::openFile(file, &error)
                                 : platform::VideoFileSource::openImage(file, &error);
    } else if (kind == "v4l2" && !rest.empty()) {
        source = platform::VideoFileSource::openCamera(rest, &error);
    } else {
        error = "camera '" + described + "': expected filmed[:SEED[:dark]], video:PATH, image:PATH, v4l2:DEVICE or none";
        return false;
    }
    // Only "none" has no source to film.
    if (!source && kind != "none") {
        error = "camera '" + described + "': " + error;
        return false;
    }
    platform::UIImagePickerController::setCameraAvailable(source != nullptr);
    platform::setCameraFrameSource(std::move(source));
    return true;
}

namespace {

constexpr std::pair<const char*, platform::AVAuthorizationStatus> kPermissions[] = {
    {"notDetermined", platform::AVAuthorizationStatusNotDetermined},
    {"restricted", platform::AVAuthorizationStatusRestricted},
    {"denied", platform::AVAuthorizationStatusDenied},
    {"authorized", platform::AVAuthorizationStatusAuthorized},
};

}  // namespace

bool setCameraPermission(const std::string& name, std::string& error) {
    for (const auto& [known, status] : kPermissions) {
        if (name != known) continue;
        platform::setCameraAuthorizationStatus(status);
        return true;
    }
    error = "camera permission '" + name + "': expected notDetermined, restricted, denied or authorized";
    return false;
}

const std::vector<std::string>& cameraPermissionNames() {
    static const std::vector<std::string> names = namesOf(kPermissions);
    return names;
}

}  // namespace sim
