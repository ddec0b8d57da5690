// The README's Greeter, word for word but for its name, so that a reader's own
// plugins/greeter made by the recipe builds beside it (RecipePluginTest checks
// the two agree).
#pragma once
#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "hybrid/HYBPluginResult.h"

namespace plugins {
class SuiteRecipeGreeter : public hybrid::HYBPlugin {
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
        static const auto table = hybrid::HYBActionTable::of<SuiteRecipeGreeter>({{"greet", &SuiteRecipeGreeter::greet}});
        return table;
    }
};
}  // namespace plugins
