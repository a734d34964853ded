#include "Win32.hpp"
#include "standin/Win.hpp"

#include <cerrno>
#include <ctime>
#include <mutex>

namespace standin::win {
namespace {

struct ClockState {
    std::mutex mutex;
    std::optional<std::int64_t> now;
    std::optional<int> utcOffsetMinutes;
};

ClockState& Clock()
{
    static ClockState state;
    return state;
}

}  // namespace

void SetClock(std::optional<std::int64_t> secondsSince1970)
{
    std::lock_guard lock(Clock().mutex);
    Clock().now = secondsSince1970;
}

void SetUtcOffset(std::optional<int> minutes)
{
    std::lock_guard lock(Clock().mutex);
    Clock().utcOffsetMinutes = minutes;
}

}  // namespace standin::win

__time64_t _time64(__time64_t* time)
{
    auto& clock = standin::win::Clock();
    std::lock_guard lock(clock.mutex);
    const __time64_t now = clock.now ? *clock.now : static_cast<__time64_t>(std::time(nullptr));
    if (time != nullptr)
        *time = now;
    return now;
}

errno_t _localtime64_s(struct tm* local, const __time64_t* time)
{
    if (local == nullptr || time == nullptr)
        return EINVAL;
    auto& clock = standin::win::Clock();
    std::lock_guard lock(clock.mutex);
    if (clock.utcOffsetMinutes) {
        const std::time_t shifted = static_cast<std::time_t>(*time + *clock.utcOffsetMinutes * 60LL);
        if (gmtime_r(&shifted, local) == nullptr)
            return EINVAL;
        local->tm_isdst = 0;
        return 0;
    }
    const std::time_t t = static_cast<std::time_t>(*time);
    return localtime_r(&t, local) == nullptr ? EINVAL : 0;
}
