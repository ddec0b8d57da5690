#include "platform/foundation/URLLoading.h"
#include "platform/foundation/NeverDestroyed.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Strings.h"

namespace platform {
namespace {

// ---- Errors -------------------------------------------------------------

Error urlError(int code, const std::string& description, const std::optional<URL>& url) {
    Error error{NSURLErrorDomain, code, description, {}};
    if (url) {
        error.userInfo["NSErrorFailingURLStringKey"] = url->absoluteString();
    }
    return error;
}

URLLoadResult failure(int code, const std::string& description, const std::optional<URL>& url) {
    URLLoadResult result;
    result.error = urlError(code, description, url);
    return result;
}

URLLoadResult fileDoesNotExist(const URL& url) {
    return failure(NSURLErrorFileDoesNotExist, "The requested URL was not found on this server.", url);
}

URLLoadResult unsupported(const std::optional<URL>& url) {
    return failure(NSURLErrorUnsupportedURL, "unsupported URL", url);
}

URLLoadResult badURL(const std::optional<URL>& url) { return failure(NSURLErrorBadURL, "bad URL", url); }

URLLoadResult success(const URL& url, std::string mimeType, Data data) {
    URLLoadResult result;
    URLResponse response;
    response.url = url;
    response.MIMEType = std::move(mimeType);
    response.headers["Content-Type"] = response.MIMEType;
    response.headers["Content-Length"] = std::to_string(data.size());
    result.response = std::move(response);
    result.data = std::move(data);
    return result;
}

// ---- Registry -----------------------------------------------------------

struct Registry {
    std::mutex mutex;
    std::vector<URLProtocolClass> classes;  // oldest first
};

Registry& registry() {
    // Never destroyed: loads on worker threads may still look here while the process exits.
    static NeverDestroyed<Registry> instance{ResetStage::Foundation, [](Registry& r) {
        std::lock_guard lock(r.mutex);
        r.classes.clear();
    }};
    return *instance;
}

// A copy, so that protocols are asked without the lock held: one may well
// register or look up protocols itself while deciding.
std::vector<URLProtocolClass> registeredClassesNewestFirst() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return {r.classes.rbegin(), r.classes.rend()};
}

std::optional<URLProtocolClass> protocolClassForRequest(const URLRequest& request) {
    for (auto& protocolClass : registeredClassesNewestFirst()) {
        if (protocolClass.canInitWithRequest && protocolClass.create && protocolClass.canInitWithRequest(request))
            return std::move(protocolClass);
    }
    return std::nullopt;
}

bool isBuiltInScheme(const URL& url) {
    return url.scheme() == "file" || url.scheme() == "data" || url.scheme() == "about";
}

// ---- The built-in loaders -----------------------------------------------

std::string mimeTypeForExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return "application/octet-stream";
    const std::string extension = toLower(fileName.substr(dot + 1));
    static const std::pair<const char*, const char*> types[] = {
        {"html", "text/html"},        {"htm", "text/html"},       {"js", "application/javascript"},
        {"css", "text/css"},          {"json", "application/json"}, {"png", "image/png"},
        {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},     {"gif", "image/gif"},
        {"svg", "image/svg+xml"},     {"txt", "text/plain"},      {"xml", "text/xml"},
    };
    for (const auto& [name, type] : types) {
        if (extension == name) return type;
    }
    return "application/octet-stream";
}

URLLoadResult loadFile(const URL& url) {
    if (!url.host().empty() && !equalsIgnoringCase(url.host(), "localhost")) return fileDoesNotExist(url);
    const std::optional<std::string> path = percentUnescape(url.percentEncodedPath());
    // An escaped NUL would silently cut the path short in the system call.
    if (!path || path->find('\0') != std::string::npos) return badURL(url);
    if (path->empty()) return fileDoesNotExist(url);

    // Non-blocking, so that a FIFO named by a hostile URL cannot hang the
    // loader; only regular files are served, which also keeps devices such as
    // /dev/zero out.
    const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return fileDoesNotExist(url);
        if (errno == EACCES || errno == EPERM)
            return failure(NSURLErrorNoPermissionsToReadFile,
                           "The file couldn't be opened because you don't have permission to view it.", url);
        return failure(NSURLErrorResourceUnavailable, "A requested resource couldn't be retrieved.", url);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failure(NSURLErrorResourceUnavailable, "A requested resource couldn't be retrieved.", url);
    }
    Data data;
    data.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return failure(NSURLErrorResourceUnavailable, "A requested resource couldn't be retrieved.", url);
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    ::close(fd);
    return success(url, mimeTypeForExtension(url.lastPathComponent()), std::move(data));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Bytes, not text: a data URL may carry any octets, so no UTF-8 check here.
std::optional<Data> percentDecodeBytes(std::string_view text) {
    Data out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(static_cast<std::uint8_t>(text[i]));
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return out;
}

