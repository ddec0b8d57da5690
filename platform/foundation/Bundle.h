#pragma once
// An app bundle: a folder holding the app's resources (Info.plist, config.xml,
// www/, images). Read-only after creation; safe to read from any thread.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {

class Bundle {
public:
    explicit Bundle(std::string root);

    // The bundle the app runs from; set once at start-up (tests set their own).
    static Bundle& main();
    static void setMain(const std::string& root);

    const std::string& bundlePath() const { return root_; }

    // The bundle's Info.plist (read once, through libplist); an empty
    // dictionary when it is missing or unreadable (logged).
    const Dictionary& infoDictionary() const;
    Value objectForInfoDictionaryKey(const std::string& key) const;
    // "CFBundleIdentifier" of Info.plist, "" when absent.
    std::string bundleIdentifier() const;

    // Path of resource `name` (with its extension when `type` is empty, else
    // name + "." + type) in sub-directory `directory` of the bundle, or nothing
    // when no such regular file exists.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type,
                                               const std::string& directory = {}) const;

    // The string under `key` in the strings table `table` ("Localizable" when
    // empty) of the bundle's development region ("en" unless Info.plist's
    // CFBundleDevelopmentRegion names another), else of Base.lproj; `value`
    // when no table holds the key (the key itself when `value` is empty).
    // Tables are files of "key" = "value"; lines, read once each.
    std::string localizedStringForKeyValueTable(const std::string& key, const std::string& value,
                                                const std::string& table) const;

private:
    std::string root_;
    // Shared so that bundles stay copyable; read once, on first use.
    struct InfoCache {
        std::once_flag once;
        Dictionary info;
        std::mutex tablesMutex;
        std::map<std::string, std::map<std::string, std::string>> tables;
    };
    std::shared_ptr<InfoCache> infoCache_ = std::make_shared<InfoCache>();
};

}  // namespace platform
