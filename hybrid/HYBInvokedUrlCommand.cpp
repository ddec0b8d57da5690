#include "hybrid/HYBInvokedUrlCommand.h"

#include "hybrid/HYBBase64.h"
#include "platform/foundation/Log.h"

namespace hybrid {

using platform::Value;

std::shared_ptr<HYBInvokedUrlCommand> HYBInvokedUrlCommand::commandFromJson(Value json) {
    platform::Array* positions = json.array();
    const char* fault = nullptr;
    if (!positions || positions->size() < 4)
        fault = "it is not an array of four positions";
    else if (!(*positions)[0].isString() && !(*positions)[0].isNull())
        fault = "its callback id is neither a string nor null";
    else if (!(*positions)[1].isString() || !(*positions)[2].isString())
        fault = "its service or action is not a string";
    else if (!(*positions)[3].isArray())
        fault = "its arguments are not an array";
    if (fault) {
        platform::logf("ERROR: Dropped a command because %s.", fault);
        return nullptr;
    }
    std::optional<std::string> callbackId;
    if (const std::string* id = (*positions)[0].string()) callbackId = *id;
    return std::make_shared<HYBInvokedUrlCommand>(std::move(*(*positions)[3].array()), std::move(callbackId),
                                                  *(*positions)[1].string(), *(*positions)[2].string());
}

HYBInvokedUrlCommand::HYBInvokedUrlCommand(platform::Array arguments, std::optional<std::string> callbackId,
                                           std::optional<std::string> className,
                                           std::optional<std::string> methodName)
    : callbackId_(std::move(callbackId)),
      className_(std::move(className)),
      methodName_(std::move(methodName)),
      arguments_(std::move(arguments)) {
    massageArguments();
}

void HYBInvokedUrlCommand::massageArguments() {
    for (Value& argument : arguments_) {
        const platform::Dictionary* dictionary = argument.dictionary();
        if (!dictionary) continue;
        const Value& type = argument["HYBType"];
        const Value& data = argument["data"];
        // Only a text can be decoded; other "data" values are left for the plugin to judge.
        if (type.isString() && *type.string() == "ArrayBuffer" && data.isString())
            argument = Value(hyb_dataFromBase64String(*data.string()));
    }
}

Value HYBInvokedUrlCommand::argumentAtIndex(std::size_t index) const { return argumentAtIndexWithDefault(index, Value()); }

Value HYBInvokedUrlCommand::argumentAtIndexWithDefault(std::size_t index, const Value& defaultValue) const {
    return argumentAtIndexWithDefaultAndClass(index, defaultValue, std::nullopt);
}

Value HYBInvokedUrlCommand::argumentAtIndexWithDefaultAndClass(std::size_t index, const Value& defaultValue,
                                                               std::optional<Value::Type> type) const {
    if (index >= arguments_.size()) return defaultValue;
    const Value& argument = arguments_[index];
    if (argument.isNull()) return defaultValue;
    if (type) {
        // Numbers of any flavour are one class, as the platform's number objects are.
        const bool wantsNumber = *type == Value::Type::Bool || *type == Value::Type::Integer || *type == Value::Type::Double;
        if (wantsNumber ? !argument.isNumber() : argument.type() != *type) return defaultValue;
    }
    return argument;
}

}  // namespace hybrid
