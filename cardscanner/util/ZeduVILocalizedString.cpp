#include "cardscanner/util/ZeduVILocalizedString.h"

#include <algorithm>
#include <map>
#include <vector>

#include "cardscanner/util/ZeduVIStringsTables.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Device.h"

namespace cardscanner {

namespace {

using StringsTable = std::map<std::string, std::string>;

// Lower-case with "_" between language and region, so "fr-CA" and "fr_ca" find "fr_CA"'s table.
std::string tableName(std::string name) {
    std::replace(name.begin(), name.end(), '-', '_');
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

const std::map<std::string, StringsTable>& tables() {
    static const std::map<std::string, StringsTable> loaded = [] {
        std::map<std::string, StringsTable> result;
        for (const EmbeddedStringsTable& embedded : embeddedStringsTables()) {
            const platform::JsonReadResult read = platform::readJson(embedded.json);
            const platform::Dictionary* entries = read.value ? read.value->dictionary() : nullptr;
            if (!entries) {
                platform::log("localized_string: strings table " + std::string(embedded.language) +
                              " is unreadable: " + read.error);
                continue;
            }
            StringsTable& table = result[tableName(embedded.language)];
            for (const auto& [key, value] : *entries) {
                if (const std::string* text = value.string()) table[key] = *text;
            }
        }
        return result;
    }();
    return loaded;
}

const std::string* lookUp(const std::string& table, const std::string& key) {
    const auto found = tables().find(table);
    if (found == tables().end()) return nullptr;
    const auto entry = found->second.find(key);
    return entry == found->second.end() ? nullptr : &entry->second;
}

}  // namespace

std::string localized_string(const std::string& key, const std::string& languageOrLocale,
                             const platform::Bundle*) {
    const std::string locale =
        tableName(languageOrLocale.empty() ? platform::UIDevice::currentDevice().localeIdentifier() : languageOrLocale);
    std::vector<std::string> candidates{locale};
    // "en_US.UTF-8" and "fr_CA@euro" name their language before any of these.
    const std::size_t languageEnd = locale.find_first_of("_.@");
    if (languageEnd != std::string::npos) candidates.push_back(locale.substr(0, languageEnd));
    candidates.push_back("en");
    for (const std::string& candidate : candidates) {
        if (const std::string* text = lookUp(candidate, key)) return *text;
    }
    return key;
}

}  // namespace cardscanner
