#include "platform/foundation/URLLoading.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/RunLoop.h"
#include "TemporaryDirectory.h"

using namespace platform;

namespace {

URLRequest requestFor(const std::string& text) { return URLRequest(URL::create(text)); }

std::string textOf(const Data& data) { return std::string(data.begin(), data.end()); }
Data dataOf(const std::string& text) { return Data(text.begin(), text.end()); }

// A protocol whose loading is whatever the test says.
class ScriptedProtocol final : public URLProtocol {
public:
    using Script = std::function<void(ScriptedProtocol&)>;
    ScriptedProtocol(URLRequest request, std::shared_ptr<URLProtocolClient> client, Script script,
                     std::atomic<int>* stops)
        : URLProtocol(std::move(request), std::move(client)), script_(std::move(script)), stops_(stops) {}
    void startLoading() override { script_(*this); }
    void stopLoading() override {
        if (stops_) ++*stops_;
    }

private:
    Script script_;
    std::atomic<int>* stops_;
};

// Registers a protocol class for one test and takes it away again, since the
// registry lives as long as the process.
class RegisteredProtocol {
public:
    RegisteredProtocol(std::string name, std::function<bool(const URLRequest&)> takes, ScriptedProtocol::Script script)
        : name_(std::move(name)) {
        URLLoading::registerClass(URLProtocolClass{
            name_,
            [this, takes = std::move(takes)](const URLRequest& request) {
                ++asked;
                return takes(request);
            },
            [this, script = std::move(script)](const URLRequest& request, std::shared_ptr<URLProtocolClient> client) {
                ++created;
                return std::make_shared<ScriptedProtocol>(request, std::move(client), script, &stopped);
            }});
    }
    ~RegisteredProtocol() { URLLoading::unregisterClass(name_); }

    std::atomic<int> asked{0};
    std::atomic<int> created{0};
    std::atomic<int> stopped{0};

private:
    std::string name_;
};

bool hasScheme(const URLRequest& request, const char* scheme) {
    return request.url() && request.url()->scheme() == scheme;
}

void answer(ScriptedProtocol& protocol, const std::string& body, const std::string& mimeType = "text/plain") {
    URLResponse response;
    response.url = protocol.request().url();
    response.MIMEType = mimeType;
    protocol.client().didReceiveResponse(response, URLCacheStoragePolicy::NotAllowed);
    protocol.client().didLoadData(dataOf(body));
    protocol.client().didFinishLoading();
}

}  // namespace

TEST(URLRequestHeaders, NamesIgnoreCase) {
    URLRequest request(URL::create("http://x/"));
    request.setValueForHTTPHeaderField("text/html", "Content-Type");
    EXPECT_EQ(request.valueForHTTPHeaderField("content-type"), "text/html");
    EXPECT_EQ(request.valueForHTTPHeaderField("CONTENT-TYPE"), "text/html");
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::nullopt);
    request.setValueForHTTPHeaderField("text/plain", "CONTENT-type");
    EXPECT_EQ(request.allHTTPHeaderFields().size(), 1u);
    EXPECT_EQ(request.valueForHTTPHeaderField("Content-Type"), "text/plain");
}

TEST(URLLoadingFiles, ReadsTheFileAndTakesTheMIMETypeFromItsExtension) {
    testing_support::TemporaryDirectory folder;
    const std::pair<const char*, const char*> cases[] = {
        {"index.html", "text/html"},     {"old.HTM", "text/html"},         {"app.js", "application/javascript"},
        {"style.css", "text/css"},       {"data.json", "application/json"}, {"icon.png", "image/png"},
        {"photo.jpg", "image/jpeg"},     {"photo.JPEG", "image/jpeg"},     {"anim.gif", "image/gif"},
        {"logo.svg", "image/svg+xml"},   {"notes.txt", "text/plain"},      {"config.xml", "text/xml"},
        {"archive.zip", "application/octet-stream"}, {"Makefile", "application/octet-stream"},
    };
    for (const auto& [name, mimeType] : cases) {
        const URL url = URL::fileURLWithPath(folder.write(name, std::string("body of ") + name));
        const URLLoadResult result = URLLoading::loadFileOrDataURL(url);
        ASSERT_FALSE(result.error) << name << ": " << result.error->description();
        ASSERT_TRUE(result.response) << name;
        EXPECT_EQ(result.response->MIMEType, mimeType) << name;
        EXPECT_EQ(result.response->statusCode, 200);
        EXPECT_EQ(result.response->url, url);
        EXPECT_EQ(textOf(result.data), std::string("body of ") + name);
    }
}

