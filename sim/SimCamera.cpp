#include "sim/SimCamera.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

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

// "kind:rest" split at the first colon; `hasRest` tells "filmed:" from "filmed".
struct Described {
    std::string kind;
    std::string rest;
    bool hasRest;
};

Described split(const std::string& described) {
    const auto colon = described.find(':');
    return {described.substr(0, colon), colon == std::string::npos ? std::string() : described.substr(colon + 1),
            colon != std::string::npos};
}

// The filmed card's options from what follows "filmed:"; nothing when malformed.
std::optional<camera_frames::FilmedCardSource::Options> filmedOptions(const Described& source) {
    camera_frames::FilmedCardSource::Options options;
    const auto second = source.rest.find(':');
    const std::string light = second == std::string::npos ? std::string() : source.rest.substr(second + 1);
    if ((source.hasRest && !parseSeed(source.rest.substr(0, second), options.seed)) ||
        (second != std::string::npos && light != "dark"))
        return std::nullopt;
    options.dark = light == "dark";
    return options;
}

}  // namespace

const char* const kCameraSources =
    "filmed, filmed:SEED, filmed:SEED:dark, video:PATH, image:PATH, v4l2:INDEX_OR_PATH or none";

bool isCameraSource(const std::string& described) {
    const Described source = split(described);
    if (source.kind == "none") return !source.hasRest;
    if (source.kind == "filmed") return filmedOptions(source).has_value();
    return (source.kind == "video" || source.kind == "image" || source.kind == "v4l2") && !source.rest.empty();
}

std::string cameraSourceFile(const std::string& described, const std::string& baseDirectory) {
    const Described source = split(described);
    if ((source.kind != "video" && source.kind != "image") || source.rest.empty()) return {};
    std::filesystem::path path(source.rest);
    if (path.is_relative() && !baseDirectory.empty()) path = std::filesystem::path(baseDirectory) / path;
    return path.lexically_normal().string();
}

bool installCamera(const std::string& described, const std::string& baseDirectory, std::string& error) {
    const Described parts = split(described);
    const std::string& kind = parts.kind;
    const std::string& rest = parts.rest;
    std::shared_ptr<platform::FrameSource> source;
    if (kind == "none" && rest.empty()) {
        source = nullptr;
    } else if (kind == "filmed") {
        auto options = filmedOptions(parts);
        if (!options) {
            error = "camera '" + described + "': expected filmed, filmed:SEED or filmed:SEED:dark";
            return false;
        }
        // Someone opening the camera takes a moment to bring the card in:
        // long enough to see the guide before any edge is found.
        options->emptyFrames = 36;
        auto filmed = std::make_shared<camera_frames::FilmedCardSource>(*options);
        platform::logf("camera: filmed card ending %s", filmed->cardNumber().substr(filmed->cardNumber().size() >= 4 ? filmed->cardNumber().size() - 4 : 0).c_str());
        source = std::move(filmed);
    } else if ((kind == "video" || kind == "image") && !rest.empty()) {
        const std::string file = cameraSourceFile(described, baseDirectory);
        source = kind == "video" ? platform::VideoFileSource::openFile(file, &error)
                                 : platform::VideoFileSource::openImage(file, &error);
    } else if (kind == "v4l2" && !rest.empty()) {
        source = platform::VideoFileSource::openCamera(rest, &error);
    } else {
        error = "camera '" + described + "': expected " + kCameraSources;
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
    error = "camera permission '" + name + "': expected one of ";
    for (const std::string& known : cameraPermissionNames())
        error += (known == cameraPermissionNames().front() ? "" : ", ") + known;
    return false;
}

const std::vector<std::string>& cameraPermissionNames() {
    static const std::vector<std::string> names = namesOf(kPermissions);
    return names;
}

}  // namespace sim
