#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/foundation/NotificationCenter.h"

using namespace murmelo;

TEST(NotificationCenter, FiltersByNameAndObject) {
    NotificationCenter center;
    int senderA = 0;
    int senderB = 0;
    std::vector<std::string> calls;
    auto record = [&](const char* who) {
        return [&calls, who](const Notification& n) { calls.push_back(std::string(who) + ":" + n.name); };
    };
    auto named = center.addObserver("SwithToSecretTab", nullptr, record("named"));
    auto namedFromA = center.addObserver("SwithToSecretTab", &senderA, record("namedA"));
    auto anyFromB = center.addObserver(std::nullopt, &senderB, record("anyB"));
    auto everything = center.addObserver(std::nullopt, nullptr, record("all"));

    struct Case {
        const char* name;
        const void* object;
        std::vector<std::string> expected;
    } cases[] = {
        {"SwithToSecretTab", nullptr, {"named:SwithToSecretTab", "all:SwithToSecretTab"}},
        {"SwithToSecretTab",
         &senderA,
         {"named:SwithToSecretTab", "namedA:SwithToSecretTab", "all:SwithToSecretTab"}},
        {"SwithToSecretTab",
         &senderB,
         {"named:SwithToSecretTab", "anyB:SwithToSecretTab", "all:SwithToSecretTab"}},
        {"Other", &senderA, {"all:Other"}},
        {"Other", &senderB, {"anyB:Other", "all:Other"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.object == &senderA ? " A" : c.object == &senderB ? " B" : ""));
        calls.clear();
        center.postNotificationName(c.name, c.object);
        EXPECT_EQ(calls, c.expected);
    }
}

TEST(NotificationCenter, DeliversUserInfoAndStopsAfterRemoval) {
    NotificationCenter center;
    Dictionary received;
    int count = 0;
    auto token = center.addObserver("n", nullptr, [&](const Notification& n) {
        received = n.userInfo;
        ++count;
    });
    center.postNotificationName("n", nullptr, Dictionary{{"status", Value(2)}});
    EXPECT_EQ(received, (Dictionary{{"status", Value(2)}}));
    EXPECT_TRUE(token.isRegistered());
    center.removeObserver(token);
    EXPECT_FALSE(token.isRegistered());
    center.postNotificationName("n");
    EXPECT_EQ(count, 1);
    EXPECT_EQ(center.observerCount(), 0u);

    {
        auto scoped = center.addObserver("n", nullptr, [&](const Notification&) { ++count; });
        EXPECT_EQ(center.observerCount(), 1u);
    }
    center.postNotificationName("n");
    EXPECT_EQ(count, 1);

    // Moving a token keeps one registration; assigning over a token removes its old one.
    ObserverToken moved = center.addObserver("n", nullptr, [&](const Notification&) { ++count; });
    ObserverToken target = std::move(moved);
    center.postNotificationName("n");
    EXPECT_EQ(count, 2);
    target = center.addObserver("n", nullptr, [&](const Notification&) { count += 10; });
    center.postNotificationName("n");
    EXPECT_EQ(count, 12);
    EXPECT_EQ(center.observerCount(), 1u);
}

TEST(NotificationCenter, CallbacksMayRemoveAndPostDuringDelivery) {
    NotificationCenter center;
    std::vector<std::string> calls;
    ObserverToken second;
    ObserverToken first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("first");
        second.remove(); // removed during this very delivery: must not be called
        first.remove();  // removing oneself from inside is fine too
    });
    second = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });
    ObserverToken third = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("third");
        center.postNotificationName("nested");
    });
    ObserverToken late;
    ObserverToken nested = center.addObserver("nested", nullptr, [&](const Notification&) {
        calls.push_back("nested");
        // Adding during delivery works; the newcomer waits for the next post.
        if (!late.isRegistered()) {
            late = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("late"); });
        }
    });
    center.postNotificationName("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "third", "nested"}));
    calls.clear();
    center.postNotificationName("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"third", "nested", "late"}));
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrations) {
    NotificationCenter center;
    std::atomic<int> delivered{0};
    auto counter = center.addObserver("tick", nullptr, [&](const Notification&) { ++delivered; });
    constexpr int kThreads = 4;
    constexpr int kPosts = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kPosts; ++i) {
                center.postNotificationName("tick");
            }
        });
    }
    // Meanwhile observers come and go on another thread.
    threads.emplace_back([&] {
        for (int i = 0; i < 500; ++i) {
            auto transient = center.addObserver("tick", nullptr, [](const Notification&) {});
        }
    });
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(delivered.load(), kThreads * kPosts);
    EXPECT_EQ(center.observerCount(), 1u);
}

TEST(NotificationCenter, RemovalWaitsForACallRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    auto token =
        std::make_unique<ObserverToken>(center.addObserver("slow", nullptr, [&](const Notification&) {
            inside = true;
            while (!release) {
                std::this_thread::yield();
            }
            finished = true;
        }));
    std::thread poster([&] { center.postNotificationName("slow"); });
    while (!inside) {
        std::this_thread::yield();
    }
    std::thread remover([&] {
        token.reset(); // must block until the running call ends
        EXPECT_TRUE(finished.load());
    });
    release = true;
    remover.join();
    poster.join();
    EXPECT_TRUE(finished.load());
}

TEST(NotificationCenter, TokenMayOutliveItsCentre) {
    ObserverToken token;
    {
        NotificationCenter center;
        token = center.addObserver("n", nullptr, [](const Notification&) {});
        EXPECT_TRUE(token.isRegistered());
    }
    EXPECT_FALSE(token.isRegistered());
    token.remove(); // harmless
}
