#include "platform/foundation/Bundle.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
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

// The folder the process started in stands for the app's bundle until one is set.
std::string defaultMainRoot() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    return ec ? std::string(".") : cwd.string();
}

Bundle& mainBundleLocked() {
    static const NeverDestroyed<std::string> firstRoot{defaultMainRoot()};
    static NeverDestroyed<Bundle> bundle{ResetStage::Locations,
                                         [](Bundle& b) {
                                             std::lock_guard lock(mainMutex());
                                             b = Bundle(*firstRoot);
                                         },
                                         *firstRoot};
    return *bundle;
}

// A strings table: `"key" = "value";` entries, with C-style comments between
// them and backslash escapes inside the quotes. Reading stops at the first
// entry that does not parse (logged): the entries before it are kept.
std::map<std::string, std::string> parseStringsTable(const std::string& text, const std::string& name) {
    std::map<std::string, std::string> entries;
    // Some editors save a UTF-8 byte-order mark first.
    std::size_t at = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    auto skipBlanksAndComments = [&] {
        for (;;) {
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
            if (text.compare(at, 2, "//") == 0) {
                at = text.find('\n', at);
                if (at == std::string::npos) at = text.size();
            } else if (text.compare(at, 2, "/*") == 0) {
                const std::size_t end = text.find("*/", at + 2);
                at = end == std::string::npos ? text.size() : end + 2;
            } else {
                return;
            }
        }
    };
    auto quoted = [&](std::string& out) {
        if (at >= text.size() || text[at] != '"') return false;
        for (++at; at < text.size(); ++at) {
            char c = text[at];
            if (c == '"') {
                ++at;
                return true;
            }
            if (c == '\\') {
                if (++at == text.size()) return false;
                c = text[at];
                c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
            out.push_back(c);
        }
        return false;
    };
    for (skipBlanksAndComments(); at < text.size(); skipBlanksAndComments()) {
        std::string key, value;
        bool ok = quoted(key);
        skipBlanksAndComments();
        ok = ok && at < text.size() && text[at++] == '=';
        skipBlanksAndComments();
        ok = ok && quoted(value);
        skipBlanksAndComments();
        ok = ok && at < text.size() && text[at++] == ';';
        if (!ok) {
            log("Bundle: " + name + ": cannot read the strings after \"" + key + "\"; the rest is ignored");
            break;
        }
        entries[key] = value;
    }
    return entries;
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

std::string Bundle::localizedStringForKeyValueTable(const std::string& key, const std::string& value,
                                                    const std::string& table) const {
    const std::string name = (table.empty() ? std::string("Localizable") : table) + ".strings";
    const Value developmentRegion = objectForInfoDictionaryKey("CFBundleDevelopmentRegion");
    const std::string* region = developmentRegion.string();
    InfoCache& cache = *infoCache_;
    std::lock_guard lock(cache.tablesMutex);
    for (const std::string& folder : {(region ? *region : std::string("en")) + ".lproj", std::string("Base.lproj")}) {
        const auto path = pathForResource(name, "", folder);
        if (!path) continue;
        auto loaded = cache.tables.find(*path);
        if (loaded == cache.tables.end()) {
            std::ifstream file(*path, std::ios::binary);
            const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            loaded = cache.tables.emplace(*path, parseStringsTable(text, *path)).first;
        }
        if (const auto found = loaded->second.find(key); found != loaded->second.end()) return found->second;
    }
    return value.empty() ? key : value;
}

}  // namespace platform
