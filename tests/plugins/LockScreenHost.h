#pragma once
// A window with a container view controller over a web view, as the app
// shell sets it up, for the lock screen and its grid. The page records what
// native code sends it: success callbacks and logout() calls.

#include <memory>
#include <string>
#include <vector>

#include "hybrid/HYBContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/graphics/Image.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "plugins/lockpattern/GPGestureLockView.h"

namespace lockscreen_test {

class HostController : public platform::UIViewController, public hybrid::HYBContainer {
public:
    HostController() {
        webView_ = std::make_shared<platform::WebView>(platform::UIScreenBounds);
        webView_->stringByEvaluatingJavaScriptFromString(
            "var sent = [];"
            "var hybrid = { callbackSuccess: function (id, result) {"
            "  sent.push('success ' + id + ' ' + JSON.stringify(result)); } };"
            "function logout() { sent.push('logout'); }");
    }
    void viewDidLoad() override { view()->addSubview(webView_); }

    std::string sent() { return webView_->stringByEvaluatingJavaScriptFromString("sent.join(' | ')"); }

    std::shared_ptr<platform::WebView> webView() const override { return webView_; }
    std::shared_ptr<hybrid::HYBCommandQueue> commandQueue() const override { return nullptr; }
    std::shared_ptr<hybrid::HYBCommandDelegate> commandDelegate() const override { return nullptr; }
    std::shared_ptr<hybrid::HYBPlugin> getCommandInstance(const std::string&) override { return nullptr; }
    platform::Dictionary settings() const override { return {}; }
    std::string userAgent() const override { return {}; }
    std::string wwwFolderName() const override { return "www"; }
    bool whitelistSchemeIsAllowed(const std::string&) const override { return false; }
    bool whitelistURLIsAllowed(const platform::URL&, bool) const override { return false; }

private:
    std::shared_ptr<platform::WebView> webView_;
};

// The sample app's bundle as the main bundle, for the node and screen images.
class SampleBundle {
public:
    SampleBundle() : previous_(platform::Bundle::main().bundlePath()) {
        platform::Bundle::setMain(std::string(HYBRID_SOURCE_DIR) + "/examples/app");
    }
    ~SampleBundle() {
        platform::Bundle::setMain(previous_);
    }

private:
    std::string previous_;
};

// A node's centre in window coordinates.
inline platform::CGPoint nodeCentre(const plugins::GPGestureLockView& grid, int node) {
    const auto& button = grid.buttons().at(std::size_t(node));
    return grid.contentView()->convertPointToView(button->center(), nullptr);
}

// A finger drawing through the nodes' centres, then lifted.
inline void drawPattern(platform::UIWindow& window, const plugins::GPGestureLockView& grid, const std::vector<int>& nodes) {
    if (nodes.empty()) return;
    window.layoutIfNeeded();
    window.sendTouch(platform::UITouchPhase::Began, nodeCentre(grid, nodes.front()));
    for (std::size_t i = 1; i < nodes.size(); ++i) window.sendTouch(platform::UITouchPhase::Moved, nodeCentre(grid, nodes[i]));
    window.sendTouch(platform::UITouchPhase::Ended, nodeCentre(grid, nodes.back()));
}

}  // namespace lockscreen_test
