#pragma once
// JSON texts of arrays and dictionaries, and values of JSON texts, with the
// bridge's log lines on failure.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

namespace hybrid {

// Compact text; nothing (and the log "NSArray JSONString error: ...") on failure.
std::optional<std::string> JSONString(const platform::Array& array);
// Pretty-printed text; nothing (and "NSDictionary JSONString error: ...") on failure.
std::optional<std::string> JSONString(const platform::Dictionary& dictionary);
// The value of a text whose top level is an array or an object; nothing (and
// "NSString JSONObject error: ...") otherwise.
std::optional<platform::Value> JSONObject(std::string_view text);
// As JSONObject, but a bare scalar at top level is accepted too.
std::optional<platform::Value> JSONFragment(std::string_view text);

inline std::optional<std::string> hyb_JSONString(const platform::Array& a) { return JSONString(a); }
inline std::optional<std::string> hyb_JSONString(const platform::Dictionary& d) { return JSONString(d); }
inline std::optional<platform::Value> hyb_JSONObject(std::string_view text) { return JSONObject(text); }
inline std::optional<platform::Value> hyb_JSONFragment(std::string_view text) { return JSONFragment(text); }

}  // namespace hybrid
