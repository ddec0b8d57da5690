#include "plugins/logger/HYBLogger.h"

#include "platform/foundation/Log.h"

namespace plugins {

const hybrid::HYBActionTable& HYBLogger::actionTable() const {
    static const auto table = hybrid::HYBActionTable::of<HYBLogger>({{"logLevel", &HYBLogger::logLevel}});
    return table;
}

void HYBLogger::logLevel(const hybrid::HYBInvokedUrlCommand& command) {
    const platform::Value level = command.argumentAtIndex(0);
    const platform::Value message = command.argumentAtIndex(1);
    // A line of "(null)" would hide that the page sent nothing usable.
    if (!level.isString() || !message.isString()) {
        platform::log("HYBLogger: logLevel needs a level and a message, both strings; nothing logged");
        return;
    }
    if (*level.string() == "LOG")
        platform::log(*message.string());
    else
        platform::log(*level.string() + ": " + *message.string());
}

}  // namespace plugins