int base64Value(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Padding is optional, as browsers read data URLs; white space (escaped in
// the URL) is ignored; anything else outside the alphabet is an error.
std::optional<Data> base64Decode(const Data& encoded) {
    Data out;
    out.reserve(encoded.size() / 4 * 3 + 3);
    std::uint32_t accumulator = 0;
    int bits = 0;
    std::size_t symbols = 0;
    std::size_t padding = 0;
    for (std::uint8_t c : encoded) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding > 0) return std::nullopt;
        ++symbols;
        accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((accumulator >> bits) & 0xFF));
        }
    }
    if (symbols % 4 == 1 || padding > 2) return std::nullopt;
    if (padding > 0 && (symbols + padding) % 4 != 0) return std::nullopt;
    return out;
}

URLLoadResult loadDataURL(const URL& url) {
    const std::string text = url.absoluteStringWithoutFragment();
    const std::size_t colon = text.find(':');
    const std::size_t comma = text.find(',', colon);
    if (colon == std::string::npos || comma == std::string::npos) return badURL(url);

    const std::string header = text.substr(colon + 1, comma - colon - 1);
    std::vector<std::string> parameters;
    for (std::size_t start = 0;;) {
        const std::size_t semicolon = header.find(';', start);
        parameters.push_back(header.substr(start, semicolon == std::string::npos ? std::string::npos : semicolon - start));
        if (semicolon == std::string::npos) break;
        start = semicolon + 1;
    }
    bool isBase64 = false;
    if (parameters.size() > 1 && equalsIgnoringCase(parameters.back(), "base64")) {
        isBase64 = true;
        parameters.pop_back();
    }
    std::string mimeType = "text/plain";
    if (!parameters.front().empty()) {
        const auto decoded = percentUnescape(parameters.front());
        if (!decoded || decoded->find('/') == std::string::npos) return badURL(url);
        mimeType = toLower(*decoded);
    }

    auto payload = percentDecodeBytes(std::string_view(text).substr(comma + 1));
    if (!payload) return badURL(url);
    if (isBase64) {
        payload = base64Decode(*payload);
        if (!payload) return badURL(url);
    }
    return success(url, std::move(mimeType), std::move(*payload));
}

// ---- Loads through a protocol -------------------------------------------

// What a protocol reports, gathered for the thread that waits on it. Reports
// after the first finish or failure are dropped, as are reports after the
// waiter gave up.
class Transfer final : public URLProtocolClient {
public:
    void didReceiveResponse(const URLResponse& response, URLCacheStoragePolicy) override {
        std::lock_guard lock(mutex_);
        if (!done_) response_ = response;
    }
    void didLoadData(const Data& data) override {
        std::lock_guard lock(mutex_);
        if (!done_) data_.insert(data_.end(), data.begin(), data.end());
    }
    void didFinishLoading() override { finish(std::nullopt); }
    void didFailWithError(const Error& error) override { finish(error); }

    // Wakes the waiter without a result; its load then ends unreported.
    void cancel() {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
    }
    bool isCancelled() const {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }

    enum class Outcome { Done, TimedOut, Cancelled };
    Outcome wait(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        changed_.wait_until(lock, deadline, [&] { return done_ || cancelled_; });
        if (done_) return Outcome::Done;
        // Whatever arrives from now on belongs to a load nobody waits for.
        done_ = true;
        return cancelled_ ? Outcome::Cancelled : Outcome::TimedOut;
    }

