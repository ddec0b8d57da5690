#include "hybrid/HYBPluginResult.h"

#include "hybrid/HYBBase64.h"
#include "platform/foundation/Json.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Strings.h"

namespace hybrid {

using platform::Value;

namespace {

std::atomic<bool> gVerbose{false};

const std::array<std::string, 10>& statusTexts() {
    static const std::array<std::string, 10> texts = {
        "No result",      "OK",       "Class not found", "Illegal access", "Instantiation error",
        "Malformed url",  "IO error", "Invalid action",  "JSON error",     "Error",
    };
    return texts;
}

std::shared_ptr<HYBPluginResult> make(int status, Value message) {
    return std::make_shared<HYBPluginResult>(status, std::move(message));
}

}  // namespace

Value HYBArrayBufferMessage(const platform::Data& data) {
    return platform::Dictionary{{"HYBType", "ArrayBuffer"}, {"data", hyb_base64EncodedString(data)}};
}

Value HYBMassagedMessage(const Value& message) {
    if (const platform::Data* data = message.data()) return HYBArrayBufferMessage(*data);
    return message;
}

Value HYBMultipartMessage(const platform::Array& messages) {
    platform::Array parts = messages;
    for (Value& part : parts) part = HYBMassagedMessage(part);
    return platform::Dictionary{{"HYBType", "MultiPart"}, {"messages", std::move(parts)}};
}

HYBPluginResult::HYBPluginResult() : HYBPluginResult(HYBResultStatusNoResult, Value()) {}

HYBPluginResult::HYBPluginResult(int status, Value message)
    : status_(status), message_(std::move(message)), keepCallback_(false) {}

std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatus(int status) { return make(status, Value()); }
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsString(int status, std::string message) {
    return make(status, std::move(message));
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsArray(int status, platform::Array message) {
    return make(status, std::move(message));
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsInt(int status, int message) {
    return make(status, message);
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsDouble(int status, double message) {
    return make(status, message);
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsBool(int status, bool message) {
    return make(status, message);
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsDictionary(int status,
                                                                                      platform::Dictionary message) {
    return make(status, std::move(message));
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsArrayBuffer(int status,
                                                                                       const platform::Data& message) {
    return make(status, HYBArrayBufferMessage(message));
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageAsMultipart(int status,
                                                                                     const platform::Array& message) {
    return make(status, HYBMultipartMessage(message));
}
std::shared_ptr<HYBPluginResult> HYBPluginResult::resultWithStatusMessageToErrorObject(int status, int errorCode) {
    return make(status, platform::Dictionary{{"code", errorCode}});
}

std::string HYBPluginResult::argumentsAsJSON() const {
    // Writing the message as a bare value gives the same text as wrapping it in
    // an array and stripping the brackets, without copying it. Raw data or a
    // date inside a message is sent as null rather than losing the whole answer.
    auto written = platform::writeJson(message_, platform::JsonWriting::Compact, platform::JsonUnwritable::WriteNull);
    return written.text ? std::move(*written.text) : std::string("null");
}

std::optional<std::string> HYBPluginResult::toJSONString() const {
    const Value object = platform::Dictionary{
        {"status", status_},
        {"message", message_.isNil() ? Value::null() : message_},
        {"keepCallback", keepCallback_.isNil() ? Value(false) : keepCallback_},
    };
    auto written = platform::writeJson(object, platform::JsonWriting::Pretty, platform::JsonUnwritable::WriteNull);
    if (!written.text) platform::logf("toJSONString error: %s", written.error.c_str());
    if (gVerbose) platform::logf("PluginResult:toJSONString - %s", written.text ? written.text->c_str() : "(null)");
    return written.text;
}

std::string HYBPluginResult::toSuccessCallbackString(const std::string& callbackId) const {
    // A result that cannot be written still reaches the page, as null.
    const std::string text = platform::format("hybrid.callbackSuccess('%s',%s);", callbackId.c_str(),
                                              toJSONString().value_or("null").c_str());
    if (gVerbose) platform::logf("PluginResult toSuccessCallbackString: %s", text.c_str());
    return text;
}

std::string HYBPluginResult::toErrorCallbackString(const std::string& callbackId) const {
    const std::string text = platform::format("hybrid.callbackError('%s',%s);", callbackId.c_str(),
                                              toJSONString().value_or("null").c_str());
    if (gVerbose) platform::logf("PluginResult toErrorCallbackString: %s", text.c_str());
    return text;
}

void HYBPluginResult::setVerbose(bool verbose) { gVerbose = verbose; }
bool HYBPluginResult::isVerbose() { return gVerbose; }

const std::string& HYBPluginResult::statusText(int status) {
    static const std::string none;
    if (status < 0 || status >= static_cast<int>(statusTexts().size())) return none;
    return statusTexts()[static_cast<std::size_t>(status)];
}

}  // namespace hybrid
