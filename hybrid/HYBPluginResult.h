#pragma once
// A plugin's answer to one call: a status, a message and whether the page
// keeps its callback for more answers. Built on any thread, then handed to
// the command delegate, which turns it into the page's callback script.

#include <any>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace hybrid {

enum HYBResultStatus : int {
    HYBResultStatusNoResult = 0,
    HYBResultStatusOK,
    HYBResultStatusClassNotFound,
    HYBResultStatusIllegalAccess,
    HYBResultStatusInstantiationError,
    HYBResultStatusMalformedUrl,
    HYBResultStatusIOError,
    HYBResultStatusInvalidAction,
    HYBResultStatusJSONError,
    HYBResultStatusError,
};

// {"HYBType": "ArrayBuffer", "data": base64 of the bytes}.
platform::Value HYBArrayBufferMessage(const platform::Data& data);
// The ArrayBuffer dictionary for data, the value itself otherwise.
platform::Value HYBMassagedMessage(const platform::Value& message);
// {"HYBType": "MultiPart", "messages": [each element massaged]}.
platform::Value HYBMultipartMessage(const platform::Array& messages);

class HYBPluginResult {
public:
    HYBPluginResult();
    HYBPluginResult(int status, platform::Value message);

    static std::shared_ptr<HYBPluginResult> resultWithStatus(int status);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsString(int status, std::string message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsArray(int status, platform::Array message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsInt(int status, int message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsDouble(int status, double message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsBool(int status, bool message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsDictionary(int status, platform::Dictionary message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsArrayBuffer(int status, const platform::Data& message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageAsMultipart(int status, const platform::Array& message);
    static std::shared_ptr<HYBPluginResult> resultWithStatusMessageToErrorObject(int status, int errorCode);

    int status() const { return status_; }
    const platform::Value& message() const { return message_; }
    bool keepCallback() const { return keepCallback_.boolValue(); }
    void setKeepCallbackAsBool(bool keep) { keepCallback_ = platform::Value(keep); }
    void setKeepCallback(platform::Value keep) { keepCallback_ = std::move(keep); }
    const std::any& associatedObject() const { return associatedObject_; }
    void setAssociatedObject(std::any object) { associatedObject_ = std::move(object); }

    // The message alone as JSON text: a string quoted and escaped, a number as
    // its digits, no message as "null".
    std::string argumentsAsJSON() const;
    // {"status", "message", "keepCallback"} as pretty JSON; nothing on failure.
    std::optional<std::string> toJSONString() const;
    // "hybrid.callbackSuccess('<id>',<toJSONString>);" and its error twin.
    std::string toSuccessCallbackString(const std::string& callbackId) const;
    std::string toErrorCallbackString(const std::string& callbackId) const;

    static void setVerbose(bool verbose);
    static bool isVerbose();
    // The text of a status code ("No result", "OK", ...); "" outside 0-9.
    static const std::string& statusText(int status);

private:
    int status_;
    platform::Value message_;
    platform::Value keepCallback_;
    std::any associatedObject_;
};

}  // namespace hybrid
