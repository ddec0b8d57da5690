#pragma once
// Tells the page what connection the device has ("none", "wifi",
// "cellular" or "unknown") and tells it again each time that changes.
//
// The page's one action, getConnectionInfo, answers the current type at once
// and keeps its callback: every later change of type is sent to it, once.
// The plugin watches the internet's reachability from creation; in the
// background it stops watching, and on return it sends only a type that
// changed meanwhile. Main thread only.

#include <memory>
#include <optional>
#include <string>

#include "hybrid/HYBInvokedUrlCommand.h"
#include "hybrid/HYBPlugin.h"
#include "plugins/network-information/HYBReachability.h"

namespace plugins {

class HYBConnection : public hybrid::HYBPlugin {
public:
    explicit HYBConnection(std::shared_ptr<platform::WebView> webView);
    ~HYBConnection() override;

    // No arguments.
    void getConnectionInfo(const hybrid::HYBInvokedUrlCommand& command);

    void updateConnectionType(const platform::Notification& notification);
    void updateReachability(const std::shared_ptr<HYBReachability>& reachability);
    void sendPluginResult();
    std::string w3cConnectionTypeFor(const std::shared_ptr<HYBReachability>& reachability) const;
    bool isCellularConnection(const std::string& theConnectionType) const;
    void onPause();
    void onResume();

    const std::string& connectionType() const { return connectionType_; }
    const std::shared_ptr<HYBReachability>& internetReach() const { return internetReach_; }
    const std::optional<std::string>& callbackId() const { return callbackId_; }

protected:
    const hybrid::HYBActionTable& actionTable() const override;

private:
    std::optional<std::string> callbackId_;
    std::shared_ptr<HYBReachability> internetReach_;
    std::string connectionType_;
};

}  // namespace plugins
