#include "hybrid/HYBCollectionExtensions.h"

#include "platform/foundation/Strings.h"

namespace hybrid {

using platform::Value;

namespace {
const Value* lookUp(const platform::Dictionary& dictionary, const std::string& key) {
    auto it = dictionary.find(key);
    if (it == dictionary.end() || it->second.isNil()) return nullptr;
    return &it->second;
}
}  // namespace

Value queueHead(const platform::Array& queue) { return queue.empty() ? Value() : queue.front(); }

Value dequeue(platform::Array& queue) {
    if (queue.empty()) return Value();
    Value head = std::move(queue.front());
    queue.erase(queue.begin());
    return head;
}

Value pop(platform::Array& queue) { return dequeue(queue); }

void enqueue(platform::Array& queue, Value value) { queue.push_back(std::move(value)); }

Value objectAtIndex(const platform::Array& array, std::size_t index, const Value& defaultValue) {
    if (index >= array.size() || array[index].isNil() || array[index].isNull()) return defaultValue;
    return array[index];
}

bool existsValue(const platform::Dictionary& dictionary, const std::string& expected, const std::string& key) {
    const Value* value = lookUp(dictionary, key);
    return value && value->isString() && platform::equalsIgnoringCase(*value->string(), expected);
}

std::int64_t integerValueForKeyDefaultValue(const platform::Dictionary& dictionary, const std::string& key,
                                            std::int64_t defaultValue) {
    const Value* value = lookUp(dictionary, key);
    // Only numbers and strings have an integer reading; anything else takes the default.
    if (!value || !(value->isNumber() || value->isString())) return defaultValue;
    return value->integerValue();
}

std::int64_t integerValueForKeyDefaultValueWithRange(const platform::Dictionary& dictionary, const std::string& key,
                                                     std::int64_t defaultValue, HYBRange range) {
    auto value = static_cast<std::uint64_t>(integerValueForKeyDefaultValue(dictionary, key, defaultValue));
    if (value < range.location) value = range.location;
    if (value > range.length) value = range.length;
    return static_cast<std::int64_t>(value);
}

bool typeValueForKey(const platform::Dictionary& dictionary, const std::string& key, bool* isArray, bool* isNull,
                     bool* isNumber, bool* isString) {
    const Value* value = lookUp(dictionary, key);
    if (!value) return true;
    if (isArray) *isArray = value->isArray();
    if (isNull) *isNull = value->isNull();
    if (isNumber) *isNumber = value->isNumber();
    if (isString) *isString = value->isString();
    return true;
}

bool valueForKeyIsArray(const platform::Dictionary& dictionary, const std::string& key) {
    const Value* value = lookUp(dictionary, key);
    return value && value->isArray();
}

bool valueForKeyIsNull(const platform::Dictionary& dictionary, const std::string& key) {
    const Value* value = lookUp(dictionary, key);
    return value && value->isNull();
}

bool valueForKeyIsString(const platform::Dictionary& dictionary, const std::string& key) {
    const Value* value = lookUp(dictionary, key);
    return value && value->isString();
}

bool valueForKeyIsNumber(const platform::Dictionary& dictionary, const std::string& key) {
    const Value* value = lookUp(dictionary, key);
    return value && value->isNumber();
}

platform::Dictionary dictionaryWithLowercaseKeys(const platform::Dictionary& dictionary) {
    platform::Dictionary out;
    for (const auto& [key, value] : dictionary) out[platform::toLower(key)] = value;
    return out;
}

}  // namespace hybrid
