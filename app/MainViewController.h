#pragma once
// The app's container: the web container with two additions — the page
// turns black once loaded, and every navigation is logged.

#include "hybrid/HYBCommandDelegateImpl.h"
#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBViewController.h"

namespace app {

class MainViewController : public hybrid::HYBViewController {
public:
    static std::shared_ptr<MainViewController> create() { return createController<MainViewController>(); }

    void webViewDidFinishLoad(platform::WebView& webView) override;
    bool webViewShouldStartLoadWithRequestNavigationType(platform::WebView& webView, const platform::URLRequest& request,
                                                         platform::UIWebViewNavigationType navigationType) override;

protected:
    MainViewController() = default;
    friend class hybrid::HYBViewController;
};

// Subclasses kept for apps that customise the bridge; they answer as their
// bases do, and the container makes the bases, never these.
class MainCommandDelegate : public hybrid::HYBCommandDelegateImpl {
public:
    using HYBCommandDelegateImpl::HYBCommandDelegateImpl;
};

class MainCommandQueue : public hybrid::HYBCommandQueue {
public:
    using HYBCommandQueue::HYBCommandQueue;
};

}  // namespace app
