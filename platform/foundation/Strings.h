#pragma once
// Text helpers with the platform's semantics. All texts are UTF-8.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Length in UTF-16 code units, the unit the platform counts string lengths in.
// Invalid UTF-8 bytes count one unit each.
std::size_t utf16Length(std::string_view text);

// Compares dotted version texts numerically, component by component, missing
// components counting as 0: "5.1" < "6.0" < "7.0" < "10.0". Returns <0, 0, >0.
int compareVersions(std::string_view a, std::string_view b);

// Percent-escapes every byte outside the unreserved set (A-Z a-z 0-9 - . _ ~)
// plus the bytes listed in `keep`.
std::string percentEscape(std::string_view text, std::string_view keep = {});
// Decodes %XX escapes as UTF-8. Empty on a malformed escape or invalid UTF-8.
std::optional<std::string> percentUnescape(std::string_view text);

// The value of a hexadecimal digit in either case; -1 for any other character.
int hexDigitValue(char c);

// Whether `text` is valid UTF-8.
bool isValidUtf8(std::string_view text);

// ASCII case-insensitive comparison (the only case folding the bridge needs:
// service names, preference keys, header names).
int caseInsensitiveCompare(std::string_view a, std::string_view b);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);

bool startsWith(std::string_view text, std::string_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);

// printf-style formatting into a std::string, for the system's log texts.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
