#pragma once
// One call from the page: which plugin, which action, which callback, which
// arguments. Immutable after construction; built on the main thread, readable
// anywhere.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace hybrid {

class HYBInvokedUrlCommand {
public:
    // One command array [callbackId, service, action, arguments]. Nothing, with
    // a log line, when the array is outside that format: fewer than four
    // positions, a callback id neither string nor null, a service or action
    // that is no string, or arguments that are no array.
    static std::shared_ptr<HYBInvokedUrlCommand> commandFromJson(platform::Value json);

    // Any of the three may be absent: the app shell calls plugin actions
    // directly with arguments only.
    HYBInvokedUrlCommand(platform::Array arguments, std::optional<std::string> callbackId,
                         std::optional<std::string> className, std::optional<std::string> methodName);

    const std::optional<std::string>& callbackId() const { return callbackId_; }
    const std::optional<std::string>& className() const { return className_; }
    const std::optional<std::string>& methodName() const { return methodName_; }
    const platform::Array& arguments() const { return arguments_; }

    platform::Value argumentAtIndex(std::size_t index) const;
    platform::Value argumentAtIndexWithDefault(std::size_t index, const platform::Value& defaultValue) const;
    // The default also when the argument is not of `type`.
    platform::Value argumentAtIndexWithDefaultAndClass(std::size_t index, const platform::Value& defaultValue,
                                                       std::optional<platform::Value::Type> type) const;

private:
    // ArrayBuffer dictionaries among the top-level arguments become their bytes.
    void massageArguments();

    std::optional<std::string> callbackId_;
    std::optional<std::string> className_;
    std::optional<std::string> methodName_;
    platform::Array arguments_;
};

}  // namespace hybrid
