#include "cardscanner/util/ZeduVIBundle.h"

#include <map>
#include <mutex>

#include "cardscanner/util/ZeduVIBundleImages.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/Image.h"

namespace cardscanner {

std::shared_ptr<platform::UIImage> ZeduVIBundle::imageNamed(const std::string& path) {
    static std::mutex mutex;
    // No reset: the embedded images never change.
    static platform::NeverDestroyed<std::map<std::string, std::shared_ptr<platform::UIImage>>> cache;
    auto& decoded = *cache;
    std::lock_guard lock(mutex);
    if (const auto found = decoded.find(path); found != decoded.end()) return found->second;
    for (const EmbeddedBundleImage& image : embeddedBundleImages()) {
        if (path != image.path) continue;
        auto result = platform::UIImage::imageWithData(platform::Data(image.bytes, image.bytes + image.size));
        decoded.emplace(path, result);
        return result;
    }
    return nullptr;
}

}  // namespace cardscanner
