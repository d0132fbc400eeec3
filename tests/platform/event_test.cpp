#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using win32::TEvent;

TEST(Event, ManualResetStaysSetUntilReset)
{
    TEvent event(TEvent::Reset::Manual);
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(1));
    event.set();
    EXPECT_TRUE(event.isSet());
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(-1));
    event.reset();
    EXPECT_FALSE(event.wait(0));

    TEvent initially(TEvent::Reset::Manual, true);
    EXPECT_TRUE(initially.isSet());
}

TEST(Event, AutoResetReleasesOneWaiterPerSet)
{
    TEvent event(TEvent::Reset::Auto, true);
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0));

    // Every set releases exactly one of the waiting threads.
    constexpr int waiters = 4;
    std::atomic<int> released { 0 };
    std::vector<std::thread> threads;
    for (int i = 0; i < waiters; ++i) {
        threads.emplace_back([&] {
            if (event.wait(-1))
                ++released;
        });
    }
    for (int i = 0; i < waiters; ++i) {
        event.set();
        while (released.load() < i + 1)
            std::this_thread::yield();
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(released.load(), waiters);
    EXPECT_FALSE(event.isSet());
}

TEST(Event, SetFromAnotherThreadEndsAnEndlessWait)
{
    TEvent event(TEvent::Reset::Manual);
    std::thread setter([&] { event.set(); });
    EXPECT_TRUE(event.wait(-1));
    setter.join();
}
