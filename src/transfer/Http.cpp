#include "transfer/Http.hpp"

#include "Main/Globals.hpp"
#include "Win32.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/LocalNames.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

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

std::atomic<bool> transfersStopped{false};
// The budget in force on this thread; a plain pointer, so nothing to destroy.
thread_local TransferBudget* currentBudget = nullptr;

// Where a transfer's body goes, and how much of it may come.
struct Sink {
    std::string* text = nullptr;
    std::ostream* stream = nullptr;
    std::uint64_t maxBytes = 0;
    std::uint64_t received = 0;
    // The probe: the first byte is all it needs; the transfer ends after it.
    bool firstByteOnly = false;
    // The body passed maxBytes.
    bool overBound = false;
};

std::size_t WriteToSink(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& sink = *static_cast<Sink*>(target);
    const std::size_t bytes = size * count;
    if (sink.firstByteOnly) {
        if (bytes > 0 && sink.text->empty())
            sink.text->push_back(data[0]);
        sink.received += bytes;
        return 0;
    }
    if (sink.maxBytes != 0 && (bytes > sink.maxBytes || sink.received > sink.maxBytes - bytes)) {
        sink.overBound = true;
        return 0;
    }
    sink.received += bytes;
    if (sink.text != nullptr)
        return CurlWriteToBuffer(data, size, count, sink.text);
    return CurlWriteToStream(data, size, count, sink.stream);
}

struct Watch {
    const std::function<bool()>* cancelled = nullptr;
    std::uint64_t maxBytes = 0;
    // The announced or received length passed maxBytes.
    bool overBound = false;
};

bool ShouldAbort(const Watch& watch)
{
    return transfersStopped.load(std::memory_order_acquire) || (*watch.cancelled && (*watch.cancelled)());
}

int WatchTransfer(void* data, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t)
{
    auto& watch = *static_cast<Watch*>(data);
    if (watch.maxBytes != 0 && (static_cast<std::uint64_t>(std::max<curl_off_t>(downloadTotal, 0)) > watch.maxBytes ||
                                static_cast<std::uint64_t>(std::max<curl_off_t>(downloadNow, 0)) > watch.maxBytes)) {
        watch.overBound = true;
        return 1;
    }
    return ShouldAbort(watch) ? 1 : 0;
}

// The lines of transfers that failed on a bound, waiting for the user-interface thread.
// More than this many waiting means nobody writes them: the rest are dropped.
constexpr std::size_t kMaxWaitingBoundLines = 100;

std::mutex& BoundLinesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string>& BoundLines()
{
    static std::vector<std::string> lines;
    return lines;
}

void AddBoundLine(std::string line)
{
    std::lock_guard lock(BoundLinesMutex());
    std::vector<std::string>& lines = BoundLines();
    if (lines.size() < kMaxWaitingBoundLines && std::find(lines.begin(), lines.end(), line) == lines.end())
        lines.push_back(std::move(line));
}

// The address as the report shows it: no user name or password, no query or fragment
// (they may carry keys), and every byte outside printable ASCII escaped, so that the
// line is one line of valid text whatever the URL held.
std::string ReportedAddress(const char* url)
{
    std::string text = url != nullptr ? url : "";
    text = text.substr(0, text.find_first_of("?#"));
    if (const std::size_t scheme = text.find("://"); scheme != std::string::npos) {
        const std::size_t hostStart = scheme + 3;
        const std::size_t hostEnd = std::min(text.find('/', hostStart), text.size());
        const std::size_t at = text.rfind('@', hostEnd - 1);
        if (at != std::string::npos && at >= hostStart && at < hostEnd)
            text.erase(hostStart, at + 1 - hostStart);
    }
    std::string shown;
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7F) {
            shown.push_back(static_cast<char>(c));
        } else {
            static const char digits[] = "0123456789ABCDEF";
            shown += '%';
            shown += digits[c >> 4];
            shown += digits[c & 0xF];
        }
    }
    return shown;
}

std::string DurationText(std::chrono::milliseconds duration)
{
    if (duration.count() % 1000 == 0)
        return std::to_string(duration.count() / 1000) + " s";
    return std::to_string(duration.count()) + " ms";
}

std::string BytesText(std::uint64_t bytes) { return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes"); }

enum class Bound { None, Size, TotalTime, Stall, Connection };

// Which bound ended a failed transfer, if any. A cancel or the stop is none; so is a
// time limit that was the budget's, which reports itself.
Bound FailedBound(CURL* handle, CURLcode result, const Sink& sink, const Watch& watch,
                  std::chrono::steady_clock::duration elapsed, std::chrono::milliseconds total, bool budgetBound)
{
    if (sink.overBound || watch.overBound || result == CURLE_FILESIZE_EXCEEDED)
        return Bound::Size;
    if (result != CURLE_OPERATION_TIMEDOUT)
        return Bound::None;
    // libcurl's timer may fire a little before the limit.
    if (total.count() > 0 && elapsed + std::chrono::milliseconds(50) >= total)
        return budgetBound ? Bound::None : Bound::TotalTime;
    // Connected (and, for https, through the handshake): then it stalled.
    const char* url = nullptr;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url);
    const bool tls = url != nullptr && StartsWithNoCase(url, "https://");
    curl_off_t connected = 0;
    curl_easy_getinfo(handle, tls ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T, &connected);
    return connected > 0 ? Bound::Stall : Bound::Connection;
}

