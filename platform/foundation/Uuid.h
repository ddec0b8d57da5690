#pragma once
// Random UUIDs as text, through libuuid.

#include <string>

namespace platform {

// A new random UUID in the platform's text form: 36 characters, upper-case
// hexadecimal in groups of 8-4-4-4-12 joined by "-".
std::string newUuidString();

}  // namespace platform
