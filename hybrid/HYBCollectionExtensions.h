#pragma once
// Small helpers on arrays and dictionaries that the bridge and the plugins
// share: queue operations, defaulted element access and typed lookups.

#include <cstdint>
#include <string>

#include "platform/foundation/Value.h"

namespace hybrid {

// Queue operations on an array used first in, first out. Empty arrays give nil.
platform::Value queueHead(const platform::Array& queue);
platform::Value dequeue(platform::Array& queue);
platform::Value pop(platform::Array& queue);
void enqueue(platform::Array& queue, platform::Value value);

// The element, unless the index is out of range or the element is nil or null.
platform::Value objectAtIndex(const platform::Array& array, std::size_t index, const platform::Value& defaultValue);

// An index range: `location` is the lower bound and, as callers rely on,
// `length` the upper bound of a clamp.
struct HYBRange {
    std::uint64_t location = 0;
    std::uint64_t length = 0;
};

// Whether the key holds a string equal to `expected` ignoring case.
bool existsValue(const platform::Dictionary& dictionary, const std::string& expected, const std::string& key);
// The value's integer reading; the default when the key has no value or holds
// something without one (null, an array, a dictionary, data, a date).
std::int64_t integerValueForKeyDefaultValue(const platform::Dictionary& dictionary, const std::string& key,
                                            std::int64_t defaultValue);
// As above, then clamped into [range.location, range.length]. Both comparisons
// are unsigned, so a negative value ends at the upper bound.
std::int64_t integerValueForKeyDefaultValueWithRange(const platform::Dictionary& dictionary, const std::string& key,
                                                     std::int64_t defaultValue, HYBRange range);
// Always true; when the key has a value, each given flag tells whether it is of that kind.
bool typeValueForKey(const platform::Dictionary& dictionary, const std::string& key, bool* isArray, bool* isNull,
                     bool* isNumber, bool* isString);
bool valueForKeyIsArray(const platform::Dictionary& dictionary, const std::string& key);
bool valueForKeyIsNull(const platform::Dictionary& dictionary, const std::string& key);
bool valueForKeyIsString(const platform::Dictionary& dictionary, const std::string& key);
bool valueForKeyIsNumber(const platform::Dictionary& dictionary, const std::string& key);
// Every key lower-cased; of keys differing only in case, the last in order wins.
platform::Dictionary dictionaryWithLowercaseKeys(const platform::Dictionary& dictionary);

}  // namespace hybrid
