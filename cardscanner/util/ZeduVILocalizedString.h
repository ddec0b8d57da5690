#pragma once
// The scanner's own user-facing texts, one strings table per language
// (cardscanner/resources/strings/<language>.json), built into the library so
// no resource path is needed at run time. Safe on any thread.

#include <string>

namespace platform {
class Bundle;
}

namespace cardscanner {

// The text of `key` for a language ("fr") or locale ("fr_CA", "fr-CA"):
// looked up in the locale's table, then the language's, then English; a key
// that no table knows comes back as the key itself. An empty language means
// the device's locale. The bundle is accepted for the callers' sake and not
// read: the tables live in the library.
std::string localized_string(const std::string& key, const std::string& languageOrLocale = {},
                             const platform::Bundle* bundle = nullptr);

}  // namespace cardscanner
