// Commands made from the page's JSON, and the texts of the answers that go
// back: every answer must reach the page as JSON that reads back as the
// message it carried.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBJSONSerializing.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"

namespace {

using hybrid::HYBPluginResult;
using platform::Value;

// Arrays and objects nested deeper than this are refused by the reader.
constexpr std::size_t kReaderNesting = 512;

[[noreturn]] void fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "command_json: %s: %s\n", what, text.substr(0, 400).c_str());
    std::abort();
}

std::size_t nesting(const Value& value) {
    std::size_t deepest = 0;
    if (const platform::Array* array = value.array())
        for (const Value& element : *array) deepest = std::max(deepest, nesting(element));
    if (const platform::Dictionary* dictionary = value.dictionary())
        for (const auto& [key, member] : *dictionary) deepest = std::max(deepest, nesting(member));
    return value.isArray() || value.isDictionary() ? deepest + 1 : 0;
}

// What the page reads back for a message: JSON has no spelling for
// infinities, so they arrive as null.
bool readsBackAs(const Value& sent, const Value& read) {
    if (sent.isDouble() && !std::isfinite(sent.doubleValue())) return read.isNull();
    if (sent.isArray() != read.isArray() || sent.isDictionary() != read.isDictionary()) return false;
    if (const platform::Array* array = sent.array()) {
        if (array->size() != read.array()->size()) return false;
        for (std::size_t i = 0; i < array->size(); ++i)
            if (!readsBackAs((*array)[i], (*read.array())[i])) return false;
        return true;
    }
    if (const platform::Dictionary* dictionary = sent.dictionary()) {
        if (dictionary->size() != read.dictionary()->size()) return false;
        for (const auto& [key, member] : *dictionary) {
            const auto found = read.dictionary()->find(key);
            if (found == read.dictionary()->end() || !readsBackAs(member, found->second)) return false;
        }
        return true;
    }
    return sent == read;
}

void encode(const HYBPluginResult& result, const std::string& callbackId, bool messageIsPlainJson) {
    const std::string arguments = result.argumentsAsJSON();
    const platform::JsonReadResult argumentsRead = platform::readJson(arguments, platform::JsonReading::AllowFragments);
    if (!argumentsRead.value) fail("the message text does not read back", arguments);
    if (messageIsPlainJson && !readsBackAs(result.message(), *argumentsRead.value))
        fail("the message text reads back as another message", arguments);

    // Only a message at the reader's nesting limit, one level deeper inside
    // the result, may leave the result without a text.
    const std::optional<std::string> object = result.toJSONString();
    if (!object && nesting(result.message()) < kReaderNesting) fail("the result has no JSON text", arguments);
    if (object) {
        const platform::JsonReadResult objectRead = platform::readJson(*object);
        if (!objectRead.value) fail("the result text does not read back", *object);
        if (!((*objectRead.value)["status"] == Value(result.status())))
            fail("the result text reads back with another status", *object);
    }

    result.toSuccessCallbackString(callbackId);
    result.toErrorCallbackString(callbackId);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::LogCapture quiet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<Value> json = hybrid::JSONFragment(text);
    if (!json) return 0;
    // Statuses outside the known ten included.
    const int status = static_cast<int>(size % 12) - 1;

    encode(HYBPluginResult(status, *json), "Echo1", true);

    auto command = hybrid::HYBInvokedUrlCommand::commandFromJson(*json);
    if (!command) return 0;
    const std::string callbackId = command->callbackId().value_or("INVALID");
    for (std::size_t i = 0; i <= command->arguments().size(); ++i) {
        for (Value::Type type : {Value::Type::String, Value::Type::Integer, Value::Type::Data, Value::Type::Dictionary})
            command->argumentAtIndexWithDefaultAndClass(i, Value::null(), type);
    }
    encode(*HYBPluginResult::resultWithStatusMessageAsArray(status, command->arguments()), callbackId, false);
    encode(*HYBPluginResult::resultWithStatusMessageAsMultipart(status, command->arguments()), callbackId, false);
    auto keep = HYBPluginResult::resultWithStatusMessageAsDictionary(status, {{"arguments", command->arguments()}});
    keep->setKeepCallback(command->argumentAtIndex(0));
    encode(*keep, callbackId, false);
    return 0;
}
