#include "hybrid/HYBURLProtocol.h"

#include <map>
#include <mutex>

#include "hybrid/HYBCommandQueue.h"
#include "hybrid/HYBViewController.h"
#include "hybrid/HYBWhitelist.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"

namespace hybrid {

namespace {

constexpr const char* kExecPath = "/!hybrid_exec";
constexpr const char* kAssetsPrefix = "assets-library://";

struct Registry {
    std::mutex mutex;
    bool protocolRegistered = false;
    std::map<std::int64_t, std::weak_ptr<HYBViewController>> containers;
    std::shared_ptr<HYBWhitelist> whitelist;
};

Registry& registry() {
    // Never destroyed: URL loading threads may still ask while the process exits.
    // Reset: no container registered and the protocol out of URL loading.
    static platform::NeverDestroyed<Registry> instance{platform::ResetStage::Application, [](Registry& r) {
        {
            std::lock_guard lock(r.mutex);
            if (!r.protocolRegistered) return;
            r.protocolRegistered = false;
            r.containers.clear();
            r.whitelist.reset();
        }
        platform::URLLoading::unregisterClass("HYBURLProtocol");
    }};
    return *instance;
}

// The identity number a request carries, if any.
std::optional<std::int64_t> identityOfRequest(const platform::URLRequest& request) {
    std::string text;
    if (auto vc = request.valueForHTTPHeaderField("vc")) {
        text = *vc;
    } else {
        auto agent = request.valueForHTTPHeaderField("User-Agent");
        if (!agent) return std::nullopt;
        const std::size_t open = agent->rfind('(');
        if (open == std::string::npos) return std::nullopt;
        text = agent->substr(open + 1);
    }
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return std::nullopt;
    return platform::integerValueOfString(text.substr(start, i - start));
}

bool isRegistered(std::int64_t identity) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.containers.count(identity) != 0;
}

// Runs `work` with the container on the main thread, if it is still there then.
void onMainWithContainer(std::int64_t identity, std::function<void(HYBViewController&)> work) {
    platform::RunLoop::main().post([identity, work = std::move(work)] {
        std::shared_ptr<HYBViewController> container;
        {
            Registry& r = registry();
            std::lock_guard lock(r.mutex);
            auto it = r.containers.find(identity);
            if (it != r.containers.end()) container = it->second.lock();
        }
        if (container) work(*container);
    });
}

std::shared_ptr<HYBWhitelist> sharedWhitelist() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.whitelist;
}

}  // namespace

void HYBURLProtocol::registerViewController(const std::shared_ptr<HYBViewController>& container) {
    if (!container) return;
    Registry& r = registry();
    bool first = false;
    {
        std::lock_guard lock(r.mutex);
        if (!r.protocolRegistered) {
            r.protocolRegistered = true;
            first = true;
            r.whitelist = container->whitelist();
        }
        r.containers[container->identityNumber()] = container;
    }
    if (!first) return;
    if (!r.whitelist) platform::log("WARNING: NO whitelist has been set in HYBURLProtocol.");
    platform::URLLoading::registerClass({
        "HYBURLProtocol",
        [](const platform::URLRequest& request) { return HYBURLProtocol::canInitWithRequest(request); },
        [](const platform::URLRequest& request, std::shared_ptr<platform::URLProtocolClient> client) {
            return std::make_shared<HYBURLProtocol>(request, std::move(client));
        },
    });
}

void HYBURLProtocol::unregisterViewController(std::int64_t identityNumber) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.containers.erase(identityNumber);
}

bool HYBURLProtocol::canInitWithRequest(const platform::URLRequest& request) {
    const auto& url = request.url();
    if (!url) return false;
    if (platform::startsWith(url->absoluteString(), kAssetsPrefix)) return true;

    const auto identity = identityOfRequest(request);
    if (!identity || !isRegistered(*identity)) return false;

    if (url->percentEncodedPath() == kExecPath) {
        const auto requestNumber = request.valueForHTTPHeaderField("rc");
        if (!requestNumber) {
            platform::log("!hybrid request missing rc header");
            return false;
        }
        const auto commands = request.valueForHTTPHeaderField("cmds");
        if (commands && !commands->empty()) {
            onMainWithContainer(*identity, [batch = *commands](HYBViewController& container) {
                container.commandQueue()->enqueueCommandBatch(batch);
                container.commandQueue()->executePending();
            });
            return false;
        }
        onMainWithContainer(*identity, [number = platform::integerValueOfString(*requestNumber)](HYBViewController& container) {
            container.commandQueue()->processXhrExecBridgePoke(platform::Value(static_cast<long long>(number)));
        });
        return true;
    }

    const auto whitelist = sharedWhitelist();
    if (!whitelist || !whitelist->schemeIsAllowed(url->scheme())) return false;
    return !whitelist->URLIsAllowed(*url);
}

void HYBURLProtocol::startLoading() {
    const auto& url = request().url();
    if (!url) return;
    if (url->percentEncodedPath() == kExecPath && !platform::startsWith(url->absoluteString(), kAssetsPrefix)) {
        sendResponseWithResponseCodeDataMimeType(200, std::nullopt, std::nullopt);
        return;
    }
    if (platform::startsWith(url->absoluteString(), kAssetsPrefix)) {
        // There is no photo library on this platform: the lookup fails as it
        // does on a phone without access to it.
        sendResponseWithResponseCodeDataMimeType(401, std::nullopt, std::nullopt);
        return;
    }
    const auto whitelist = sharedWhitelist();
    const std::string body = whitelist ? whitelist->errorStringForURL(*url) : std::string();
    sendResponseWithResponseCodeDataMimeType(401, platform::Data(body.begin(), body.end()), std::string("text/plain"));
}

void HYBURLProtocol::stopLoading() { stopped_ = true; }

void HYBURLProtocol::sendResponseWithResponseCodeDataMimeType(int statusCode, const std::optional<platform::Data>& data,
                                                              const std::optional<std::string>& mimeType) {
    if (stopped_) return;
    platform::URLResponse response;
    response.url = request().url();
    response.statusCode = statusCode;
    response.HTTPVersion = "HTTP/1.1";
    response.MIMEType = mimeType.value_or("text/plain");
    response.headers["Content-Type"] = response.MIMEType;
    client().didReceiveResponse(response, platform::URLCacheStoragePolicy::NotAllowed);
    if (data && !data->empty()) client().didLoadData(*data);
    client().didFinishLoading();
}

}  // namespace hybrid
