#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using platform::Notification;
using platform::NotificationCenter;

namespace {

// Observer and sender identities; only their addresses matter.
int alice, bob, carol, pageA, pageB;

}  // namespace

TEST(NotificationDelivery, SynchronousInRegistrationOrderWithItsPayload) {
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver(&bob, "load", nullptr, [&](const Notification& n) {
        calls.push_back("bob:" + std::any_cast<std::string>(n.object));
    });
    center.addObserver(&alice, "load", nullptr, [&](const Notification& n) {
        calls.push_back("alice:" + *n.userInfo.string());
    });
    center.addObserver(&carol, "unload", nullptr, [&](const Notification&) { calls.push_back("carol"); });
    center.post("load", &pageA, std::string("index.html"), platform::Value("info"));
    EXPECT_EQ(calls, (std::vector<std::string>{"bob:index.html", "alice:info"}));
}

TEST(NotificationDelivery, SenderFilterMatchesByIdentityOrTakesAll) {
    NotificationCenter center;
    int fromA = 0, fromAnyone = 0;
    center.addObserver(&alice, "load", &pageA, [&](const Notification&) { ++fromA; });
    center.addObserver(&bob, "load", nullptr, [&](const Notification&) { ++fromAnyone; });
    center.post("load", &pageA);
    center.post("load", &pageB);
    center.post("load");
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromAnyone, 3);
}

TEST(NotificationDelivery, PostedOnAnotherThreadRunsOnThatThread) {
    NotificationCenter center;
    std::thread::id deliveredOn;
    center.addObserver(&alice, "ping", nullptr, [&](const Notification&) { deliveredOn = std::this_thread::get_id(); });
    std::thread::id posterId;
    std::thread poster([&] {
        posterId = std::this_thread::get_id();
        center.post("ping");
    });
    poster.join();
    EXPECT_EQ(deliveredOn, posterId);
}

TEST(NotificationRemoval, ByNameAndSenderOrEverything) {
    NotificationCenter center;
    std::vector<std::string> calls;
    auto note = [&](std::string what) { return [&calls, what](const Notification&) { calls.push_back(what); }; };
    center.addObserver(&alice, "load", &pageA, note("a-load-A"));
    center.addObserver(&alice, "load", &pageB, note("a-load-B"));
    center.addObserver(&alice, "unload", nullptr, note("a-unload"));
    center.addObserver(&bob, "load", nullptr, note("b-load"));

    center.removeObserver(&alice, "load", &pageB);
    center.post("load", &pageB);
    center.post("load", &pageA);
    EXPECT_EQ(calls, (std::vector<std::string>{"b-load", "a-load-A", "b-load"}));

    center.removeObserver(&alice, "load");  // every sender
    EXPECT_EQ(center.observerCount(), 2u);
    center.removeObserver(&alice);
    center.removeObserver(&carol);  // never registered
    EXPECT_EQ(center.observerCount(), 1u);
    calls.clear();
    center.post("unload");
    center.post("load", &pageA);
    EXPECT_EQ(calls, (std::vector<std::string>{"b-load"}));
}

TEST(NotificationRemoval, DuringDeliveryTakesEffectAtOnce) {
    NotificationCenter center;
    std::vector<std::string> calls;
    center.addObserver(&alice, "tick", nullptr, [&](const Notification&) {
        calls.push_back("alice");
        center.removeObserver(&alice);  // itself
        center.removeObserver(&carol);  // one still waiting in this delivery
        center.addObserver(&bob, "tick", nullptr, [&](const Notification&) { calls.push_back("bob"); });
    });
    center.addObserver(&carol, "tick", nullptr, [&](const Notification&) { calls.push_back("carol"); });
    center.post("tick");
    EXPECT_EQ(calls, (std::vector<std::string>{"alice"}));
    center.post("tick");
    EXPECT_EQ(calls, (std::vector<std::string>{"alice", "bob"}));
}

TEST(NotificationRegistration, ConcurrentWithPosting) {
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread poster([&] {
        while (!stop) center.post("busy");
    });
    std::vector<std::thread> registrars;
    std::vector<char> observers(8 * 200);
    for (int t = 0; t < 8; ++t) {
        registrars.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const char* self = &observers[t * 200 + i];
                center.addObserver(self, "busy", nullptr, [&](const Notification&) { ++delivered; });
                if (i % 2) center.removeObserver(self);
            }
        });
    }
    for (auto& r : registrars) r.join();
    stop = true;
    poster.join();
    EXPECT_EQ(center.observerCount(), 8u * 100u);
    center.post("busy");
    EXPECT_GE(delivered.load(), 800);
}

TEST(NotificationRegistration, EmptyCallbackIsIgnored) {
    NotificationCenter center;
    center.addObserver(&alice, "x", nullptr, nullptr);
    EXPECT_EQ(center.observerCount(), 0u);
    EXPECT_NO_THROW(center.post("x"));
}
