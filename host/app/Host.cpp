#include "standin/Host.hpp"
#include "standin/Base.hpp"
#include "standin/Win.hpp"

#include <atomic>

namespace standin {
namespace {

std::atomic<Host*> currentHost{nullptr};

}  // namespace

std::string DefaultResourceDir() { return TARVEL_RESOURCE_DIR; }

Host::Host(HostOptions options) : options_(std::move(options)), uiThread_(std::this_thread::get_id())
{
    if (options_.resourceDir.empty())
        options_.resourceDir = DefaultResourceDir();
    Host* expected = nullptr;
    if (!currentHost.compare_exchange_strong(expected, this))
        throw std::logic_error("a stand-in host is already running");
    standin::base::ClearSpecialLocations();
    if (!options_.specialLocation.empty())
        standin::base::SetSpecialLocation(9, options_.specialLocation);
    standin::win::SetUserProxy(options_.userProxy.empty() ? std::nullopt : std::optional(options_.userProxy));
    try {
        modules_ = CreateModules(*this);
        for (auto& module : modules_)
            module->Install(table_);
    } catch (...) {
        modules_.clear();
        standin::base::ClearSpecialLocations();
        currentHost.store(nullptr);
        throw;
    }
}

Host::~Host()
{
    modules_.clear();
    standin::base::ClearSpecialLocations();
    currentHost.store(nullptr);
}

Host& Host::Current()
{
    Host* host = currentHost.load();
    if (host == nullptr)
        throw std::logic_error("no stand-in host is running");
    return *host;
}

Host* Host::TryCurrent() { return currentHost.load(); }

void Host::FailCall(HostInterface::Slot slot, GSErrCode code, int skip, int times)
{
    std::lock_guard lock(mutex_);
    failures_[slot] = Failure{code, skip, times};
}

void Host::ClearFailures()
{
    std::lock_guard lock(mutex_);
    failures_.clear();
}

GSErrCode Host::EnterCall(HostInterface::Slot slot, std::size_t* index)
{
    std::lock_guard lock(mutex_);
    if (index != nullptr)
        *index = calls_.size();
    calls_.push_back(CallRecord{slot, std::this_thread::get_id()});
    auto it = failures_.find(slot);
    if (it == failures_.end())
        return 0;
    Failure& failure = it->second;
    if (failure.skip > 0) {
        --failure.skip;
        return 0;
    }
    const GSErrCode code = failure.code;
    if (--failure.times <= 0)
        failures_.erase(it);
    calls_.back().result = code;
    return code;
}

void Host::RecordResult(std::size_t index, GSErrCode result)
{
    std::lock_guard lock(mutex_);
    if (index < calls_.size())
        calls_[index].result = result;
}

std::vector<CallRecord> Host::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::size_t Host::CallCount(HostInterface::Slot slot) const
{
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& call : calls_)
        n += call.slot == slot ? 1 : 0;
    return n;
}

std::vector<CallRecord> Host::CallsOffUiThread() const
{
    std::lock_guard lock(mutex_);
    std::vector<CallRecord> off;
    for (const auto& call : calls_)
        if (call.thread != uiThread_)
            off.push_back(call);
    return off;
}

}  // namespace standin
