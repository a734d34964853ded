#include "Win32.hpp"
#include "standin/Win.hpp"

#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <thread>

namespace standin::win {
namespace {

struct ThreadRecord {
    std::thread thread;
    bool ended = false;
    bool closed = false;
    DWORD exitCode = STILL_ACTIVE;
};

struct ThreadRegistry {
    std::mutex mutex;
    std::condition_variable changed;
    std::list<ThreadRecord> records;

    ~ThreadRegistry()
    {
        std::unique_lock lock(mutex);
        for (auto& record : records) {
            if (!record.thread.joinable())
                continue;
            if (record.ended) {
                record.thread.join();
            } else {
                std::fputs("stand-in: a thread still runs at exit; left detached\n", stderr);
                record.thread.detach();
            }
        }
    }

    ThreadRecord* Find(HANDLE handle)
    {
        for (auto& record : records)
            if (&record == handle)
                return &record;
        return nullptr;
    }

    // Joins and forgets ended threads whose handles are closed (never the caller itself).
    void Reap(std::unique_lock<std::mutex>& lock)
    {
        std::list<ThreadRecord> done;
        for (auto it = records.begin(); it != records.end();) {
            auto next = std::next(it);
            if (it->ended && it->closed && it->thread.get_id() != std::this_thread::get_id())
                done.splice(done.end(), records, it);
            it = next;
        }
        lock.unlock();
        for (auto& record : done)
            if (record.thread.joinable())
                record.thread.join();
        lock.lock();
    }
};

ThreadRegistry& Registry()
{
    static ThreadRegistry registry;
    return registry;
}

struct EventRecord {
    bool manualReset = false;
    bool set = false;
};

// Events live here until their handle is closed; the handle is the record's address.
struct EventRegistry {
    std::mutex mutex;
    std::condition_variable changed;
    std::list<EventRecord> events;

    EventRecord* Find(HANDLE handle)
    {
        for (auto& event : events)
            if (&event == handle)
                return &event;
        return nullptr;
    }
};

// Never destroyed: objects of the add-on that own events may outlive any static here.
EventRegistry& Events()
{
    static auto* registry = new EventRegistry;
    return *registry;
}

// The start routine of the thread this runs on, when CreateThread started it.
thread_local const void* currentStartRoutine = nullptr;

struct WaitLog {
    std::mutex mutex;
    std::vector<TimedWait> waits;
};

WaitLog& Waits()
{
    static auto* log = new WaitLog;
    return *log;
}

void LogWait(DWORD milliseconds, std::chrono::steady_clock::time_point began, DWORD result)
{
    const auto lasted = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began);
    auto& log = Waits();
    std::lock_guard lock(log.mutex);
    log.waits.push_back(TimedWait{currentStartRoutine, milliseconds, began, lasted, result});
}

DWORD WaitForEvent(HANDLE handle, DWORD milliseconds, bool& isEvent)
{
    auto& registry = Events();
    std::unique_lock lock(registry.mutex);
    EventRecord* event = registry.Find(handle);
    isEvent = event != nullptr;
    if (event == nullptr)
        return WAIT_FAILED;
    auto isSet = [&] { return event->set; };
    if (milliseconds == INFINITE)
        registry.changed.wait(lock, isSet);
    else if (!registry.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet))
        return WAIT_TIMEOUT;
    if (!event->manualReset)
        event->set = false;
    return WAIT_OBJECT_0;
}

}  // namespace

std::vector<TimedWait> TimedWaits()
{
    auto& log = Waits();
    std::lock_guard lock(log.mutex);
    return log.waits;
}

int LiveThreads()
{
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    int live = 0;
    for (const auto& record : registry.records)
        live += record.ended ? 0 : 1;
    return live;
}

