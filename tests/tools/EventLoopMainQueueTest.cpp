// The real-time main queue vokarictl runs on: order, cross-thread posts, cancellation and runUntil's limit.
// No timed assertions: only what ran and in which order.
#include "core/EventLoopMainQueue.h"

#include <gtest/gtest.h>

#include <thread>

namespace vokari {
namespace {

TEST(EventLoopMainQueue, RunsTasksInDueThenPostingOrderOnTheLoopThread) {
    EventLoopMainQueue queue;
    std::vector<std::string> order;
    queue.postAfter(0.02, [&] { order.push_back("later"); });
    queue.post([&] { order.push_back("first"); });
    queue.post([&] { order.push_back("second"); });
    auto cancelled = queue.postAfter(0.001, [&] { order.push_back("cancelled"); });
    cancelled.cancel();
    int ticks = 0;
    auto repeating = queue.postRepeating(0.001, [&] { ++ticks; });
    std::thread::id loopThread;
    std::thread poster([&] { queue.postAfter(0.01, [&] { loopThread = std::this_thread::get_id(); }); });
    poster.join();
    EXPECT_TRUE(queue.runUntil([&] { return order.size() == 3 && ticks >= 3; }, std::chrono::seconds(5)));
    repeating.cancel();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "later"}));
    EXPECT_EQ(loopThread, std::this_thread::get_id());
}

TEST(EventLoopMainQueue, RunUntilGivesUpAtItsLimitAndStopEndsRun) {
    EventLoopMainQueue queue;
    EXPECT_FALSE(queue.runUntil([] { return false; }, std::chrono::milliseconds(30)));
    std::thread stopper([&] { queue.postAfter(0.01, [&] { queue.stop(); }); });
    stopper.join();
    queue.run(); // returns once the posted stop has run
    SUCCEED();
}

} // namespace
} // namespace vokari
