#pragma once
// A transport that remembers what the push client sent, and from which thread.

#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Thread.h"
#include "push/ZODTransport.h"

namespace push_testing {

struct Sent {
    std::string command;  // "register" or "report"
    platform::Data token;
    int reportType = 0;
    platform::Dictionary payload;
    bool onClientThread = false;
};

class RecordingTransport final : public push::ZODTransport {
public:
    explicit RecordingTransport(platform::Thread& clientThread) : clientThread_(clientThread) {}

    void sendRegister(const platform::Data& deviceToken) override {
        record({"register", deviceToken, 0, {}, clientThread_.isCurrent()});
    }
    void sendReport(push::ZODReportType type, const platform::Dictionary& payload) override {
        record({"report", {}, static_cast<int>(type), payload, clientThread_.isCurrent()});
    }

    std::vector<Sent> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    std::vector<int> reportTypes() const {
        std::vector<int> types;
        for (const Sent& s : sent())
            if (s.command == "report") types.push_back(s.reportType);
        return types;
    }

private:
    void record(Sent s) {
        std::lock_guard lock(mutex_);
        sent_.push_back(std::move(s));
    }

    platform::Thread& clientThread_;
    mutable std::mutex mutex_;
    std::vector<Sent> sent_;
};

// Holds a thread inside one task until opened, so that what callers do
// meanwhile is seen to return without waiting for the thread.
class Gate {
public:
    explicit Gate(platform::Thread& thread) {
        thread.post([opened = opened_] { opened.wait(); });
    }
    ~Gate() { open(); }
    void open() {
        if (!isOpen_) open_.set_value();
        isOpen_ = true;
    }

private:
    std::promise<void> open_;
    std::shared_future<void> opened_ = open_.get_future().share();
    bool isOpen_ = false;
};

}  // namespace push_testing
