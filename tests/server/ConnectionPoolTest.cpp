// The connection pool: a thread per connection up to the cap, waiting past it, and a clean drain.
#include "http/ConnectionPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <vector>

using namespace vokari::server;

TEST(ServerConnectionPool, EachConnectionGetsAThreadUpToTheCapThenWaitsInOrder) {
    ConnectionPool pool(1, 3);
    // Three connections that hold their thread (as idle keep-alive clients do) all run at once.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::promise<void>> started(3);
    for (auto& s : started) {
        pool.enqueue([&s, released] {
            s.set_value();
            released.wait();
        });
    }
    for (auto& s : started) {
        s.get_future().wait();
    }
    EXPECT_EQ(pool.threadCount(), 3u);

    // Past the cap, connections wait until a thread is free.
    std::mutex lock;
    std::vector<int> order;
    std::atomic<int> waitingRan{0};
    for (int i = 0; i < 5; ++i) {
        pool.enqueue([&, i] {
            std::lock_guard<std::mutex> guard(lock);
            order.push_back(i);
            ++waitingRan;
        });
    }
    EXPECT_EQ(waitingRan.load(), 0);
    EXPECT_EQ(pool.threadCount(), 3u);
    release.set_value();
    // Shutting down lets everything queued finish first.
    pool.shutdown();
    EXPECT_EQ(waitingRan.load(), 5);
    EXPECT_EQ(order.size(), 5u);
}

TEST(ServerConnectionPool, ThreadsBeyondTheKeptOnesEndWhenIdle) {
    ConnectionPool pool(1, 4, std::chrono::milliseconds(20));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::vector<std::promise<void>> started(4);
    for (auto& s : started) {
        pool.enqueue([&s, released] {
            s.set_value();
            released.wait();
        });
    }
    for (auto& s : started) {
        s.get_future().wait();
    }
    EXPECT_EQ(pool.threadCount(), 4u);
    release.set_value();
    for (int i = 0; i < 500 && pool.threadCount() > 1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(pool.threadCount(), 1u);
    // The pool still serves after shrinking.
    std::promise<void> done;
    pool.enqueue([&done] { done.set_value(); });
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
