#pragma once
// A URL request and a URL response, as values. Header names compare
// ignoring case.

#include <map>
#include <optional>
#include <string>

#include "platform/foundation/Strings.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

namespace platform {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const { return caseInsensitiveCompare(a, b) < 0; }
};
using HTTPHeaders = std::map<std::string, std::string, CaseInsensitiveLess>;

enum class URLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
};

class URLRequest {
public:
    static constexpr double kDefaultTimeout = 60.0;

    URLRequest() = default;
    explicit URLRequest(std::optional<URL> url,
                        URLRequestCachePolicy cachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy,
                        double timeoutInterval = kDefaultTimeout)
        : url_(std::move(url)), cachePolicy_(cachePolicy), timeoutInterval_(timeoutInterval) {}

    const std::optional<URL>& url() const { return url_; }
    void setURL(std::optional<URL> url) { url_ = std::move(url); }
    // The URL of the top-level page the request belongs to.
    const std::optional<URL>& mainDocumentURL() const { return mainDocumentURL_; }
    void setMainDocumentURL(std::optional<URL> url) { mainDocumentURL_ = std::move(url); }
    URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
    double timeoutInterval() const { return timeoutInterval_; }
    void setTimeoutInterval(double seconds) { timeoutInterval_ = seconds; }
    const std::string& HTTPMethod() const { return method_; }
    void setHTTPMethod(std::string method) { method_ = std::move(method); }
    const Data& HTTPBody() const { return body_; }
    void setHTTPBody(Data body) { body_ = std::move(body); }

    const HTTPHeaders& allHTTPHeaderFields() const { return headers_; }
    std::optional<std::string> valueForHTTPHeaderField(const std::string& name) const;
    void setValueForHTTPHeaderField(std::string value, const std::string& name) { headers_[name] = std::move(value); }

private:
    std::optional<URL> url_;
    std::optional<URL> mainDocumentURL_;
    URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
    double timeoutInterval_ = kDefaultTimeout;
    std::string method_ = "GET";
    Data body_;
    HTTPHeaders headers_;
};

struct URLResponse {
    std::optional<URL> url;
    int statusCode = 200;  // HTTP status; 200 for files and data
    std::string HTTPVersion = "HTTP/1.1";
    std::string MIMEType = "text/plain";
    HTTPHeaders headers;
};

enum class URLCacheStoragePolicy { Allowed, AllowedInMemoryOnly, NotAllowed };

}  // namespace platform
