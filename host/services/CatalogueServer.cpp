#include "CatalogueServer.hpp"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <utility>

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

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

Key NewKey()
{
    Key key(EVP_EC_gen("P-256"));
    if (!key)
        throw std::runtime_error("cannot make a test key");
    return key;
}

// A certificate for the subject's key, valid from an hour ago for a day, signed by
// the issuer (itself when issuer is null), with the extensions given as
// configuration texts.
Cert NewCertificate(const char* commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial,
                    std::initializer_list<std::pair<int, const char*>> extensions)
{
    Cert cert(X509_new());
    if (!cert)
        throw std::runtime_error("cannot make a test certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        if (extension == nullptr || X509_add_ext(cert.get(), extension, -1) != 1)
            throw std::runtime_error("cannot add a test certificate extension");
        X509_EXTENSION_free(extension);
    }
    if (X509_sign(cert.get(), issuerKey, EVP_sha256()) <= 0)
        throw std::runtime_error("cannot sign a test certificate");
    return cert;
}

// A fresh key and a self-signed certificate for 127.0.0.1; no store trusts it.
std::unique_ptr<httplib::Server> MakeSelfSignedServer()
{
    Key key = NewKey();
    Cert cert = NewCertificate("127.0.0.1", key.get(), nullptr, key.get(), 1, {});
    return std::make_unique<httplib::SSLServer>(cert.get(), key.get());
}

// A fresh authority and a server certificate it signed for the subject name; the
// authority's certificate goes to authorityPem. Nothing of it outlives the server.
std::unique_ptr<httplib::Server> MakeAuthorityServer(const char* subjectName, std::string& authorityPem)
{
    Key authorityKey = NewKey();
    Cert authority = NewCertificate("Tarvel Test Authority", authorityKey.get(), nullptr, authorityKey.get(), 1,
                                    {{NID_basic_constraints, "critical,CA:TRUE"},
                                     {NID_key_usage, "critical,keyCertSign,cRLSign"},
                                     {NID_subject_key_identifier, "hash"}});
    Key key = NewKey();
    Cert cert = NewCertificate("Tarvel test server", key.get(), authority.get(), authorityKey.get(), 2,
                               {{NID_basic_constraints, "critical,CA:FALSE"},
                                {NID_key_usage, "critical,digitalSignature"},
                                {NID_ext_key_usage, "serverAuth"},
                                {NID_subject_alt_name, subjectName},
                                {NID_authority_key_identifier, "keyid:always"}});
    std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio || PEM_write_bio_X509(bio.get(), authority.get()) != 1)
        throw std::runtime_error("cannot write the test authority");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    authorityPem.assign(data, static_cast<std::size_t>(size));
    return std::make_unique<httplib::SSLServer>(cert.get(), key.get());
}

// The body goes out as it is, whatever encodings the client accepts: the web library
// would compress a text body (Brotli at its slowest), which takes seconds for a page
// of a large configuration. A body of known length it sends untouched.
void SendUncompressed(httplib::Response& response)
{
    if (response.body.empty())
        return;
    auto body = std::make_shared<const std::string>(std::move(response.body));
    response.body.clear();
    const std::string type = response.get_header_value("Content-Type");
    response.headers.erase("Content-Type");
    response.set_content_provider(body->size(), type,
                                  [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                      return offset < body->size() &&
                                             sink.write(body->data() + offset, std::min(length, body->size() - offset));
                                  });
}

// "512 MB", "64 KB" or "100 bytes".
std::string SizeText(std::size_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

RecordedRequest Recorded(const httplib::Request& request)
{
    return RecordedRequest{request.target, request.get_header_value("User-Agent"), request.method, request.path,
                           request.get_header_value("Content-Type"), request.body, std::chrono::steady_clock::now(), 0, {}};
}

}  // namespace