void RecordBoundFailure(CURL* handle, Bound bound, const TransferBounds& bounds)
{
    if (bound == Bound::None)
        return;
    const char* url = nullptr;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url);
    const Deployment deployment = CurrentDeployment();
    std::string why;
    switch (bound) {
    case Bound::Size:
        why = "the answer is larger than " + BytesText(bounds.maxBytes);
        break;
    case Bound::TotalTime:
        why = "it took longer than " + DurationText(bounds.totalTime);
        break;
    case Bound::Stall:
        why = "less than " + BytesText(static_cast<std::uint64_t>(std::max(deployment.stallBytesPerSecond, 0L))) +
              " per second arrived for " + DurationText(deployment.stallTime);
        break;
    case Bound::Connection:
        why = "no connection within " + DurationText(deployment.connectTimeout);
        break;
    case Bound::None:
        return;
    }
    AddBoundLine("Tarvel: the transfer from " + ReportedAddress(url) + " was stopped: " + why + ".");
}

struct MultiGuard {
    CURLM* multi;
    CURL* handle;
    bool added = false;
    ~MultiGuard()
    {
        if (added)
            curl_multi_remove_handle(multi, handle);
        curl_multi_cleanup(multi);
    }
};

// Runs the transfer of a set-up handle within the bounds. The progress callback ends
// it on a cancel, the stop or a body past the bound while data flows; the transfer is
// driven here rather than by curl_easy_perform, so that the cancel question and the
// stop are also looked at every kAbortCheckPeriod while nothing arrives.
CURLcode Perform(CURL* handle, Sink& sink, const TransferBounds& bounds)
{
    if (transfersStopped.load(std::memory_order_acquire))
        return CURLE_ABORTED_BY_CALLBACK;
    std::chrono::milliseconds total = bounds.totalTime;
    TransferBudget* budget = currentBudget;
    bool budgetBound = false;
    if (budget != nullptr) {
        const std::chrono::milliseconds left = budget->Left();
        if (left.count() <= 0 || budget->Spent()) {
            budget->MarkSpent();
            return CURLE_OPERATION_TIMEDOUT;
        }
        budgetBound = total.count() <= 0 || left < total;
        if (budgetBound)
            total = left;
    }
    sink.maxBytes = bounds.maxBytes;
    Watch watch{&bounds.cancelled, bounds.maxBytes};
    const auto start = std::chrono::steady_clock::now();
    if (curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteToSink) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, WatchTransfer) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &watch) != CURLE_OK ||
        (total.count() > 0 &&
         curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(total.count())) != CURLE_OK) ||
        (bounds.maxBytes != 0 &&
         curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(bounds.maxBytes)) != CURLE_OK))
        return CURLE_FAILED_INIT;

    CURLM* multi = curl_multi_init();
    if (multi == nullptr)
        return CURLE_OUT_OF_MEMORY;
    MultiGuard guard{multi, handle};
    if (curl_multi_add_handle(multi, handle) != CURLM_OK)
        return CURLE_FAILED_INIT;
    guard.added = true;
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int queued = 0;
            result = CURLE_FAILED_INIT;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued))
                if (message->msg == CURLMSG_DONE && message->easy_handle == handle)
                    result = message->data.result;
            break;
        }
        if (ShouldAbort(watch)) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (curl_multi_poll(multi, nullptr, 0, static_cast<int>(kAbortCheckPeriod.count()), nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    // Nothing left, or a transfer that held the rest of the budget failed near its end
    // (the time limit may fire a little early): the budget is spent.
    if (budget != nullptr && (budget->Left().count() <= 0 ||
                              (budgetBound && result != CURLE_OK && budget->Left() < std::chrono::seconds(1))))
        budget->MarkSpent();
    if (result != CURLE_OK && result != CURLE_ABORTED_BY_CALLBACK)
        RecordBoundFailure(handle,
                           FailedBound(handle, result, sink, watch, std::chrono::steady_clock::now() - start, total,
                                       budgetBound),
                           bounds);
    else if (result == CURLE_ABORTED_BY_CALLBACK && watch.overBound)
        RecordBoundFailure(handle, Bound::Size, bounds);
    return result;
}

long ResponseCode(CURL* handle)
{
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

bool IsSuccessStatus(long code) { return code >= 200 && code <= 299; }

void RemoveQuietly(const std::wstring& file)
{
    boost::system::error_code ignored;
    boost::filesystem::remove(ostrel::WStringToPath(file), ignored);
}

// GET into the file; with successOnly, an error status or a redirect fails it. A file
// that did not arrive whole is removed.
bool DownloadFile(const std::string& url, const std::wstring& file, const TransferBounds& bounds, bool successOnly)
{
    bool complete = false;
    {
        std::ofstream stream = ostrel::OpenOutputStream(ostrel::WStringToPath(file));
        char errorBuffer[CURL_ERROR_SIZE] = {};
        CURL* handle = nullptr;
        if (stream.is_open() && CreateCurlHandle(handle, errorBuffer, url.c_str())) {
            HandleGuard guard{handle};
            Sink sink;
            sink.stream = &stream;
            complete = (!successOnly || curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK) &&
                       Perform(handle, sink, bounds) == CURLE_OK &&
                       (!successOnly || IsSuccessStatus(ResponseCode(handle)));
        }
        stream.close();
        complete = complete && !stream.fail();
    }
    if (!complete)
        RemoveQuietly(file);
    return complete;
}

}  // namespace

TransferBounds TextBounds()
{
    const Deployment deployment = CurrentDeployment();
    return TransferBounds{deployment.maxTextBytes, deployment.textTotalTime, {}};
}

TransferBounds ProbeBounds(std::function<bool()> cancelled)
{
    return TransferBounds{0, CurrentDeployment().probeTotalTime, std::move(cancelled)};
}

TransferBounds PictureBounds()
{
    const Deployment deployment = CurrentDeployment();
    return TransferBounds{deployment.maxPictureBytes, deployment.pictureTotalTime, {}};
}

TransferBounds FileBounds(std::function<bool()> cancelled)
{
    return TransferBounds{CurrentDeployment().maxZipBytes, std::chrono::milliseconds(0), std::move(cancelled)};
}

TransferBounds InstallerBounds()
{
    const Deployment deployment = CurrentDeployment();
    return TransferBounds{deployment.maxZipBytes, deployment.installerTotalTime, {}};
}

std::vector<std::string> TakeBoundFailures()
{
    std::lock_guard lock(BoundLinesMutex());
    return std::exchange(BoundLines(), {});
}

void ReportBoundFailures()
{
    for (const std::string& line : TakeBoundFailures())
        HostApi_Report(ostrel::ac::interop::ToUniString(ostrel::Utf8ToWString(line)), false);
}

void StopTransfers() { transfersStopped.store(true, std::memory_order_release); }

void ResumeTransfers() { transfersStopped.store(false, std::memory_order_release); }

bool TransfersStopped() { return transfersStopped.load(std::memory_order_acquire); }

TransferBudget::TransferBudget(std::chrono::milliseconds total) : deadline_(std::chrono::steady_clock::now() + total) {}

std::chrono::milliseconds TransferBudget::Left() const
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

bool TransferBudgetSpent() { return currentBudget != nullptr && currentBudget->Spent(); }

ScopedTransferBudget::ScopedTransferBudget(TransferBudget& budget) : previous_(currentBudget) { currentBudget = &budget; }

ScopedTransferBudget::~ScopedTransferBudget() { currentBudget = previous_; }

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
    Sink sink;
    sink.text = &received;
    if (Perform(handle, sink, TextBounds()) != CURLE_OK)
        return false;
    body = std::move(received);
    return true;
}

