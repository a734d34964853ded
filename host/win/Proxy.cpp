#include "Win32.hpp"
#include "WinInternal.hpp"
#include "standin/Base.hpp"
#include "standin/Win.hpp"

#include <mutex>

namespace standin::win {
namespace {

struct ProxyState {
    std::mutex mutex;
    std::optional<std::string> proxy;
    std::optional<std::string> bypass;
    bool fail = false;
};

ProxyState& Proxy()
{
    static ProxyState state;
    return state;
}

LPWSTR Text(const std::optional<std::string>& utf8)
{
    if (!utf8)
        return nullptr;
    return static_cast<LPWSTR>(AllocateText(standin::base::Decode(utf8->data(), utf8->size(), GS::CC_UTF8)));
}

}  // namespace

void SetUserProxy(std::optional<std::string> proxy)
{
    std::lock_guard lock(Proxy().mutex);
    Proxy().proxy = std::move(proxy);
}

void SetUserProxyBypass(std::optional<std::string> bypass)
{
    std::lock_guard lock(Proxy().mutex);
    Proxy().bypass = std::move(bypass);
}

void FailUserProxyQuery(bool fail)
{
    std::lock_guard lock(Proxy().mutex);
    Proxy().fail = fail;
}

}  // namespace standin::win

BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config)
{
    if (config == nullptr)
        return FALSE;
    auto& state = standin::win::Proxy();
    std::lock_guard lock(state.mutex);
    if (state.fail)
        return FALSE;
    config->fAutoDetect = FALSE;
    config->lpszAutoConfigUrl = nullptr;
    config->lpszProxy = standin::win::Text(state.proxy);
    config->lpszProxyBypass = standin::win::Text(state.bypass);
    return TRUE;
}