CatalogueServer::CatalogueServer(Kind kind) : tls_(kind != Kind::Plain)
{
    switch (kind) {
    case Kind::Plain:
        server_ = std::make_unique<httplib::Server>();
        break;
    case Kind::SelfSignedTls:
        server_ = MakeSelfSignedServer();
        break;
    case Kind::AuthorityTls:
        server_ = MakeAuthorityServer("IP:127.0.0.1", authorityPem_);
        break;
    case Kind::AuthorityTlsOtherName:
        server_ = MakeAuthorityServer("DNS:other.example", authorityPem_);
        break;
    }
    auto handler = [this](const httplib::Request& request, httplib::Response& response) { Handle(request, response); };
    server_->Get(".*", handler);
    // The body is read here, not by the library, whose own bound for forms (8 KB) is
    // far below the configurations the add-on posts.
    server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& content) {
        httplib::Request whole = request;
        std::size_t largest = 0;
        {
            std::lock_guard lock(mutex_);
            largest = largestForm_;
        }
        bool tooLarge = false;
        content([&whole, &tooLarge, largest](const char* data, std::size_t length) {
            tooLarge = tooLarge || whole.body.size() + length > largest;
            if (!tooLarge)
                whole.body.append(data, length);
            return true;
        });
        if (!tooLarge) {
            Handle(whole, response);
            return;
        }
        whole.body.clear();
        const std::string why = "The form is larger than " + SizeText(largest) + ", the most this server takes";
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(Recorded(whole));
            requests_.back().status = 413;
            requests_.back().answer = why;
            ++calls_[whole.path];
        }
        response.status = 413;
        response.set_content("<!DOCTYPE html>\n<html><head><title>" + why + "</title></head><body><p id=\"error\">" +
                                 why + "</p></body></html>\n",
                             "text/html; charset=utf-8");
        SendUncompressed(response);
    });
    // The port is the kernel's choice and ours alone: no SO_REUSEPORT, which would let
    // another socket bind the same port beside this one.
    server_->set_socket_options([](int) {});
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
    std::size_t recorded = 0;
    {
        std::lock_guard lock(mutex_);
        recorded = requests_.size();
        requests_.push_back(Recorded(request));
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
    {
        std::lock_guard lock(mutex_);
        RecordedRequest& answered = requests_[recorded];
        answered.status = response.status == -1 ? 200 : response.status;
        if (answered.status >= 400)
            answered.answer = response.body.substr(0, 512);
    }
    SendUncompressed(response);
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

void CatalogueServer::AddRedirect(const std::string& path, int status, std::string location)
{
    Route(path, [status, location = std::move(location)](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_header("Location", location);
        response.set_content("<html><body>moved</body></html>", "text/html");
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

void CatalogueServer::AddTrickle(const std::string& path, std::size_t length, std::chrono::milliseconds period)
{
    Route(path, [this, length, period](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(length, "application/octet-stream",
                                      [this, period](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          return WaitUnlessStopping(period) && sink.write("t", 1);
                                      });
    });
}

void CatalogueServer::AddEndless(const std::string& path, std::chrono::seconds lifetime)
{
    Route(path, [this, lifetime](const httplib::Request&, httplib::Response& response) {
        const auto end = std::chrono::steady_clock::now() + lifetime;
        response.set_chunked_content_provider(
            "application/octet-stream", [this, end](std::size_t, httplib::DataSink& sink) {
                static const std::string piece(16 * 1024, 'e');
                if (std::chrono::steady_clock::now() >= end || !WaitUnlessStopping(std::chrono::milliseconds(0)))
                    return false;
                return sink.write(piece.data(), piece.size());
            });
    });
}

void CatalogueServer::AddHandler(const std::string& path, std::function<Answer(const RecordedRequest&)> handler)
{
    Route(path, [handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
        const Answer answer = handler(Recorded(request));
        response.status = answer.status;
        response.set_content(answer.body, answer.contentType);
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

void CatalogueServer::SetLargestForm(std::size_t bytes)
{
    std::lock_guard lock(mutex_);
    largestForm_ = bytes;
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

std::vector<RecordedRequest> CatalogueServer::Requests(std::size_t first, bool bodies) const
{
    std::lock_guard lock(mutex_);
    std::vector<RecordedRequest> requests;
    for (std::size_t i = first; i < requests_.size(); ++i) {
        const RecordedRequest& request = requests_[i];
        if (bodies)
            requests.push_back(request);
        else
            requests.push_back(RecordedRequest{request.target, request.userAgent, request.method, request.path,
                                               request.contentType, {}, request.arrived, request.status,
                                               request.answer});
    }
    return requests;
}

std::vector<std::pair<std::string, std::string>> FormFields(const std::string& body)
{
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t start = 0;
    while (start <= body.size() && !body.empty()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string field = body.substr(start, end - start);
        if (!field.empty()) {
            const std::size_t equals = field.find('=');
            fields.emplace_back(httplib::detail::decode_url(field.substr(0, equals), true),
                                equals == std::string::npos ? ""
                                                            : httplib::detail::decode_url(field.substr(equals + 1), true));
        }
        start = end + 1;
    }
    return fields;
}

namespace {

// A TCP socket on 127.0.0.1 and a port of the kernel's choice, listening when backlog
// is above 0; the port goes to `port`.
int LoopbackSocket(int backlog, int& port, const char* failure)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        (backlog > 0 && ::listen(s, backlog) != 0) ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s >= 0)
            ::close(s);
        throw std::runtime_error(failure);
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

SilentListener::SilentListener() { socket_ = LoopbackSocket(1, port_, "cannot open a silent listener"); }

SilentListener::~SilentListener() { ::close(socket_); }

ClosedPort::ClosedPort() { socket_ = LoopbackSocket(0, port_, "cannot hold a closed port"); }

ClosedPort::~ClosedPort() { ::close(socket_); }

int UnusedPort()
{
    // Held for the whole process: a port closed and given back could be taken by the
    // next server before its user connects.
    static const ClosedPort port;
    return port.Port();
}

}  // namespace standin::services