TEST(URLLoadingFiles, EscapedNamesAndEmptyFilesLoad) {
    testing_support::TemporaryDirectory folder;
    folder.write("with blank \xC3\xA9.html", "<p>");
    folder.write("empty.txt", "");
    const auto escaped = URLLoading::loadFileOrDataURL(URL::fileURLWithPath(folder.file("with blank \xC3\xA9.html")));
    EXPECT_FALSE(escaped.error);
    EXPECT_EQ(textOf(escaped.data), "<p>");
    const auto empty = URLLoading::sendSynchronousRequest(URLRequest(URL::fileURLWithPath(folder.file("empty.txt"))));
    EXPECT_FALSE(empty.error);
    ASSERT_TRUE(empty.response);
    EXPECT_TRUE(empty.data.empty());
}

TEST(URLLoadingFiles, FailuresCarryThePlatformsCodes) {
    testing_support::TemporaryDirectory folder;
    folder.write("sub/file.txt", "x");

    const auto missing = URLLoading::loadFileOrDataURL(URL::fileURLWithPath(folder.file("nothing.html")));
    ASSERT_TRUE(missing.error);
    EXPECT_FALSE(missing.response);
    EXPECT_EQ(missing.error->domain, NSURLErrorDomain);
    EXPECT_EQ(missing.error->code, NSURLErrorFileDoesNotExist);
    EXPECT_EQ(missing.error->localizedDescription, "The requested URL was not found on this server.");

    // A file used as a folder is as missing as a file that is not there.
    EXPECT_EQ(URLLoading::loadFileOrDataURL(URL::fileURLWithPath(folder.file("sub/file.txt/x"))).error->code,
              NSURLErrorFileDoesNotExist);

    const auto directory = URLLoading::loadFileOrDataURL(URL::fileURLWithPath(folder.file("sub")));
    ASSERT_TRUE(directory.error);
    EXPECT_TRUE(directory.error->code == NSURLErrorNoPermissionsToReadFile ||
                directory.error->code == NSURLErrorResourceUnavailable)
        << directory.error->description();

    if (geteuid() != 0) {  // root reads everything
        const std::string locked = folder.write("locked.txt", "secret");
        chmod(locked.c_str(), 0);
        const auto unreadable = URLLoading::loadFileOrDataURL(URL::fileURLWithPath(locked));
        ASSERT_TRUE(unreadable.error);
        EXPECT_EQ(unreadable.error->code, NSURLErrorNoPermissionsToReadFile);
    }
}

