#pragma once
// Class lookup by name: a table of factories keyed by class name. Filled in
// one visible place (the app's plugin list), never by static initialisers that
// the linker may drop. Thread-safe.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

template <class Base, class... Args>
class ClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<Base>(Args...)>;

    void registerClass(const std::string& name, Factory factory) {
        std::lock_guard lock(mutex_);
        factories_[name] = std::move(factory);
    }
    template <class Derived>
    void registerClass(const std::string& name) {
        registerClass(name, [](Args... args) { return std::make_shared<Derived>(args...); });
    }
    bool contains(const std::string& name) const {
        std::lock_guard lock(mutex_);
        return factories_.count(name) != 0;
    }
    // A new instance, or nullptr when no class of that name is registered.
    std::shared_ptr<Base> create(const std::string& name, Args... args) const {
        Factory factory;
        {
            std::lock_guard lock(mutex_);
            auto it = factories_.find(name);
            if (it == factories_.end()) return nullptr;
            factory = it->second;
        }
        return factory(args...);
    }
    std::vector<std::string> names() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> result;
        for (const auto& [name, factory] : factories_) result.push_back(name);
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, Factory> factories_;
};

}  // namespace platform
