#pragma once
// The failure of a fatal assertion: a programming or configuration error that
// would stop the app on the phone. Thrown so that tests can see it; nothing
// catches it in the running system.

#include <stdexcept>
#include <string>

namespace platform {

class AssertionFailure : public std::logic_error {
public:
    explicit AssertionFailure(const std::string& description) : std::logic_error(description) {}
    std::string description() const { return what(); }
};

}  // namespace platform