TEST(URLLoadingFiles, HostilePathsFailWithoutHangingOrReadingDevices) {
    testing_support::TemporaryDirectory folder;
    const std::string fifo = folder.file("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO without a writer would block a plain open() forever.
    EXPECT_TRUE(URLLoading::loadFileOrDataURL(URL::fileURLWithPath(fifo)).error);
    // An endless device must not be read until memory runs out.
    EXPECT_TRUE(URLLoading::loadFileOrDataURL(*URL::create("file:///dev/zero")).error);
    // An escaped NUL must not cut the path short at a file that exists.
    folder.write("real", "x");
    const auto nul = URLLoading::loadFileOrDataURL(*URL::create(URL::fileURLWithPath(folder.file("real")).absoluteString() + "%00.html"));
    ASSERT_TRUE(nul.error);
    EXPECT_EQ(nul.error->code, NSURLErrorBadURL);
    EXPECT_TRUE(URLLoading::loadFileOrDataURL(*URL::create("file:///%FF%FE")).error);
    EXPECT_TRUE(URLLoading::loadFileOrDataURL(*URL::create("file://")).error);
    EXPECT_TRUE(URLLoading::loadFileOrDataURL(*URL::create("file://elsewhere/etc/hostname")).error);
}

TEST(URLLoadingData, DecodesBase64AndPercentEscapes) {
    const struct {
        const char* url;
        const char* mimeType;
        std::string body;
    } cases[] = {
        {"data:text/plain;base64,SGVsbG8sIFdvcmxkIQ==", "text/plain", "Hello, World!"},
        {"data:;base64,SGk", "text/plain", "Hi"},  // padding is optional
        {"data:,A%20brief%20note", "text/plain", "A brief note"},
        {"data:Text/HTML;charset=utf-8,%3Cp%3Ehi%3C/p%3E", "text/html", "<p>hi</p>"},
        {"data:application/octet-stream;BASE64,AP8=", "application/octet-stream", std::string("\0\xff", 2)},
        {"data:application/octet-stream,%00%FF", "application/octet-stream", std::string("\0\xff", 2)},
        {"data:text/plain,a,b?c#fragment", "text/plain", "a,b?c"},
        {"data:,", "text/plain", ""},
    };
    for (const auto& c : cases) {
        const auto result = URLLoading::loadFileOrDataURL(*URL::create(c.url));
        ASSERT_FALSE(result.error) << c.url << ": " << result.error->description();
        ASSERT_TRUE(result.response);
        EXPECT_EQ(result.response->MIMEType, c.mimeType) << c.url;
        EXPECT_EQ(textOf(result.data), c.body) << c.url;
    }
}

TEST(URLLoadingData, BrokenDataURLsAreBadURLs) {
    for (const char* text : {"data:text/plain;base64", "data:", "data:text/plain;base64,SGk*", "data:;base64,S",
                             "data:;base64,SG=k", "data:;base64,SGk===", "data:nonsense,x", "data:;base64,%4"}) {
        const auto url = URL::create(text);
        if (!url) continue;  // the URL parser already refused it
        const auto result = URLLoading::loadFileOrDataURL(*url);
        ASSERT_TRUE(result.error) << text;
        EXPECT_EQ(result.error->code, NSURLErrorBadURL) << text;
        EXPECT_FALSE(result.response) << text;
    }
}

TEST(URLLoadingBuiltIns, AboutBlankIsAnEmptyPageAndOtherSchemesAreUnsupported) {
    const auto blank = URLLoading::sendSynchronousRequest(requestFor("about:blank"));
    ASSERT_FALSE(blank.error);
    EXPECT_EQ(blank.response->MIMEType, "text/html");
    EXPECT_TRUE(blank.data.empty());

    for (const char* text : {"https://example.com/", "gap://ready", "mailto:x@y", "relative/path.html"}) {
        EXPECT_FALSE(URLLoading::canHandleRequest(requestFor(text))) << text;
        const auto result = URLLoading::sendSynchronousRequest(requestFor(text));
        ASSERT_TRUE(result.error) << text;
        EXPECT_EQ(result.error->code, NSURLErrorUnsupportedURL) << text;
        EXPECT_EQ(result.error->userInfo.at("NSErrorFailingURLStringKey"), Value(text));
    }
    for (const char* text : {"file:///nothing", "data:,x", "about:blank"})
        EXPECT_TRUE(URLLoading::canHandleRequest(requestFor(text))) << text;

    EXPECT_FALSE(URLLoading::canHandleRequest(URLRequest()));
    EXPECT_EQ(URLLoading::sendSynchronousRequest(URLRequest()).error->code, NSURLErrorBadURL);
}

TEST(URLLoadingProtocols, NewestRegistrationIsAskedFirstAndEachOnlyOnce) {
    RegisteredProtocol older("Older", [](const URLRequest& r) { return hasScheme(r, "app"); },
                             [](ScriptedProtocol& p) { answer(p, "older"); });
    RegisteredProtocol newer("Newer", [](const URLRequest& r) { return hasScheme(r, "app"); },
                             [](ScriptedProtocol& p) { answer(p, "newer", "text/html"); });

    const auto result = URLLoading::sendSynchronousRequest(requestFor("app://x/y"));
    ASSERT_FALSE(result.error);
    EXPECT_EQ(textOf(result.data), "newer");
    EXPECT_EQ(result.response->MIMEType, "text/html");
    EXPECT_EQ(newer.asked, 1);
    EXPECT_EQ(newer.created, 1);
    EXPECT_EQ(older.asked, 0);

    // A request nobody takes asks everyone exactly once before falling back.
    EXPECT_FALSE(URLLoading::sendSynchronousRequest(requestFor("data:,plain")).error);
    EXPECT_EQ(newer.asked, 2);
    EXPECT_EQ(older.asked, 1);
    EXPECT_EQ(older.created, 0);
    EXPECT_TRUE(URLLoading::canHandleRequest(requestFor("app://z")));
    EXPECT_EQ(newer.asked, 3);
    EXPECT_EQ(older.asked, 1);
}

TEST(URLLoadingProtocols, AProtocolMayServeFileURLsAndUnregisteringStopsIt) {
    testing_support::TemporaryDirectory folder;
    const URL url = URL::fileURLWithPath(folder.write("page.html", "from disk"));
    {
        RegisteredProtocol intercept("Intercept", [](const URLRequest& r) { return hasScheme(r, "file"); },
                                     [](ScriptedProtocol& p) { answer(p, "intercepted"); });
        EXPECT_EQ(textOf(URLLoading::sendSynchronousRequest(URLRequest(url)).data), "intercepted");
        // The built-in loaders are for callers that must bypass protocols.
        EXPECT_EQ(textOf(URLLoading::loadFileOrDataURL(url).data), "from disk");
    }
    EXPECT_EQ(textOf(URLLoading::sendSynchronousRequest(URLRequest(url)).data), "from disk");
}

TEST(URLLoadingProtocols, FailuresAndLateReportsAndResponselessData) {
    RegisteredProtocol failing("Failing", [](const URLRequest& r) { return hasScheme(r, "fail"); },
                               [](ScriptedProtocol& p) {
                                   p.client().didLoadData(dataOf("partial"));
                                   p.client().didFailWithError(Error{"Custom", 7, "went wrong", {}});
                                   // Whatever comes after the end is not part of the load.
                                   p.client().didFinishLoading();
                                   p.client().didLoadData(dataOf("late"));
                               });
    const auto failed = URLLoading::sendSynchronousRequest(requestFor("fail:x"));
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->domain, "Custom");
    EXPECT_EQ(failed.error->code, 7);
    EXPECT_FALSE(failed.response);
    EXPECT_EQ(failing.stopped, 1);

    RegisteredProtocol bare("Bare", [](const URLRequest& r) { return hasScheme(r, "bare"); },
                            [](ScriptedProtocol& p) {
                                p.client().didLoadData(dataOf("ab"));
                                p.client().didLoadData(dataOf("cd"));
                                p.client().didFinishLoading();
                            });
    const auto loaded = URLLoading::sendSynchronousRequest(requestFor("bare:x"));
    ASSERT_FALSE(loaded.error);
    ASSERT_TRUE(loaded.response);
    EXPECT_EQ(textOf(loaded.data), "abcd");
}

