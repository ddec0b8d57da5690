#include "hybrid/HYBJSONSerializing.h"

#include <utility>

#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"

namespace hybrid {

using platform::JsonReading;
using platform::JsonWriting;

std::optional<std::string> JSONString(const platform::Array& array) {
    auto result = platform::writeJson(platform::Value(array), JsonWriting::Compact);
    if (!result.text) platform::logf("NSArray JSONString error: %s", result.error.c_str());
    return result.text;
}

std::optional<std::string> JSONString(const platform::Dictionary& dictionary) {
    auto result = platform::writeJson(platform::Value(dictionary), JsonWriting::Pretty);
    if (!result.text) platform::logf("NSDictionary JSONString error: %s", result.error.c_str());
    return result.text;
}

std::optional<platform::Value> JSONObject(std::string_view text) {
    auto result = platform::readJson(text, JsonReading::Strict);
    if (!result.value) platform::logf("NSString JSONObject error: %s", result.error.c_str());
    // A member of a local is not moved from implicitly; a copy here would duplicate a whole batch.
    return std::move(result.value);
}

std::optional<platform::Value> JSONFragment(std::string_view text) {
    auto result = platform::readJson(text, JsonReading::AllowFragments);
    if (!result.value) platform::logf("NSString JSONObject error: %s", result.error.c_str());
    return std::move(result.value);
}

}  // namespace hybrid
