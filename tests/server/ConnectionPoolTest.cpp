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
    std::atomic<int> waitingRan{0};
    for (int i = 0; i < 5; ++i) {
        pool.enqueue([&] { ++waitingRan; });
    }
    EXPECT_EQ(waitingRan.load(), 0);
    EXPECT_EQ(pool.threadCount(), 3u);
    release.set_value();
    // Shutting down lets everything queued finish first.
    pool.shutdown();
    EXPECT_EQ(waitingRan.load(), 5);
}