TEST(URLLoadingProtocols, SynchronousRequestsWaitForAnotherThreadAndTimeOut) {
    std::vector<std::thread> threads;
    RegisteredProtocol slow("Slow", [](const URLRequest& r) { return hasScheme(r, "slow"); },
                            [&threads](ScriptedProtocol& p) {
                                auto client = p.sharedClient();
                                URLRequest request = p.request();
                                threads.emplace_back([client, request] {
                                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                    URLResponse response;
                                    response.url = request.url();
                                    client->didReceiveResponse(response, URLCacheStoragePolicy::Allowed);
                                    client->didLoadData(dataOf("eventually"));
                                    client->didFinishLoading();
                                });
                            });
    const auto result = URLLoading::sendSynchronousRequest(requestFor("slow:x"));
    EXPECT_FALSE(result.error);
    EXPECT_EQ(textOf(result.data), "eventually");

    RegisteredProtocol silent("Silent", [](const URLRequest& r) { return hasScheme(r, "silent"); },
                              [](ScriptedProtocol&) {});
    URLRequest request = requestFor("silent:x");
    request.setTimeoutInterval(0.05);
    const auto start = std::chrono::steady_clock::now();
    const auto timedOut = URLLoading::sendSynchronousRequest(request);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_TRUE(timedOut.error);
    EXPECT_EQ(timedOut.error->domain, NSURLErrorDomain);
    EXPECT_EQ(timedOut.error->code, NSURLErrorTimedOut);
    EXPECT_EQ(silent.stopped, 1);
    for (auto& thread : threads) thread.join();
}

