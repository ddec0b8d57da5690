#include "app/MainViewController.h"

#include "platform/foundation/Log.h"

namespace app {

void MainViewController::webViewDidFinishLoad(platform::WebView& webView) {
    webView.setBackgroundColor(platform::UIColor::blackColor());
    HYBViewController::webViewDidFinishLoad(webView);
}

bool MainViewController::webViewShouldStartLoadWithRequestNavigationType(platform::WebView& webView,
                                                                         const platform::URLRequest& request,
                                                                         platform::UIWebViewNavigationType navigationType) {
    platform::logf("URL -------> %s", request.url() ? request.url()->absoluteString().c_str() : "(null)");
    return HYBViewController::webViewShouldStartLoadWithRequestNavigationType(webView, request, navigationType);
}

}  // namespace app
