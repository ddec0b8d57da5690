#include "plugins/network-information/HYBConnection.h"

#include "hybrid/HYBCommandDelegate.h"
#include "hybrid/HYBPluginResult.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/ApplicationNotifications.h"

namespace plugins {

HYBConnection::HYBConnection(std::shared_ptr<platform::WebView> webView)
    : HYBPlugin(std::move(webView)), connectionType_("none") {
    internetReach_ = HYBReachability::reachabilityForInternetConnection();
    connectionType_ = w3cConnectionTypeFor(internetReach_);
    if (internetReach_) internetReach_->startNotifier();

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, kNetworkReachabilityChangedNotification, nullptr,
                       [this](const platform::Notification& notification) { updateConnectionType(notification); });
    center.addObserver(this, platform::UIApplicationDidEnterBackgroundNotification, nullptr,
                       [this](const platform::Notification&) { onPause(); });
    center.addObserver(this, platform::UIApplicationWillEnterForegroundNotification, nullptr,
                       [this](const platform::Notification&) { onResume(); });
}

// Before the members go: the base removes the observers only after them.
HYBConnection::~HYBConnection() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

const hybrid::HYBActionTable& HYBConnection::actionTable() const {
    static const auto table =
        hybrid::HYBActionTable::of<HYBConnection>({{"getConnectionInfo", &HYBConnection::getConnectionInfo}});
    return table;
}

void HYBConnection::getConnectionInfo(const hybrid::HYBInvokedUrlCommand& command) {
    platform::assertMainThread("HYBConnection::getConnectionInfo");
    callbackId_ = command.callbackId();
    sendPluginResult();
}

void HYBConnection::sendPluginResult() {
    platform::assertMainThread("HYBConnection::sendPluginResult");
    // Before the page asks there is nobody to tell; the report is dropped
    // here rather than refused by the delegate with a log line.
    if (!callbackId_) return;
    auto delegate = commandDelegate();
    if (!delegate) return;
    auto result = hybrid::HYBPluginResult::resultWithStatusMessageAsString(hybrid::HYBResultStatusOK, connectionType_);
    result->setKeepCallbackAsBool(true);
    delegate->sendPluginResult(*result, callbackId_);
}

std::string HYBConnection::w3cConnectionTypeFor(const std::shared_ptr<HYBReachability>& reachability) const {
    if (!reachability) return "none";
    switch (reachability->currentReachabilityStatus()) {
        case NotReachable:
            return "none";
        case ReachableViaWWAN:
            return reachability->connectionRequired() ? "none" : "cellular";
        case ReachableViaWiFi:
            return "wifi";
    }
    return "unknown";
}

bool HYBConnection::isCellularConnection(const std::string& theConnectionType) const {
    return theConnectionType == "2g" || theConnectionType == "3g" || theConnectionType == "4g" ||
           theConnectionType == "cellular";
}

void HYBConnection::updateConnectionType(const platform::Notification& notification) {
    platform::assertMainThread("HYBConnection::updateConnectionType");
    const auto* reachability = std::any_cast<std::shared_ptr<HYBReachability>>(&notification.object);
    // Only the plugin's own watch: another reachability object (a host, the
    // local Wi-Fi network) would report a different question's answer.
    if (!reachability || !*reachability || *reachability != internetReach_) return;
    updateReachability(*reachability);
}

void HYBConnection::updateReachability(const std::shared_ptr<HYBReachability>& reachability) {
    platform::assertMainThread("HYBConnection::updateReachability");
    if (reachability) {
        std::string newType = w3cConnectionTypeFor(reachability);
        if (newType == connectionType_) return;
        connectionType_ = std::move(newType);
    }
    sendPluginResult();
}

void HYBConnection::onPause() {
    platform::assertMainThread("HYBConnection::onPause");
    if (internetReach_) internetReach_->stopNotifier();
}

void HYBConnection::onResume() {
    platform::assertMainThread("HYBConnection::onResume");
    // Without a watch nothing can have changed; sending the stored type
    // again would only repeat the last report.
    if (!internetReach_) return;
    internetReach_->startNotifier();
    updateReachability(internetReach_);
}

}  // namespace plugins
