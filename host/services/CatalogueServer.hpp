// The catalogue stand-in: an HTTP server on 127.0.0.1 and an ephemeral port serving
// files, semaphores, error pages, slow and silent answers and callbacks, and acting
// as an HTTP proxy that records what it forwards. Routes can be added while it runs;
// every request is recorded. Tests and tools link it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace standin::services {

struct RecordedRequest {
    std::string target;     // as sent: a path, or an absolute URL through the proxy
    std::string userAgent;
    std::string method;
    std::string path;       // without the query
    std::string contentType;
    std::string body;
    std::chrono::steady_clock::time_point arrived;
    // The status answered; 0 while the answer is being made.
    int status = 0;
    // For an answer of 400 or more: the start of its body, which says why.
    std::string answer;
};

// The largest form body the server takes by default (a larger one is answered 413):
// room for the configurator's form of start options as large as the largest CAD data
// the add-on downloads (256 MB), in Base64 and form-encoded.
constexpr std::size_t kLargestForm = std::size_t{512} * 1024 * 1024;

// The fields of an application/x-www-form-urlencoded body, in order, decoded.
std::vector<std::pair<std::string, std::string>> FormFields(const std::string& body);

class CatalogueServer {
public:
    // SelfSignedTls: a certificate no store trusts. AuthorityTls: a certificate for
    // 127.0.0.1 signed by a fresh test authority (AuthorityPem); AuthorityTlsOtherName
    // the same authority's certificate for another host name.
    enum class Kind { Plain, SelfSignedTls, AuthorityTls, AuthorityTlsOtherName };

    explicit CatalogueServer(Kind kind = Kind::Plain);
    ~CatalogueServer();
    CatalogueServer(const CatalogueServer&) = delete;
    CatalogueServer& operator=(const CatalogueServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT" (or https) followed by the path.
    std::string Url(const std::string& path) const;
    // "127.0.0.1:PORT", the form a proxy setting takes.
    std::string HostAndPort() const;
    // The PEM certificate of the authority that signed the server's certificate;
    // empty unless the kind is one of the AuthorityTls kinds.
    const std::string& AuthorityPem() const { return authorityPem_; }

    void AddFile(const std::string& path, std::string body, std::string contentType = "application/octet-stream");
    // Streamed from disk in pieces, for large files.
    void AddFileFromDisk(const std::string& path, const std::string& filePath);
    // 404 (with a small page) the first `notReady` times, then 200 with the body.
    void AddSemaphore(const std::string& path, int notReady, std::string readyBody = "");
    void AddStatus(const std::string& path, int status, std::string body);
    // A redirect (301, 302, 303, 307 or 308) to the location, with a small page.
    void AddRedirect(const std::string& path, int status, std::string location);
    // Sends nothing for `silence` (or until the server stops), then 200.
    void AddSilent(const std::string& path, std::chrono::milliseconds silence);
    // Sends the first bytes at once, then nothing for `silence`, then the rest.
    void AddStall(const std::string& path, std::string firstBytes, std::chrono::milliseconds silence,
                  std::string rest = "");
    // An acknowledgement URL: 200 with "OK"; CallCount tells how often it was asked.
    void AddCallback(const std::string& path);
    // Announces the whole body's length, sends its first `sentBytes` and closes the
    // connection: a transfer that breaks off.
    void AddTruncated(const std::string& path, std::string body, std::size_t sentBytes);

    // Announces `length` bytes and sends one byte every `period`, until the length is
    // reached or the server stops: slow, yet never below one byte a second when the
    // period is shorter.
    void AddTrickle(const std::string& path, std::size_t length, std::chrono::milliseconds period);
    // A chunked body as fast as the client reads, for `lifetime` or until the server
    // stops; nothing is kept, so it costs no memory.
    void AddEndless(const std::string& path, std::chrono::seconds lifetime = std::chrono::seconds(60));

    // An answer made by the test's or the content's own function for each request.
    struct Answer {
        int status = 200;
        std::string contentType = "text/html; charset=utf-8";
        std::string body;
    };
    void AddHandler(const std::string& path, std::function<Answer(const RecordedRequest&)> handler);

    // Requests in absolute form are forwarded to their origin and recorded.
    void EnableProxy();
    std::vector<std::string> ForwardedUrls() const;

    // The largest form body taken from now on (kLargestForm until set).
    void SetLargestForm(std::size_t bytes);

    int CallCount(const std::string& path) const;
    std::vector<RecordedRequest> Requests() const;
    // The requests from the `first` on; without their bodies unless `bodies` (a posted
    // form may be megabytes).
    std::vector<RecordedRequest> Requests(std::size_t first, bool bodies) const;

private:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    void Route(const std::string& path, Handler handler);
    void Handle(const httplib::Request& request, httplib::Response& response);
    void Forward(const httplib::Request& request, httplib::Response& response);
    bool WaitUnlessStopping(std::chrono::milliseconds duration);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    bool tls_ = false;
    std::string authorityPem_;

    mutable std::mutex mutex_;
    std::condition_variable stopping_;
    bool stop_ = false;
    bool proxy_ = false;
    std::size_t largestForm_ = kLargestForm;
    std::map<std::string, Handler> routes_;
    std::map<std::string, int> calls_;
    std::vector<RecordedRequest> requests_;
    std::vector<std::string> forwarded_;
};

// A TCP port that listens but never accepts: connections hang in the handshake.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int Port() const { return port_; }

private:
    int socket_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 bound and held, never listening: a connection there is refused,
// and no other socket can take the port while this one lives.
class ClosedPort {
public:
    ClosedPort();
    ~ClosedPort();
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    int Port() const { return port_; }

private:
    int socket_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens, held for the process (a ClosedPort).
int UnusedPort();

}  // namespace standin::services
