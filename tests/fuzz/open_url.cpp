// A URL the app is opened with, as the system hands it over: relayed to the
// page's handleOpenURL, which must receive exactly the URL's text, however
// it is written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "tools/harness/BridgeHarness.h"
#include "hybrid/HYBHandleOpenURL.h"
#include "hybrid/HYBNotifications.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"

// JavaScriptCore grows process-long caches with every script it runs, so
// almost every input would look like a leak and set off a scan of its whole
// heap, which is most of the run time. Leaks in our own code are left to the
// targets without a page.
extern "C" int __lsan_is_turned_off() { return 1; }

namespace {

struct Page {
    Page() {
        platform::RunLoop::main().bindToCurrentThread();
        container = testsupport::TestContainer::create();
        relay = std::make_shared<hybrid::HYBHandleOpenURL>(container->webView());
        container->addPlugin("HandleOpenURL", relay);
        // "deviceready" has fired already: its listeners run as they are added.
        container->eval(R"(
            var openedURL = null;
            function handleOpenURL(url) { openedURL = url; }
            document.addEventListener = function (name, listener) { if (name === 'deviceready') listener(); };)");
        platform::NotificationCenter::defaultCenter().post(hybrid::HYBPageDidLoadNotification,
                                                           container->webView().get());
    }

    void open(const platform::URL& url) {
        container->eval("openedURL = null");
        platform::NotificationCenter::defaultCenter().post(hybrid::HYBPluginHandleOpenURLNotification, nullptr, url);
        const std::string received = container->eval("openedURL === null ? '(nothing)' : openedURL");
        if (received != url.absoluteString()) {
            std::fprintf(stderr, "open_url: the page received '%s' for '%s'\n", received.c_str(),
                         url.absoluteString().c_str());
            std::abort();
        }
    }

    std::shared_ptr<testsupport::TestContainer> container;
    std::shared_ptr<hybrid::HYBHandleOpenURL> relay;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Page* page = new Page;  // lives as long as the process, as the page does
    platform::LogCapture quiet;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static const std::optional<platform::URL> base = platform::URL::create("myapp://host/a/b?q#f");
    if (const auto url = platform::URL::create(text)) page->open(*url);
    if (const auto url = platform::URL::create(text, *base)) page->open(*url);
    return 0;
}
