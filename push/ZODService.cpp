#include "push/ZODService.h"

#include <string>
#include <utility>

#include "platform/foundation/Bundle.h"
#include "push/ZODLogger.h"

namespace push {

namespace {

std::shared_ptr<ZODTransport> orLogging(std::shared_ptr<ZODTransport> transport) {
    return transport ? std::move(transport) : std::make_shared<ZODLoggingTransport>();
}

}  // namespace

ZODService::ZODService(std::shared_ptr<ZODTransport> transport)
    : transport_(orLogging(std::move(transport))), thread_(kThreadName) {
    thread_.repeat(kKeepAliveInterval, [] { ZODLogger::debug("client thread keep-alive"); });
    thread_.post([this] { setUp(); });
}

ZODService::~ZODService() = default;

void ZODService::setUp() {
    ZODConfiguration configuration = ZODConfiguration::readFromBundle(platform::Bundle::main());
    std::lock_guard lock(mutex_);
    configuration_ = std::move(configuration);
}

void ZODService::registerDeviceToken(platform::Data token) {
    thread_.post([this, token = std::move(token)] {
        if (token.empty()) {
            ZODLogger::error("an empty device token was handed over; nothing is registered");
            return;
        }
        {
            std::lock_guard lock(mutex_);
            deviceToken_ = token;
        }
        ZODLogger::info("device token " + hexString(token));
        transport_->sendRegister(token);
    });
}

void ZODService::handleRemoteNotification(ZODReportType type, platform::Dictionary payload) {
    thread_.post([this, type, payload = std::move(payload)] {
        if (payload.empty()) {
            ZODLogger::info("an empty remote notification was handed over; nothing is reported");
            return;
        }
        ZODLogger::info("remote notification msgid=" + messageIdOf(payload) +
                        " type=" + std::to_string(static_cast<int>(type)));
        transport_->sendReport(type, payload);
    });
}

ZODConfiguration ZODService::configuration() const {
    std::lock_guard lock(mutex_);
    return configuration_;
}

platform::Data ZODService::deviceToken() const {
    std::lock_guard lock(mutex_);
    return deviceToken_;
}

void ZODService::setTransportForTesting(std::shared_ptr<ZODTransport> transport) {
    thread_.post([this, transport = orLogging(std::move(transport))]() mutable { transport_ = std::move(transport); });
}

}  // namespace push