class URLLoadingAsync : public ::testing::Test {
protected:
    void SetUp() override { previous_ = setGlobalQueue(executor_); }
    void TearDown() override { setGlobalQueue(previous_); }
    std::shared_ptr<ManualExecutor> executor_ = std::make_shared<ManualExecutor>();
    std::shared_ptr<Executor> previous_;
};

TEST_F(URLLoadingAsync, LoadsOnAWorkerAndCompletesOnTheMainRunLoop) {
    RegisteredProtocol where("Where", [](const URLRequest& r) { return hasScheme(r, "where"); },
                             [](ScriptedProtocol& p) { answer(p, "here"); });
    std::optional<URLLoadResult> received;
    bool onMainThread = false;
    auto handle = URLLoading::load(requestFor("where:x"), [&](URLLoadResult result) {
        onMainThread = RunLoop::isMainThread();
        received = std::move(result);
    });
    ASSERT_TRUE(handle);
    EXPECT_EQ(where.asked, 0);  // nothing happens on the caller's turn
    EXPECT_EQ(executor_->runAll(), 1u);
    EXPECT_FALSE(received);  // the completion waits for the run loop
    RunLoop::main().drain();
    ASSERT_TRUE(received);
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(textOf(received->data), "here");
    EXPECT_EQ(where.asked, 1);
}

TEST_F(URLLoadingAsync, CancelSuppressesTheCompletionAtEveryStage) {
    int completions = 0;
    // Before the worker ran.
    URLLoading::load(requestFor("data:,a"), [&](URLLoadResult) { ++completions; })->cancel();
    // After the worker posted, before the main run loop got to it.
    auto late = URLLoading::load(requestFor("data:,b"), [&](URLLoadResult) { ++completions; });
    executor_->runAll();
    late->cancel();
    RunLoop::main().drain();
    EXPECT_EQ(completions, 0);

    // An uncancelled one still arrives, failures included.
    std::optional<URLLoadResult> failure;
    URLLoading::load(requestFor("https://nowhere.example/"), [&](URLLoadResult r) { failure = std::move(r); });
    executor_->runAll();
    RunLoop::main().drain();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error->code, NSURLErrorUnsupportedURL);
}

TEST(URLLoadingAsyncPool, CancelWakesALoadThatWouldOtherwiseWaitForItsTimeout) {
    std::atomic<bool> started{false};
    RegisteredProtocol hanging("Hanging", [](const URLRequest& r) { return hasScheme(r, "hang"); },
                               [&](ScriptedProtocol&) { started = true; });
    bool completed = false;
    auto handle = URLLoading::load(requestFor("hang:x"), [&](URLLoadResult) { completed = true; });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    handle->cancel();
    // The worker must let go of the protocol soon, not after 60 seconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (hanging.stopped == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(hanging.stopped, 1);
    RunLoop::main().drain();
    EXPECT_FALSE(completed);
}

namespace {

// Exits while a worker waits on a protocol that never answers (as one that
// answers through the main run loop, which turns no more at exit).
[[noreturn]] void exitWhileALoadWaits() {
    static std::atomic<bool> started{false};
    static RegisteredProtocol hanging("Hanging", [](const URLRequest& r) { return hasScheme(r, "hang"); },
                                      [](ScriptedProtocol&) { started = true; });
    // Destroyed after the pool has stopped at exit, before `hanging`.
    static struct StoppedCheck {
        ~StoppedCheck() {
            if (hanging.stopped != 1) ::_exit(4);
        }
    } check;
    URLLoading::load(requestFor("hang:x"), [](URLLoadResult) {});
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::exit(0);
}

}  // namespace

TEST(URLLoadingAsyncPool, ExitCancelsALoadStillWaitingSoItsWorkerIsJoined) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exitWhileALoadWaits(), ::testing::ExitedWithCode(0), "");
}
