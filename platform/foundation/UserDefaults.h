#pragma once
// User defaults: small persistent settings.
//
// Lookups search the application domain first, then the registration domain.
// The application domain is kept in a property list file when the defaults
// have one (the app's Library/Preferences file); it is read on creation and
// written by synchronize(). The registration domain lives in memory only.
// Thread-safe.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {

class UserDefaults {
public:
    // The process's defaults; in memory only until setStandardFile() names a file.
    static UserDefaults& standard();
    // Points the standard defaults at a property list file and loads it.
    static void setStandardFile(const std::string& path);

    UserDefaults() = default;
    explicit UserDefaults(std::string path);  // loads the file when it exists

    Value objectForKey(const std::string& key) const;  // nil when absent
    std::string stringForKey(const std::string& key) const;  // "" unless a string
    std::int64_t integerForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    void setObject(const std::string& key, Value value);  // nil removes
    void removeObjectForKey(const std::string& key);
    void registerDefaults(const Dictionary& defaults);  // merged into the registration domain
    Dictionary registeredDefaults() const;

    // Writes the application domain to its file; true when it has none or the write worked.
    bool synchronize();
    // Drops both domains and rereads the file (tests).
    void reload();
    void clear();
    const std::string& path() const { return path_; }

private:
    void loadLocked();
    mutable std::mutex mutex_;
    std::string path_;
    Dictionary application_;
    Dictionary registration_;
};

}  // namespace platform
