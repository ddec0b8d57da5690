#pragma once
// A class's table of named actions: action name -> member function taking one
// argument. "Responds to selector" is a look-up in it; nothing outside the
// table can be called by name.

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

template <class Receiver, class Argument>
class ActionTable {
public:
    using Action = std::function<void(Receiver&, Argument)>;

    ActionTable() = default;

    // The table of a class derived from Receiver: {{"name", &Derived::method}, ...}.
    template <class Derived>
    static ActionTable of(std::initializer_list<std::pair<const char*, void (Derived::*)(Argument)>> entries) {
        ActionTable table;
        // Not a structured binding: clang before 16 cannot capture one.
        for (const auto& entry : entries) {
            table.actions_[entry.first] = [method = entry.second](Receiver& receiver, Argument argument) {
                (static_cast<Derived&>(receiver).*method)(std::forward<Argument>(argument));
            };
        }
        return table;
    }

    bool contains(std::string_view name) const { return actions_.find(name) != actions_.end(); }

    // Calls the action; false when the table has none of that name.
    bool invoke(Receiver& receiver, std::string_view name, Argument argument) const {
        auto it = actions_.find(name);
        if (it == actions_.end()) return false;
        it->second(receiver, std::forward<Argument>(argument));
        return true;
    }

private:
    std::map<std::string, Action, std::less<>> actions_;
};

}  // namespace platform
