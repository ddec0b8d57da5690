#include "sim/SimEchoPlugin.h"

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPluginResult.h"

namespace sim {

bool SimEchoPlugin::respondsToSelector(const std::string& selector) const {
    return selector.size() > 1 && selector.back() == ':';
}

bool SimEchoPlugin::performSelector(const std::string& selector, const hybrid::HYBInvokedUrlCommand& command) {
    if (!respondsToSelector(selector)) return false;
    auto result = hybrid::HYBPluginResult::resultWithStatusMessageAsArray(hybrid::HYBResultStatusOK, command.arguments());
    if (auto delegate = commandDelegate()) delegate->sendPluginResult(*result, command.callbackId());
    return true;
}

}  // namespace sim
