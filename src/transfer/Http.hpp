// Every HTTP(S) request of the add-on: one handle set-up (user agent, certificate
// checks, the user's proxy, time limits, http and https only), the two write
// callbacks and the plain transfers built on them.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tarvel {

constexpr const char* kUserAgent = "Tarvel ArchiCAD AddOn";
// Longest proxy text handed to libcurl; a longer one is refused, not cut.
constexpr std::size_t kMaxProxyBytes = 1023;

// True for an absolute http:// or https:// URL (scheme in any case).
bool IsHttpUrl(const std::string& url);

// The proxy chosen from a Windows proxy string (UTF-16 units); "" for none. Only
// entries for plain http are taken; one that is not ASCII or longer than
// kMaxProxyBytes gives none.
std::string ChooseProxy(const std::wstring& windowsProxy);
// The proxy of the current user's settings, chosen as above; "" for none.
std::string UserProxy();

// A new easy handle set up for the URL; errorBuffer holds CURL_ERROR_SIZE bytes.
// False (and no handle) when a step fails or the URL is not http or https.
bool CreateCurlHandle(CURL*& handle, char* errorBuffer, const char* url);

// libcurl write callbacks. userData is a std::string* (appended to) or a
// std::ostream* (written to). Null, or a stream that fails, answers 0, which
// ends the transfer as failed.
std::size_t CurlWriteToBuffer(char* data, std::size_t size, std::size_t count, void* body);
std::size_t CurlWriteToStream(char* data, std::size_t size, std::size_t count, void* stream);

// What may end a transfer besides the server. Each kind of transfer takes its
// bounds from the deployment settings in force; past any of them it fails.
struct TransferBounds {
    // Most body bytes taken; 0 for none.
    std::uint64_t maxBytes = 0;
    // Longest whole transfer; 0 for none (the stall limit still holds).
    std::chrono::milliseconds totalTime{0};
    // The owner's cancel question, asked while data flows and while it does not, at
    // least every kAbortCheckPeriod; true aborts the transfer.
    std::function<bool()> cancelled;
};
constexpr std::chrono::milliseconds kAbortCheckPeriod{100};

// A text answer held in memory, a semaphore probe, a picture, an artifact (no total
// time, at most the extraction's byte bound), the installer (the same bytes, and a
// total time: the user-interface thread waits for it).
TransferBounds TextBounds();
TransferBounds ProbeBounds(std::function<bool()> cancelled = {});
TransferBounds PictureBounds();
TransferBounds FileBounds(std::function<bool()> cancelled = {});
TransferBounds InstallerBounds();

// A transfer that fails on a bound (its size, its total time, the stall limit, the
// connection time) leaves one Session Report line naming the bound and the address;
// a cancel, the stop or a spent budget leaves none. Transfers run on any thread and
// the host is called on the user-interface thread only, so the lines wait here, in
// order, until that thread writes them. A line already waiting is not added again.
void ReportBoundFailures();
// The waiting lines (UTF-8), taken; for the owners that write them some other way.
std::vector<std::string> TakeBoundFailures();

// The add-on's stop: every transfer under way, on any thread, is aborted within
// kAbortCheckPeriod, and none starts until transfers are resumed.
void StopTransfers();
void ResumeTransfers();
bool TransfersStopped();

// One time budget shared by a series of transfers on one thread (the start-up's on
// the user-interface thread). Each transfer may take at most what is left; once it
// is spent, the next ones fail at once without a request.
class TransferBudget {
public:
    explicit TransferBudget(std::chrono::milliseconds total);
    std::chrono::milliseconds Left() const;
    // True once a transfer was skipped or cut short because nothing was left.
    bool Spent() const { return spent_; }
    void MarkSpent() { spent_ = true; }

private:
    std::chrono::steady_clock::time_point deadline_;
    bool spent_ = false;
};

// True when a budget is in force on the calling thread and spent: a transfer that
// failed now may not have been made at all.
bool TransferBudgetSpent();

// Puts the budget in force for the calling thread's transfers while it lives.
class ScopedTransferBudget {
public:
    explicit ScopedTransferBudget(TransferBudget& budget);
    ~ScopedTransferBudget();
    ScopedTransferBudget(const ScopedTransferBudget&) = delete;
    ScopedTransferBudget& operator=(const ScopedTransferBudget&) = delete;

private:
    TransferBudget* previous_;
};

// GET into memory, within TextBounds; an HTTP error page counts as a body. False
// (body "") when the transfer fails or the body passes the bound.
bool HttpGetToString(const char* url, std::string& body);

// The semaphore probe, within ProbeBounds: false only for a 404 answer, a
// successful answer whose body begins with "4", or a handle that cannot be set up.
// No more than the body's first byte is read.
bool UrlExists(const std::string& url, std::function<bool()> cancelled = {});

// GET into the stream within the bounds; only a 2xx answer counts: an error status
// or a redirect fails the transfer like a broken one.
bool FetchToStream(const std::string& url, std::ostream& out, const TransferBounds& bounds);

// GET into a file (wide path text) within the bounds; only a 2xx answer counts. The
// file is made before the request; when the transfer or the writing fails, it is
// removed and the answer is false.
bool DownloadToFile(const std::string& url, const std::wstring& file, const TransferBounds& bounds);

// GET into the Temp folder under the (made safe) file name, within FileBounds; an
// error page is written like a file. False, with the partial file removed, when the
// transfer or the writing failed.
bool DownloadToTemp(const std::string& url, const std::string& fileName);

}  // namespace tarvel