    URLLoadResult takeResult(const URL& url) {
        std::lock_guard lock(mutex_);
        URLLoadResult result;
        if (error_) {
            result.error = std::move(error_);
            return result;
        }
        if (!response_) {
            // A protocol that sent data without a response still answered.
            URLResponse response;
            response.url = url;
            response.MIMEType = "application/octet-stream";
            response_ = std::move(response);
        }
        result.response = std::move(response_);
        result.data = std::move(data_);
        return result;
    }

private:
    void finish(std::optional<Error> error) {
        {
            std::lock_guard lock(mutex_);
            if (done_) return;
            done_ = true;
            error_ = std::move(error);
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    bool cancelled_ = false;
    std::optional<URLResponse> response_;
    Data data_;
    std::optional<Error> error_;
};

// Loads waiting on a protocol. A protocol may answer through the main run
// loop, which turns no more once the process exits, so exit cancels them
// rather than leave a worker (and the pool joining it) waiting for the timeout.
class LoadsInFlight {
public:
    static LoadsInFlight& shared() {
        // Never destroyed: the exit interrupt and worker threads reach it while the process exits.
        // No reset: each load leaves the set when it ends.
        static NeverDestroyed<LoadsInFlight> loads;
        static const bool interruptAtExit = [] {
            atGlobalQueueExit([] { loads->cancelAll(); });
            return true;
        }();
        (void)interruptAtExit;
        return *loads;
    }

    // False once the process is exiting: the load is not to start.
    bool add(Transfer* transfer) {
        std::lock_guard lock(mutex_);
        if (exiting_) return false;
        transfers_.insert(transfer);
        return true;
    }
    void remove(Transfer* transfer) {
        std::lock_guard lock(mutex_);
        transfers_.erase(transfer);
    }

private:
    void cancelAll() {
        std::lock_guard lock(mutex_);
        exiting_ = true;
        for (Transfer* transfer : transfers_) transfer->cancel();
    }

    std::mutex mutex_;
    std::unordered_set<Transfer*> transfers_;
    bool exiting_ = false;
};

std::chrono::steady_clock::time_point deadlineFor(const URLRequest& request) {
    double seconds = request.timeoutInterval();
    if (!std::isfinite(seconds) || seconds <= 0) seconds = URLRequest::kDefaultTimeout;
    // A year is as good as forever, and keeps the arithmetic from overflowing.
    seconds = std::min(seconds, 365.0 * 24 * 3600);
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

URLLoadResult runLoad(const URLRequest& request, const std::shared_ptr<Transfer>& transfer) {
    if (!request.url()) return badURL(std::nullopt);
    const URL& url = *request.url();
    const auto protocolClass = protocolClassForRequest(request);
    if (!protocolClass) {
        if (isBuiltInScheme(url)) return URLLoading::loadFileOrDataURL(url);
        return unsupported(url);
    }
    const auto deadline = deadlineFor(request);
    std::shared_ptr<URLProtocol> protocol = protocolClass->create(request, transfer);
    if (!protocol) return unsupported(url);
    if (!LoadsInFlight::shared().add(transfer.get())) return failure(NSURLErrorCancelled, "cancelled", url);
    // Taken out however the load ends: a protocol may throw.
    struct Untrack {
        Transfer* transfer;
        ~Untrack() { LoadsInFlight::shared().remove(transfer); }
    } untrack{transfer.get()};
    protocol->startLoading();
    const Transfer::Outcome outcome = transfer->wait(deadline);
    protocol->stopLoading();
    switch (outcome) {
        case Transfer::Outcome::Done:
            return transfer->takeResult(url);
        case Transfer::Outcome::TimedOut:
            return failure(NSURLErrorTimedOut, "The request timed out.", url);
        case Transfer::Outcome::Cancelled:
            break;
    }
    return failure(NSURLErrorCancelled, "cancelled", url);
}

class LoadHandle final : public URLLoading::Handle {
public:
    explicit LoadHandle(std::shared_ptr<Transfer> transfer) : transfer_(std::move(transfer)) {}
    void cancel() override { transfer_->cancel(); }
    bool isCancelled() const { return transfer_->isCancelled(); }

private:
    std::shared_ptr<Transfer> transfer_;
};

}  // namespace

void URLLoading::registerClass(URLProtocolClass protocolClass) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.classes.push_back(std::move(protocolClass));
}

void URLLoading::unregisterClass(const std::string& name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase_if(r.classes, [&](const URLProtocolClass& c) { return c.name == name; });
}

bool URLLoading::canHandleRequest(const URLRequest& request) {
    if (!request.url()) return false;
    if (protocolClassForRequest(request)) return true;
    return isBuiltInScheme(*request.url());
}

URLLoadResult URLLoading::sendSynchronousRequest(const URLRequest& request) {
    return runLoad(request, std::make_shared<Transfer>());
}

std::shared_ptr<URLLoading::Handle> URLLoading::load(const URLRequest& request,
                                                     std::function<void(URLLoadResult)> completion) {
    auto transfer = std::make_shared<Transfer>();
    auto handle = std::make_shared<LoadHandle>(transfer);
    globalQueue().async([request, transfer, handle, completion = std::move(completion)]() mutable {
        if (handle->isCancelled()) return;
        URLLoadResult result;
        try {
            result = runLoad(request, transfer);
        } catch (...) {
            // A protocol's exception must not take the worker thread (and so
            // the process) down; the caller sees a failed load instead.
            result = failure(NSURLErrorResourceUnavailable, "A requested resource couldn't be retrieved.",
                             request.url());
        }
        if (handle->isCancelled()) return;
        // Checked again on the main thread: cancel() called there between
        // this post and its turn must still win.
        RunLoop::main().post([handle, completion = std::move(completion), result = std::move(result)]() mutable {
            if (!handle->isCancelled() && completion) completion(std::move(result));
        });
    });
    return handle;
}

URLLoadResult URLLoading::loadFileOrDataURL(const URL& url) {
    if (url.scheme() == "file") return loadFile(url);
    if (url.scheme() == "data") return loadDataURL(url);
    if (url.scheme() == "about") return success(url, "text/html", {});
    return unsupported(url);
}

}  // namespace platform
