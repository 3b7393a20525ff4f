#include "core/NotificationCenter.h"
#include "core/VirtualMainQueue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vokari;

TEST(NotificationCenter, DeliversByNameSynchronouslyOrThroughTheQueue) {
    NotificationCenter center;
    VirtualMainQueue q;
    std::vector<std::string> seen;
    auto direct = center.addObserver("vokari.a", [&](const std::any& o) {
        seen.push_back(o.has_value() ? std::any_cast<std::string>(o) : "none");
    });
    auto queued = center.addObserver("vokari.a", [&](const std::any&) { seen.push_back("queued"); }, &q);
    auto other = center.addObserver("vokari.b", [&](const std::any&) { seen.push_back("b"); });

    center.post("vokari.a", std::string("obj"));
    center.post("vokari.a");
    EXPECT_EQ(seen, (std::vector<std::string>{"obj", "none"}));
    q.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string>{"obj", "none", "queued", "queued"}));
}

TEST(NotificationCenter, RemovedObserversGetNothingIncludingDeliveriesAlreadyQueued) {
    NotificationCenter center;
    VirtualMainQueue q;
    int calls = 0;
    auto sub = center.addObserver("vokari.x", [&](const std::any&) { ++calls; }, &q);
    center.post("vokari.x");
    sub.reset();
    center.post("vokari.x");
    q.runUntilIdle();
    EXPECT_EQ(calls, 0);

    {
        auto scoped = center.addObserver("vokari.x", [&](const std::any&) { ++calls; });
        center.post("vokari.x");
    }
    center.post("vokari.x");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, PostingFromManyThreadsWhileObserversComeAndGo) {
    NotificationCenter center;
    VirtualMainQueue q;
    std::atomic<int> direct{0};
    auto keep = center.addObserver("vokari.t", [&](const std::any&) { direct++; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                center.post("vokari.t");
                auto temp = center.addObserver("vokari.t", [](const std::any&) {}, &q);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(direct.load(), 2000);
    q.runUntilIdle();
}
