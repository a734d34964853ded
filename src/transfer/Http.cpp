#include "transfer/Http.hpp"

#include "Main/Globals.hpp"
#include "Win32.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/LocalNames.hpp"

#include <mutex>

namespace tarvel {
namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != 0; ++i) {
        if (i >= text.size())
            return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
        if (c != prefix[i])
            return false;
    }
    return true;
}

// The proxy string's units as 8-bit text; nothing for a unit outside ASCII, which
// has no place in a host name and no safe narrow form.
bool ToAscii(const std::wstring& units, std::string& out)
{
    out.clear();
    for (wchar_t unit : units) {
        if (unit <= 0 || unit > 0x7E)
            return false;
        out.push_back(static_cast<char>(unit));
    }
    return true;
}

void GlobalCurlInit()
{
    // Once per process, before any handle, whichever thread asks first.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HandleGuard {
    CURL* handle;
    ~HandleGuard()
    {
        if (handle != nullptr)
            curl_easy_cleanup(handle);
    }
};

}  // namespace

bool IsHttpUrl(const std::string& url) { return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://"); }

std::string ChooseProxy(const std::wstring& windowsProxy)
{
    const std::wstring separators = L"\t\r\n ;";
    std::size_t pos = 0;
    while (pos < windowsProxy.size()) {
        const std::size_t start = windowsProxy.find_first_not_of(separators, pos);
        if (start == std::wstring::npos)
            break;
        std::size_t end = windowsProxy.find_first_of(separators, start);
        if (end == std::wstring::npos)
            end = windowsProxy.size();
        pos = end;
        std::wstring candidate = windowsProxy.substr(start, end - start);
        if (const std::size_t eq = candidate.find(L'='); eq != std::wstring::npos) {
            if (candidate.compare(0, eq, L"http") != 0)
                continue;
            candidate = candidate.substr(eq + 1);
        }
        if (const std::size_t scheme = candidate.find(L"://"); scheme != std::wstring::npos) {
            if (candidate.compare(0, scheme, L"http") != 0)
                continue;
            candidate = candidate.substr(scheme + 3);
        }
        std::string proxy;
        if (!ToAscii(candidate, proxy) || proxy.size() > kMaxProxyBytes)
            return "";
        return proxy;
    }
    return "";
}

std::string UserProxy()
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
        return "";
    std::wstring text;
    if (config.lpszProxy != nullptr)
        for (const WCHAR* p = config.lpszProxy; *p != 0; ++p)
            text.push_back(*p);
    for (LPWSTR block : {config.lpszAutoConfigUrl, config.lpszProxy, config.lpszProxyBypass})
        if (block != nullptr)
            GlobalFree(block);
    return config.lpszProxy != nullptr ? ChooseProxy(text) : "";
}

bool CreateCurlHandle(CURL*& handle, char* errorBuffer, const char* url)
{
    handle = nullptr;
    // Only the web: a clipboard message can name any URL, and libcurl speaks more.
    if (url == nullptr || !IsHttpUrl(url))
        return false;
    GlobalCurlInit();
    CURL* h = curl_easy_init();
    if (h == nullptr)
        return false;
    const Deployment deployment = CurrentDeployment();
    const std::string proxy = UserProxy();
    const bool ok = curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_URL, url) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK &&
                    // Certificates are checked against the system's store.
                    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
                    // Worker threads: no signals for the time limits.
                    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                                     static_cast<long>(deployment.connectTimeout.count())) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, deployment.stallBytesPerSecond) == CURLE_OK &&
                    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(deployment.stallTime.count())) ==
                        CURLE_OK &&
                    // "" means no proxy, whatever the environment's proxy variables say.
                    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK;
    bool trusted = true;
    if (ok && !deployment.testTrustedAuthorities.empty()) {
        curl_blob authorities{const_cast<char*>(deployment.testTrustedAuthorities.data()),
                              deployment.testTrustedAuthorities.size(), CURL_BLOB_COPY};
        trusted = curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &authorities) == CURLE_OK;
    }
    if (!ok || !trusted) {
        curl_easy_cleanup(h);
        return false;
    }
    handle = h;
    return true;
}

std::size_t CurlWriteToBuffer(char* data, std::size_t size, std::size_t count, void* body)
{
    if (body == nullptr)
        return 0;
    const std::size_t bytes = size * count;
    static_cast<std::string*>(body)->append(data, bytes);
    return bytes;
}

std::size_t CurlWriteToStream(char* data, std::size_t size, std::size_t count, void* stream)
{
    auto* out = static_cast<std::ostream*>(stream);
    if (out == nullptr || !*out)
        return 0;
    const std::size_t bytes = size * count;
    out->write(data, static_cast<std::streamsize>(bytes));
    return *out ? bytes : 0;
}

bool HttpGetToString(const char* url, std::string& body)
{
    body.clear();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url))
        return false;
    HandleGuard guard{handle};
    std::string received;
    if (curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CurlWriteToBuffer) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &received) != CURLE_OK || curl_easy_perform(handle) != CURLE_OK)
        return false;
    body = std::move(received);
    return true;
}

bool UrlExists(const std::string& url)
{
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url.c_str()))
        return false;
    HandleGuard guard{handle};
    std::string body;
    if (curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CurlWriteToBuffer) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) != CURLE_OK)
        return false;
    if (curl_easy_perform(handle) != CURLE_OK) {
        long code = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
        return code != 404;
    }
    return body.empty() || body[0] != '4';
}

bool FetchToStream(const std::string& url, std::ostream& out)
{
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url.c_str()))
        return false;
    HandleGuard guard{handle};
    return curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CurlWriteToStream) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEDATA, &out) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK && curl_easy_perform(handle) == CURLE_OK;
}

bool DownloadToFile(const std::string& url, const std::wstring& file)
{
    std::ofstream stream = ostrel::OpenOutputStream(ostrel::WStringToPath(file));
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url.c_str()))
        return false;
    HandleGuard guard{handle};
    // No fail-on-error: an error page is stored like a file.
    if (curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CurlWriteToStream) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<std::ostream*>(&stream)) != CURLE_OK ||
        curl_easy_perform(handle) != CURLE_OK)
        return false;
    stream.close();
    return !stream.fail();
}

bool DownloadToTemp(const std::string& url, const std::string& fileName)
{
    return DownloadToFile(url, FullDataPath(tempFolder) + L"\\" + ostrel::Utf8ToWString(MakeSafeFileName(fileName)));
}

}  // namespace tarvel
