#include "platform/foundation/UserDefaults.h"

#include <filesystem>
#include <system_error>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/PropertyList.h"

namespace platform {
namespace {

// Whether `value` can go into the defaults file at all. Checked when a value is
// set, because by synchronize() time nobody would know where a null came from.
bool isStorable(const Value& value) {
    switch (value.type()) {
    case Value::Type::Nil:
    case Value::Type::Null:
        return false;
    case Value::Type::Array:
        for (const Value& element : *value.array())
            if (!isStorable(element)) return false;
        return true;
    case Value::Type::Dictionary:
        for (const auto& [key, member] : *value.dictionary())
            if (!isStorable(member)) return false;
        return true;
    default:
        return true;
    }
}

}  // namespace

UserDefaults& UserDefaults::standard() {
    static NeverDestroyed<UserDefaults> defaults{ResetStage::Preferences, [](UserDefaults& d) {
        std::lock_guard lock(d.mutex_);
        d.path_.clear();
        d.application_.clear();
        d.registration_.clear();
    }};
    return *defaults;
}

void UserDefaults::setStandardFile(const std::string& path) {
    UserDefaults& defaults = standard();
    std::lock_guard lock(defaults.mutex_);
    defaults.path_ = path;
    defaults.application_.clear();
    defaults.loadLocked();
}

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {
    std::lock_guard lock(mutex_);
    loadLocked();
}

void UserDefaults::loadLocked() {
    if (path_.empty()) return;
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return;  // a first run has no file yet
    PropertyListReadResult result = readPropertyListFile(path_);
    if (!result.value) {
        log("UserDefaults: ignoring unreadable defaults file: " + result.error);
        return;
    }
    if (!result.value->isDictionary()) {
        log("UserDefaults: ignoring defaults file " + path_ + ": its root is not a dictionary");
        return;
    }
    application_ = std::move(*result.value->dictionary());
}

Value UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = application_.find(key); it != application_.end()) return it->second;
    if (auto it = registration_.find(key); it != registration_.end()) return it->second;
    return Value();
}

std::string UserDefaults::stringForKey(const std::string& key) const {
    Value value = objectForKey(key);
    const std::string* text = value.string();
    return text ? *text : std::string();
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).integerValue(); }

bool UserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }

void UserDefaults::setObject(const std::string& key, Value value) {
    if (value.isNil()) {
        removeObjectForKey(key);
        return;
    }
    if (!isStorable(value)) {
        log("UserDefaults: not storing key '" + key + "': null values cannot be kept in defaults");
        return;
    }
    std::lock_guard lock(mutex_);
    application_[key] = std::move(value);
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    application_.erase(key);
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : defaults) {
        if (value.isNil()) continue;
        registration_[key] = value;
    }
}

Dictionary UserDefaults::registeredDefaults() const {
    std::lock_guard lock(mutex_);
    return registration_;
}

bool UserDefaults::synchronize() {
    // The lock is held through the write so that two racing synchronize()
    // calls cannot land an older snapshot over a newer one.
    std::lock_guard lock(mutex_);
    if (path_.empty()) return true;
    const std::filesystem::path parent = std::filesystem::path(path_).parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            log("UserDefaults: cannot create " + parent.string() + ": " + ec.message());
            return false;
        }
    }
    if (!writePropertyListFile(Value(application_), path_, PropertyListFormat::Xml)) {
        log("UserDefaults: could not save defaults to " + path_);
        return false;
    }
    return true;
}

void UserDefaults::reload() {
    std::lock_guard lock(mutex_);
    application_.clear();
    registration_.clear();
    loadLocked();
}

void UserDefaults::clear() {
    std::lock_guard lock(mutex_);
    application_.clear();
    registration_.clear();
}

}  // namespace platform
