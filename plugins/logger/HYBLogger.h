#pragma once
// The page's console output in the process log: each logLevel call writes
// one line, the message alone for the level "LOG", "<level>: <message>" for
// any other. Nothing goes back to the page.

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"

namespace plugins {

class HYBLogger : public hybrid::HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;

    // Arguments: 0 the level, 1 the message, both strings.
    void logLevel(const hybrid::HYBInvokedUrlCommand& command);

protected:
    const hybrid::HYBActionTable& actionTable() const override;
};

}  // namespace plugins
