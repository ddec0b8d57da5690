#pragma once
// The simulator's diagnostic plugin, service "Echo": every action answers
// with its arguments as an OK result. Registered by the simulator alone, so
// that a sample page can check the bridge before any real plugin exists.

#include "hybrid/HYBPlugin.h"

namespace sim {

class SimEchoPlugin : public hybrid::HYBPlugin {
public:
    using HYBPlugin::HYBPlugin;
    bool respondsToSelector(const std::string& selector) const override;
    bool performSelector(const std::string& selector, const hybrid::HYBInvokedUrlCommand& command) override;
};

}  // namespace sim
