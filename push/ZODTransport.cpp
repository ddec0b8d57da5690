#include "push/ZODTransport.h"

#include "push/ZODLogger.h"

namespace push {

std::string hexString(const platform::Data& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(data.size() * 2);
    for (std::uint8_t byte : data) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0f]);
    }
    return text;
}

std::string messageIdOf(const platform::Dictionary& payload) {
    auto it = payload.find(kZODMessageIdKey);
    if (it == payload.end()) return "none";
    std::string id = it->second.stringValue();
    return id.empty() ? "none" : id;
}

void ZODLoggingTransport::sendRegister(const platform::Data& deviceToken) {
    ZODLogger::info("would send register token=" + hexString(deviceToken));
}

void ZODLoggingTransport::sendReport(ZODReportType type, const platform::Dictionary& payload) {
    ZODLogger::info("would send report type=" + std::to_string(static_cast<int>(type)) +
                    " msgid=" + messageIdOf(payload));
}

}  // namespace push
