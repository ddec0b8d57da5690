#pragma once
// The identifier that tells this installation of the app from others.

#include <string>

namespace platform {
class UserDefaults;
}

namespace hybrid {

// The identifier of this installation, kept under the user-defaults key
// "HYBUUID": made and saved (defaults synchronised) on first request, the
// same text on every request after. Thread-safe.
std::string uniqueAppInstanceIdentifier();
std::string uniqueAppInstanceIdentifier(platform::UserDefaults& defaults);

}  // namespace hybrid