bool UrlExists(const std::string& url, std::function<bool()> cancelled)
{
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url.c_str()))
        return false;
    HandleGuard guard{handle};
    std::string body;
    Sink sink;
    sink.text = &body;
    sink.firstByteOnly = true;
    if (curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) != CURLE_OK)
        return false;
    const CURLcode result = Perform(handle, sink, ProbeBounds(std::move(cancelled)));
    // The sink ends the transfer after the first byte: that is a successful answer.
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && sink.received > 0))
        return body.empty() || body[0] != '4';
    return ResponseCode(handle) != 404;
}

bool FetchToStream(const std::string& url, std::ostream& out, const TransferBounds& bounds)
{
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = nullptr;
    if (!CreateCurlHandle(handle, errorBuffer, url.c_str()))
        return false;
    HandleGuard guard{handle};
    Sink sink;
    sink.stream = &out;
    return curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK && Perform(handle, sink, bounds) == CURLE_OK &&
           IsSuccessStatus(ResponseCode(handle));
}

bool DownloadToFile(const std::string& url, const std::wstring& file, const TransferBounds& bounds)
{
    return DownloadFile(url, file, bounds, true);
}

bool DownloadToTemp(const std::string& url, const std::string& fileName)
{
    // No fail-on-error: an error page is stored like a file.
    return DownloadFile(url, FullDataPath(tempFolder) + L"\\" + ostrel::Utf8ToWString(MakeSafeFileName(fileName)),
                        FileBounds(), false);
}

}  // namespace tarvel
