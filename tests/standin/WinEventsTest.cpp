// The stand-in's events as Windows has them: an auto-reset event lets exactly one
// waiter through and is clear again, a manual-reset one lets every waiter through and
// stays set; and the log of timed waits, which tells how long each really lasted.
#include "Win32.hpp"
#include "standin/Win.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Waiter {
    HANDLE event = nullptr;
    std::atomic<int>* waiting = nullptr;
    std::atomic<int>* released = nullptr;
};

DWORD WaitOnce(LPVOID parameter)
{
    auto& waiter = *static_cast<Waiter*>(parameter);
    waiter.waiting->fetch_add(1);
    if (WaitForSingleObject(waiter.event, 1500) == WAIT_OBJECT_0)
        waiter.released->fetch_add(1);
    return 0;
}

TEST(WinEvents, AnAutoResetEventReleasesOneWaiterAManualResetOneAll)
{
    const struct {
        const char* what;
        BOOL manualReset;
        int released;
        DWORD afterwards;
    } cases[] = {
        {"auto-reset", FALSE, 1, WAIT_TIMEOUT},
        {"manual-reset", TRUE, 3, WAIT_OBJECT_0},
    };
    for (const auto& c : cases) {
        HANDLE event = CreateEventW(nullptr, c.manualReset, FALSE, nullptr);
        ASSERT_NE(event, nullptr) << c.what;
        std::atomic<int> waiting{0};
        std::atomic<int> released{0};
        Waiter waiter{event, &waiting, &released};
        std::vector<HANDLE> threads;
        for (int i = 0; i < 3; ++i)
            threads.push_back(CreateThread(nullptr, 0, WaitOnce, &waiter, 0, nullptr));
        while (waiting.load() < 3)
            std::this_thread::sleep_for(1ms);
        // Every waiter is inside its wait, well before its limit.
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(SetEvent(event)) << c.what;
        for (HANDLE thread : threads) {
            EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0) << c.what;
            CloseHandle(thread);
        }
        EXPECT_EQ(released.load(), c.released) << c.what;
        EXPECT_EQ(WaitForSingleObject(event, 0), c.afterwards) << c.what;
        EXPECT_TRUE(CloseHandle(event)) << c.what;
    }
}

TEST(WinEvents, TheLogTellsTheLimitAndTheRealLengthOfEachWait)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const std::size_t before = standin::win::TimedWaits().size();
    EXPECT_EQ(WaitForSingleObject(event, 60), WAIT_TIMEOUT);
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    CloseHandle(event);

    const auto waits = standin::win::TimedWaits();
    ASSERT_EQ(waits.size(), before + 2);
    EXPECT_EQ(waits[before].milliseconds, 60u);
    EXPECT_EQ(waits[before].result, WAIT_TIMEOUT);
    EXPECT_GE(waits[before].lasted, 60ms);
    // A set event answers at once, far within the limit asked.
    EXPECT_EQ(waits[before + 1].milliseconds, 5000u);
    EXPECT_EQ(waits[before + 1].result, WAIT_OBJECT_0);
    EXPECT_LT(waits[before + 1].lasted, 1000ms);
    EXPECT_GE(waits[before + 1].began, waits[before].began + waits[before].lasted);
    // Not a thread of CreateThread's.
    EXPECT_EQ(waits[before].startRoutine, nullptr);
}

}  // namespace
