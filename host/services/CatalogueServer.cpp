#include "CatalogueServer.hpp"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

#if defined(__SANITIZE_THREAD__)
// The server library is built without ThreadSanitizer: its own atomics are invisible,
// so its inner hand-overs look like races. Our code's accesses are still checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libcpp-httplib.so\nrace:libcpp-httplib.so\n";
}
#endif

namespace standin::services {
namespace {

// A fresh key and a self-signed certificate for 127.0.0.1; no store trusts it.
std::unique_ptr<httplib::Server> MakeTlsServer()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    if (key == nullptr || cert == nullptr)
        throw std::runtime_error("cannot make a test certificate");
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509_sign(cert, key, EVP_sha256());
    auto server = std::make_unique<httplib::SSLServer>(cert, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return server;
}

}  // namespace

CatalogueServer::CatalogueServer(Kind kind) : tls_(kind == Kind::SelfSignedTls)
{
    server_ = tls_ ? MakeTlsServer() : std::make_unique<httplib::Server>();
    auto handler = [this](const httplib::Request& request, httplib::Response& response) { Handle(request, response); };
    server_->Get(".*", handler);
    server_->Post(".*", handler);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("the test server cannot bind");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

CatalogueServer::~CatalogueServer()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopping_.notify_all();
    server_->stop();
    thread_.join();
}

std::string CatalogueServer::Url(const std::string& path) const
{
    return std::string(tls_ ? "https://" : "http://") + HostAndPort() + path;
}

std::string CatalogueServer::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

void CatalogueServer::Route(const std::string& path, Handler handler)
{
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(handler);
}

bool CatalogueServer::WaitUnlessStopping(std::chrono::milliseconds duration)
{
    std::unique_lock lock(mutex_);
    return !stopping_.wait_for(lock, duration, [this] { return stop_; });
}

void CatalogueServer::Handle(const httplib::Request& request, httplib::Response& response)
{
    Handler handler;
    bool forward = false;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(RecordedRequest{request.target, request.get_header_value("User-Agent")});
        ++calls_[request.path];
        forward = proxy_ && request.target.rfind("http://", 0) == 0;
        if (!forward) {
            auto it = routes_.find(request.path);
            if (it != routes_.end())
                handler = it->second;
        }
    }
    if (forward) {
        Forward(request, response);
    } else if (handler) {
        handler(request, response);
    } else {
        response.status = 404;
        response.set_content("<html><body>404 Not Found</body></html>", "text/html");
    }
}

void CatalogueServer::Forward(const httplib::Request& request, httplib::Response& response)
{
    // http://host:port/path?query
    const std::string& url = request.target;
    const std::size_t hostStart = 7;
    const std::size_t pathStart = url.find('/', hostStart);
    const std::string hostPort = url.substr(hostStart, pathStart - hostStart);
    const std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    const std::size_t colon = hostPort.find(':');
    const std::string host = hostPort.substr(0, colon);
    const int port = colon == std::string::npos ? 80 : std::stoi(hostPort.substr(colon + 1));
    {
        std::lock_guard lock(mutex_);
        forwarded_.push_back(url);
    }
    httplib::Client client(host, port);
    httplib::Headers headers{{"User-Agent", request.get_header_value("User-Agent")}};
    auto result = client.Get(path, headers);
    if (!result) {
        response.status = 502;
        response.set_content("bad gateway", "text/plain");
        return;
    }
    response.status = result->status;
    response.set_content(result->body, result->get_header_value("Content-Type"));
}

void CatalogueServer::AddFile(const std::string& path, std::string body, std::string contentType)
{
    Route(path, [body = std::move(body), contentType = std::move(contentType)](const httplib::Request&,
                                                                                 httplib::Response& response) {
        response.set_content(body, contentType);
    });
}

