#include "platform/foundation/Bundle.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

// A resource request names a place inside the bundle; anything that could climb
// out of it (an absolute path, a ".." step) is refused rather than resolved,
// since names may come from the page.
bool staysInside(const fs::path& relative) {
    if (relative.has_root_name() || relative.has_root_directory()) return false;
    for (const fs::path& part : relative)
        if (part == "..") return false;
    return true;
}

std::mutex& mainMutex() {
    static std::mutex mutex;
    return mutex;
}

Bundle& mainBundleLocked() {
    static Bundle bundle([] {
        std::error_code ec;
        fs::path cwd = fs::current_path(ec);
        return ec ? std::string(".") : cwd.string();
    }());
    return bundle;
}

}  // namespace

Bundle::Bundle(std::string root) : root_(std::move(root)) {}

Bundle& Bundle::main() {
    std::lock_guard lock(mainMutex());
    return mainBundleLocked();
}

void Bundle::setMain(const std::string& root) {
    std::lock_guard lock(mainMutex());
    // Assigned in place so references handed out by main() stay valid.
    mainBundleLocked() = Bundle(root);
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type,
                                                   const std::string& directory) const {
    if (name.empty()) return std::nullopt;
    const fs::path file = type.empty() ? fs::path(name) : fs::path(name + "." + type);
    const fs::path folder(directory);
    if (!staysInside(file) || !staysInside(folder)) return std::nullopt;

    fs::path candidate(root_);
    if (!directory.empty()) candidate /= folder;
    candidate /= file;
    std::error_code ec;
    if (!fs::is_regular_file(candidate, ec)) return std::nullopt;
    return candidate.string();
}

}  // namespace platform