bool WaitForAllThreads(std::chrono::milliseconds timeout)
{
    auto& registry = Registry();
    std::unique_lock lock(registry.mutex);
    const bool ended = registry.changed.wait_for(lock, timeout, [&] {
        for (const auto& record : registry.records)
            if (!record.ended && record.thread.get_id() != std::this_thread::get_id())
                return false;
        return true;
    });
    // Ended threads are joined here, so that their last steps happen before the caller goes on.
    for (auto& record : registry.records)
        if (record.ended && record.thread.joinable() && record.thread.get_id() != std::this_thread::get_id())
            record.thread.join();
    registry.Reap(lock);
    return ended;
}

}  // namespace standin::win

using standin::win::Registry;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD threadId)
{
    if (start == nullptr)
        return nullptr;
    auto& registry = Registry();
    std::unique_lock lock(registry.mutex);
    registry.Reap(lock);
    auto& record = registry.records.emplace_back();
    // The thread waits for the registry lock, so the record is complete before it runs.
    record.thread = std::thread([&registry, &record, start, parameter] {
        { std::lock_guard started(registry.mutex); }
        standin::win::currentStartRoutine = reinterpret_cast<const void*>(start);
        const DWORD code = start(parameter);
        std::lock_guard ended(registry.mutex);
        record.exitCode = code;
        record.ended = true;
        registry.changed.notify_all();
    });
    if (threadId != nullptr)
        *threadId = static_cast<DWORD>(std::hash<std::thread::id>()(record.thread.get_id()));
    return &record;
}

namespace {

DWORD WaitForObject(HANDLE handle, DWORD milliseconds)
{
    bool isEvent = false;
    const DWORD eventResult = standin::win::WaitForEvent(handle, milliseconds, isEvent);
    if (isEvent)
        return eventResult;
    auto& registry = Registry();
    std::unique_lock lock(registry.mutex);
    auto* record = registry.Find(handle);
    if (record == nullptr || record->closed)
        return WAIT_FAILED;
    auto ended = [&] { return record->ended; };
    if (milliseconds == INFINITE)
        registry.changed.wait(lock, ended);
    else if (!registry.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ended))
        return WAIT_TIMEOUT;
    if (record->thread.joinable() && record->thread.get_id() != std::this_thread::get_id())
        record->thread.join();
    return WAIT_OBJECT_0;
}

}  // namespace

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    const auto began = std::chrono::steady_clock::now();
    const DWORD result = WaitForObject(handle, milliseconds);
    standin::win::LogWait(milliseconds, began, result);
    return result;
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto* record = registry.Find(handle);
    if (record == nullptr || record->closed || exitCode == nullptr)
        return FALSE;
    *exitCode = record->exitCode;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    {
        auto& events = standin::win::Events();
        std::lock_guard lock(events.mutex);
        for (auto it = events.events.begin(); it != events.events.end(); ++it) {
            if (&*it == handle) {
                events.events.erase(it);
                return TRUE;
            }
        }
    }
    auto& registry = Registry();
    std::unique_lock lock(registry.mutex);
    auto* record = registry.Find(handle);
    if (record == nullptr || record->closed)
        return FALSE;
    record->closed = true;
    registry.Reap(lock);
    return TRUE;
}

ULONGLONG GetTickCount64()
{
    // Counted from a fixed start, like the time since the system started.
    static const auto start = std::chrono::steady_clock::now() - std::chrono::hours(1);
    return static_cast<ULONGLONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    // Named events would be shared between processes; nothing here needs them.
    if (name != nullptr)
        return nullptr;
    auto& registry = standin::win::Events();
    std::lock_guard lock(registry.mutex);
    auto& event = registry.events.emplace_back();
    event.manualReset = manualReset != FALSE;
    event.set = initialState != FALSE;
    return &event;
}

BOOL SetEvent(HANDLE handle)
{
    auto& registry = standin::win::Events();
    {
        std::lock_guard lock(registry.mutex);
        auto* event = registry.Find(handle);
        if (event == nullptr)
            return FALSE;
        event->set = true;
    }
    registry.changed.notify_all();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    auto& registry = standin::win::Events();
    std::lock_guard lock(registry.mutex);
    auto* event = registry.Find(handle);
    if (event == nullptr)
        return FALSE;
    event->set = false;
    return TRUE;
}
