#include "standin/Base.hpp"

#include <map>
#include <mutex>

namespace standin::base {
namespace {

struct Config {
    std::mutex mutex;
    int codePage = 1252;
    std::map<std::int32_t, std::string> special;
    GSErrCode failCode = 0;
    int failTimes = 0;
};

Config& State()
{
    static Config config;
    return config;
}

}  // namespace

void SetDefaultCodePage(int codePage)
{
    std::lock_guard lock(State().mutex);
    State().codePage = codePage;
}

int DefaultCodePage()
{
    std::lock_guard lock(State().mutex);
    return State().codePage;
}

void SetSpecialLocation(std::int32_t which, const std::string& utf8Path)
{
    std::lock_guard lock(State().mutex);
    State().special[which] = utf8Path;
}

void ClearSpecialLocations()
{
    std::lock_guard lock(State().mutex);
    State().special.clear();
    State().failTimes = 0;
}

std::optional<std::string> SpecialLocation(std::int32_t which)
{
    std::lock_guard lock(State().mutex);
    auto it = State().special.find(which);
    if (it == State().special.end())
        return std::nullopt;
    return it->second;
}

void FailSpecialLocation(GSErrCode code, int times)
{
    std::lock_guard lock(State().mutex);
    State().failCode = code;
    State().failTimes = times;
}

// Used by IO::FileSystem: the injected failure, if one is pending.
GSErrCode TakeSpecialLocationFailure()
{
    std::lock_guard lock(State().mutex);
    if (State().failTimes <= 0)
        return 0;
    --State().failTimes;
    return State().failCode;
}

}  // namespace standin::base
