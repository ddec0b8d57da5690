#pragma once
// What the push client sends to the push service. The service's wire formats
// are not known here, so the client talks to this interface and the one
// implementation, ZODLoggingTransport, writes one log line per command
// instead of sending it: "would send <command> <field>=<value> ...".
// Tests put a recording transport in its place.
//
// A transport is called on the push client thread only.

#include <string>

#include "platform/foundation/Value.h"
#include "push/ZODReportType.h"

namespace push {

// The payload key whose value identifies a pushed message.
inline constexpr const char* kZODMessageIdKey = "msgid";

class ZODTransport {
public:
    virtual ~ZODTransport() = default;
    // Registers the device's push token with the service.
    virtual void sendRegister(const platform::Data& deviceToken) = 0;
    // Reports the receipt of a remote notification.
    virtual void sendReport(ZODReportType type, const platform::Dictionary& payload) = 0;
};

class ZODLoggingTransport final : public ZODTransport {
public:
    void sendRegister(const platform::Data& deviceToken) override;
    void sendReport(ZODReportType type, const platform::Dictionary& payload) override;
};

// Lower-case hexadecimal digits of `data`, two per byte.
std::string hexString(const platform::Data& data);
// The payload's message id as text, "none" when it carries none.
std::string messageIdOf(const platform::Dictionary& payload);

}  // namespace push
