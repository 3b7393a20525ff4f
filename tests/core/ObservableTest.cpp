#include "core/Observable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace vokari;

TEST(Observable, SubscriberGetsCurrentValueThenEveryAssignmentWithoutDeduplication) {
    Observable<int> value(7);
    std::vector<int> seen;
    auto sub = value.subscribe([&](const int& v) { seen.push_back(v); });
    value = 7;
    value = 8;
    value = 8;
    EXPECT_EQ(seen, (std::vector<int>{7, 7, 8, 8}));
    sub.reset();
    value = 9;
    EXPECT_EQ(seen.size(), 4u);
}

TEST(Observable, DeliveryHappensInsideTheAssignmentAfterTheWillChangeHook) {
    std::vector<std::string> order;
    Observable<std::optional<std::string>> name(std::nullopt, [&] { order.push_back("will"); });
    auto sub = name.subscribe([&](const auto& v) { order.push_back(v.value_or("none")); });
    name = std::string("mic");
    order.push_back("after");
    EXPECT_EQ(order, (std::vector<std::string>{"none", "will", "mic", "after"}));
}

TEST(Signal, SubscribersCanLeaveDuringAnEmitAndAreNotCalledAfterwards) {
    Signal<int> signal;
    std::vector<std::string> calls;
    Subscription second;
    auto first = signal.subscribe([&](int) {
        calls.push_back("first");
        second.reset();
    });
    second = signal.subscribe([&](int) { calls.push_back("second"); });
    signal.emit(1);
    signal.emit(2);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "first"}));
    EXPECT_EQ(signal.subscriberCount(), 1u);
}
