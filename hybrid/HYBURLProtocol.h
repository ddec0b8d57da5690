#pragma once
// The bridge's URL protocol: the endpoint of the page's request pokes
// ("/!hybrid_exec"), the 401 answer to requests the whitelist rejects, and
// the "assets-library://" scheme.
//
// A request belongs to the container whose identity number it carries (the
// "vc" header, else the number in parentheses at the end of its user agent).
// The registry of containers is process-wide and guarded by its own mutex;
// it holds containers weakly and hands work to them on the main thread only,
// so a container that went away in between is simply not found.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/foundation/URLLoading.h"

namespace hybrid {

class HYBViewController;
class HYBWhitelist;

class HYBURLProtocol : public platform::URLProtocol {
public:
    // The first registration registers the protocol with URL loading and
    // takes that container's whitelist for every request.
    static void registerViewController(const std::shared_ptr<HYBViewController>& container);
    static void unregisterViewController(std::int64_t identityNumber);

    static bool canInitWithRequest(const platform::URLRequest& request);
    static platform::URLRequest canonicalRequestForRequest(const platform::URLRequest& request) { return request; }
    static bool requestIsCacheEquivalentToRequest(const platform::URLRequest&, const platform::URLRequest&) {
        return false;
    }

    using platform::URLProtocol::URLProtocol;
    void startLoading() override;
    void stopLoading() override;
    void sendResponseWithResponseCodeDataMimeType(int statusCode, const std::optional<platform::Data>& data,
                                                  const std::optional<std::string>& mimeType);

private:
    std::atomic<bool> stopped_{false};
};

}  // namespace hybrid
