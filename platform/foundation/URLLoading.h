#pragma once
// The URL loading layer: registered URL protocols first, then the loaders
// built in for "file:" and "data:" URLs. There is no network here: any other
// URL that no protocol takes fails as unsupported.
//
// A URL protocol is a class registered once for the process. For each
// request, every registered class is asked once, newest registration first,
// whether it takes the request (canInitWithRequest); the first that does gets
// an instance that serves it through its client.
//
// Threads: canInitWithRequest and startLoading run on the thread that loads:
// the calling thread for sendSynchronousRequest, a worker of the global queue
// for load(). Protocols must therefore be thread-safe.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URLRequest.h"

namespace platform {

class URLProtocolClient {
public:
    virtual ~URLProtocolClient() = default;
    virtual void didReceiveResponse(const URLResponse& response, URLCacheStoragePolicy policy) = 0;
    virtual void didLoadData(const Data& data) = 0;
    virtual void didFinishLoading() = 0;
    virtual void didFailWithError(const Error& error) = 0;
};

class URLProtocol {
public:
    URLProtocol(URLRequest request, std::shared_ptr<URLProtocolClient> client)
        : request_(std::move(request)), client_(std::move(client)) {}
    virtual ~URLProtocol() = default;

    virtual void startLoading() = 0;
    virtual void stopLoading() {}

    const URLRequest& request() const { return request_; }
    URLProtocolClient& client() const { return *client_; }
    std::shared_ptr<URLProtocolClient> sharedClient() const { return client_; }

private:
    URLRequest request_;
    std::shared_ptr<URLProtocolClient> client_;
};

struct URLProtocolClass {
    std::string name;
    std::function<bool(const URLRequest&)> canInitWithRequest;
    std::function<std::shared_ptr<URLProtocol>(const URLRequest&, std::shared_ptr<URLProtocolClient>)> create;
};

// What a whole load produced.
struct URLLoadResult {
    std::optional<URLResponse> response;  // absent on failure
    Data data;
    std::optional<Error> error;
};

class URLLoading {
public:
    // Registers a protocol class for the life of the process (or until unregistered).
    static void registerClass(URLProtocolClass protocolClass);
    static void unregisterClass(const std::string& name);

    // Whether anything here could serve the request: a registered protocol
    // (asked once each), or a URL of scheme "file", "data" or "about".
    static bool canHandleRequest(const URLRequest& request);

    // Loads on the calling thread and returns when the load has finished,
    // failed or timed out (the request's timeout).
    static URLLoadResult sendSynchronousRequest(const URLRequest& request);

    // Loads on a worker and calls `completion` on the main run loop. The
    // returned handle cancels: after cancel() the completion is never called.
    class Handle {
    public:
        virtual ~Handle() = default;
        virtual void cancel() = 0;
    };
    static std::shared_ptr<Handle> load(const URLRequest& request, std::function<void(URLLoadResult)> completion);

    // The built-in loaders, for callers that must not go through protocols.
    // Files: a missing file fails with NSURLErrorFileDoesNotExist; the MIME
    // type comes from the extension. Data URLs: base64 or percent-encoded.
    static URLLoadResult loadFileOrDataURL(const URL& url);
};

}  // namespace platform
