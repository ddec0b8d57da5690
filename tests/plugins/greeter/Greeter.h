// The README's Greeter, word for word: a header-only plugin.
#pragma once
#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBPluginResult.h"

namespace plugins {
class Greeter : public hybrid::HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;
    void greet(const hybrid::HYBInvokedUrlCommand& command) {
        const std::string name = command.argumentAtIndex(0).stringValue();
        commandDelegate()->sendPluginResult(
            *hybrid::HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusOK, "hello " + name),
            command.callbackId());
    }
protected:
    const hybrid::HYBActionTable& actionTable() const override {
        static const auto table = hybrid::HYBActionTable::of<Greeter>({{"greet", &Greeter::greet}});
        return table;
    }
};
}  // namespace plugins
