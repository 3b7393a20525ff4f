#include "core/VirtualMainQueue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace vokari;

TEST(VirtualMainQueue, RunsTasksInDueOrderThenPostingOrderAtTheirDueTime) {
    VirtualMainQueue q(100.0);
    std::vector<std::pair<int, double>> ran;
    q.postAfter(0.4, [&] { ran.emplace_back(1, q.now()); });
    q.postAfter(0.15, [&] { ran.emplace_back(2, q.now()); });
    q.postAfter(0.15, [&] { ran.emplace_back(3, q.now()); });
    q.post([&] { ran.emplace_back(4, q.now()); });

    q.advance(0.1);
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0], std::make_pair(4, 100.0));

    q.advance(0.3); // 100.4: the 0.4 task is due exactly now and runs
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran[1], std::make_pair(2, 100.15));
    EXPECT_EQ(ran[2], std::make_pair(3, 100.15));
    EXPECT_EQ(ran[3].first, 1);
    EXPECT_DOUBLE_EQ(ran[3].second, 100.4);
    EXPECT_DOUBLE_EQ(q.now(), 100.4);
}

TEST(VirtualMainQueue, TasksPostedByTasksAndCancellation) {
    VirtualMainQueue q;
    std::vector<double> times;
    auto start = q.now();
    q.postAfter(1.0, [&] {
        times.push_back(q.now() - start);
        q.postAfter(0.5, [&] { times.push_back(q.now() - start); });
    });
    auto cancelled = q.postAfter(0.5, [&] { times.push_back(-1); });
    cancelled.cancel();
    cancelled.cancel(); // idempotent
    EXPECT_TRUE(cancelled.isCancelled());

    q.advance(2.0);
    EXPECT_EQ(times, (std::vector<double>{1.0, 1.5}));
    EXPECT_EQ(q.pendingCount(), 0u);
    EXPECT_TRUE(TaskHandle().isCancelled());
}

TEST(VirtualMainQueue, RepeatingTimersFireEveryIntervalUntilCancelledEvenFromInside) {
    VirtualMainQueue q;
    int fired = 0;
    TaskHandle handle;
    handle = q.postRepeating(2.0, [&] {
        if (++fired == 3) {
            handle.cancel();
        }
    });
    q.advance(1.9);
    EXPECT_EQ(fired, 0);
    q.advance(0.1);
    EXPECT_EQ(fired, 1);
    q.advance(100);
    EXPECT_EQ(fired, 3);
}

TEST(VirtualMainQueue, RunUntilPicksUpTasksPostedFromOtherThreads) {
    VirtualMainQueue q;
    int value = 0;
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q.post([&] { value = 42; });
    });
    EXPECT_TRUE(q.runUntil([&] { return value == 42; }, std::chrono::seconds(5)));
    worker.join();
    EXPECT_FALSE(q.runUntil([] { return false; }, std::chrono::milliseconds(20)));
}