void CatalogueServer::AddFileFromDisk(const std::string& path, const std::string& filePath)
{
    Route(path, [filePath](const httplib::Request&, httplib::Response& response) {
        auto in = std::make_shared<std::ifstream>(filePath, std::ios::binary);
        in->seekg(0, std::ios::end);
        const auto size = static_cast<std::size_t>(in->tellg());
        in->seekg(0);
        response.set_content_provider(size, "application/octet-stream",
                                      [in](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          std::vector<char> piece(std::min<std::size_t>(length, 256 * 1024));
                                          in->seekg(static_cast<std::streamoff>(offset));
                                          in->read(piece.data(), static_cast<std::streamsize>(piece.size()));
                                          return in->gcount() > 0 &&
                                                 sink.write(piece.data(), static_cast<std::size_t>(in->gcount()));
                                      });
    });
}

void CatalogueServer::AddSemaphore(const std::string& path, int notReady, std::string readyBody)
{
    auto remaining = std::make_shared<int>(notReady);
    Route(path, [this, remaining, readyBody = std::move(readyBody)](const httplib::Request&,
                                                                     httplib::Response& response) {
        bool ready = false;
        {
            std::lock_guard lock(mutex_);
            ready = *remaining <= 0;
            if (!ready)
                --*remaining;
        }
        if (ready) {
            response.set_content(readyBody, "text/plain");
        } else {
            response.status = 404;
            response.set_content("not ready", "text/plain");
        }
    });
}

void CatalogueServer::AddStatus(const std::string& path, int status, std::string body)
{
    Route(path, [status, body = std::move(body)](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, "text/html");
    });
}

void CatalogueServer::AddSilent(const std::string& path, std::chrono::milliseconds silence)
{
    Route(path, [this, silence](const httplib::Request&, httplib::Response& response) {
        WaitUnlessStopping(silence);
        response.set_content("late", "text/plain");
    });
}

void CatalogueServer::AddStall(const std::string& path, std::string firstBytes, std::chrono::milliseconds silence,
                               std::string rest)
{
    Route(path, [this, firstBytes = std::move(firstBytes), silence, rest = std::move(rest)](
                    const httplib::Request&, httplib::Response& response) {
        const std::size_t total = firstBytes.size() + rest.size();
        response.set_content_provider(
            total, "application/octet-stream",
            [this, firstBytes, silence, rest](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < firstBytes.size())
                    return sink.write(firstBytes.data() + offset, firstBytes.size() - offset);
                if (!WaitUnlessStopping(silence))
                    return false;
                const std::size_t from = offset - firstBytes.size();
                return rest.size() > from && sink.write(rest.data() + from, rest.size() - from);
            });
    });
}

void CatalogueServer::AddCallback(const std::string& path) { AddFile(path, "OK", "text/plain"); }

void CatalogueServer::AddTruncated(const std::string& path, std::string body, std::size_t sentBytes)
{
    Route(path, [body = std::move(body), sentBytes](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(body.size(), "application/octet-stream",
                                      [body, sentBytes](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset >= sentBytes)
                                              return false;
                                          return sink.write(body.data() + offset, sentBytes - offset);
                                      });
    });
}

void CatalogueServer::EnableProxy()
{
    std::lock_guard lock(mutex_);
    proxy_ = true;
}

std::vector<std::string> CatalogueServer::ForwardedUrls() const
{
    std::lock_guard lock(mutex_);
    return forwarded_;
}

int CatalogueServer::CallCount(const std::string& path) const
{
    std::lock_guard lock(mutex_);
    auto it = calls_.find(path);
    return it == calls_.end() ? 0 : it->second;
}

std::vector<RecordedRequest> CatalogueServer::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

SilentListener::SilentListener()
{
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(socket_, 1) != 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot open a silent listener");
    port_ = ntohs(address.sin_port);
}

SilentListener::~SilentListener()
{
    if (socket_ >= 0)
        ::close(socket_);
}

int UnusedPort()
{
    // Bound and closed again: nothing listens there right after.
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

}  // namespace standin::services
