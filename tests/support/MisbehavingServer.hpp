// An HTTP server on 127.0.0.1 that misbehaves on purpose, one way per path prefix:
// it stalls, trickles, never ends, breaks off, redirects, answers errors or hangs up.
// Every connection ends when the server goes or its lifetime is over, whichever comes
// first; nothing it sends is stored, so an endless body costs it no memory.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::testing {

class MisbehavingServer {
public:
    enum class Way {
        // 200 with a Content-Length, then not one byte of the body.
        StallAfterHeaders,
        // 200 with a Content-Length of 1,000,000, one byte every trickle period.
        Trickle,
        // 200, chunked, a few bytes every 100 ms for ever: slow but never stalled.
        Creep,
        // 200, chunked, as fast as the client reads, for ever.
        EndlessChunked,
        // A Content-Length of 1,000,000, 1,729 bytes of body, then the connection closes.
        ShortBody,
        // A Content-Length of 2 GiB, streamed as fast as the client reads.
        HugeLength,
        // 302 to another path here, with a small HTML page.
        Redirect,
        // 500 with an HTML page.
        ErrorPage,
        // 404 with an HTML page.
        NotFoundPage,
        // The connection is closed as soon as it is accepted.
        CloseAtOnce,
    };

    explicit MisbehavingServer(std::chrono::milliseconds tricklePeriod = std::chrono::milliseconds(1500),
                               std::chrono::seconds lifetime = std::chrono::seconds(60));
    ~MisbehavingServer();
    MisbehavingServer(const MisbehavingServer&) = delete;
    MisbehavingServer& operator=(const MisbehavingServer&) = delete;

    // "http://127.0.0.1:PORT/<way>/<name>".
    std::string Url(Way way, const std::string& name = "model.xml") const;
    static const char* Name(Way way);
    // Body bytes handed to the sockets so far, all connections together.
    std::uint64_t BodyBytesSent() const { return bodyBytes_.load(); }
    int Requests() const { return requests_.load(); }

private:
    void Accept();
    void Serve(int connection);
    bool Stopping() const;
    // Waits until the socket can take data; false when the server stops first.
    bool WaitWritable(int connection) const;
    bool SendAll(int connection, const std::string& bytes, bool body);
    // Sleeps for the duration unless the server stops meanwhile.
    bool Pause(std::chrono::milliseconds duration) const;

    int listener_ = -1;
    int port_ = 0;
    std::chrono::milliseconds tricklePeriod_;
    std::chrono::steady_clock::time_point end_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> bodyBytes_{0};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

// The process's peak resident memory so far, in bytes (VmHWM); 0 when unknown.
std::uint64_t PeakResidentBytes();

}  // namespace tarvel::testing
