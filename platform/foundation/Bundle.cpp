#include "platform/foundation/Bundle.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

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

const Dictionary& Bundle::infoDictionary() const {
    InfoCache& cache = *infoCache_;
    std::call_once(cache.once, [&] {
        const fs::path file = fs::path(root_) / "Info.plist";
        std::error_code ec;
        const fs::file_status status = fs::status(file, ec);
        // Many bundles (tests, bare resource folders) carry no Info.plist: not worth a line.
        if (status.type() == fs::file_type::not_found) return;
        if (ec) {
            log("Bundle: cannot read " + file.string() + ": " + ec.message());
            return;
        }
        // Anything but a plain file (a FIFO would block the read for good) is refused unread.
        if (status.type() != fs::file_type::regular) {
            log("Bundle: " + file.string() + " is not a regular file; using an empty info dictionary");
            return;
        }
        PropertyListReadResult read = readPropertyListFile(file.string());
        if (!read.value) {
            log("Bundle: cannot read Info.plist: " + read.error);
            return;
        }
        if (Dictionary* dictionary = read.value->dictionary()) {
            cache.info = std::move(*dictionary);
            return;
        }
        log("Bundle: " + file.string() + " holds no dictionary; using an empty info dictionary");
    });
    return cache.info;
}

Value Bundle::objectForInfoDictionaryKey(const std::string& key) const {
    const Dictionary& info = infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? Value() : it->second;
}

std::string Bundle::bundleIdentifier() const {
    const Value identifier = objectForInfoDictionaryKey("CFBundleIdentifier");
    const std::string* text = identifier.string();
    return text ? *text : std::string();
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
