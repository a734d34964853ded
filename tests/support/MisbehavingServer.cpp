#include "MisbehavingServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace tarvel::testing {
namespace {

using namespace std::chrono_literals;

constexpr MisbehavingServer::Way kWays[] = {
    MisbehavingServer::Way::StallAfterHeaders, MisbehavingServer::Way::Trickle,
    MisbehavingServer::Way::Creep,             MisbehavingServer::Way::EndlessChunked,
    MisbehavingServer::Way::ShortBody,         MisbehavingServer::Way::HugeLength,
    MisbehavingServer::Way::Redirect,          MisbehavingServer::Way::ErrorPage,
    MisbehavingServer::Way::NotFoundPage,      MisbehavingServer::Way::CloseAtOnce,
};

constexpr int kPollMs = 50;

std::string Head(const char* status, const std::string& fields)
{
    return std::string("HTTP/1.1 ") + status + "\r\nConnection: close\r\n" + fields + "\r\n";
}

std::string Chunk(const std::string& data)
{
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", data.size());
    return size + data + "\r\n";
}

}  // namespace

MisbehavingServer::MisbehavingServer(std::chrono::milliseconds tricklePeriod, std::chrono::seconds lifetime)
    : tricklePeriod_(tricklePeriod), end_(std::chrono::steady_clock::now() + lifetime)
{
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0)
        throw std::runtime_error("no socket for the misbehaving server");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener_);
        throw std::runtime_error("the misbehaving server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

MisbehavingServer::~MisbehavingServer()
{
    stop_ = true;
    acceptor_.join();
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& connection : connections)
        connection.join();
    close(listener_);
}

const char* MisbehavingServer::Name(Way way)
{
    switch (way) {
    case Way::StallAfterHeaders: return "stall";
    case Way::Trickle: return "trickle";
    case Way::Creep: return "creep";
    case Way::EndlessChunked: return "endless";
    case Way::ShortBody: return "short";
    case Way::HugeLength: return "huge";
    case Way::Redirect: return "redirect";
    case Way::ErrorPage: return "error";
    case Way::NotFoundPage: return "notfound";
    case Way::CloseAtOnce: return "close";
    }
    return "none";
}

std::string MisbehavingServer::Url(Way way, const std::string& name) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + Name(way) + "/" + name;
}

bool MisbehavingServer::Stopping() const { return stop_.load() || std::chrono::steady_clock::now() >= end_; }

bool MisbehavingServer::Pause(std::chrono::milliseconds duration) const
{
    const auto until = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < until) {
        if (Stopping())
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(
            std::chrono::milliseconds(kPollMs),
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()) + 1ms));
    }
    return !Stopping();
}

void MisbehavingServer::Accept()
{
    while (!Stopping()) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, kPollMs) <= 0)
            continue;
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0)
            continue;
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] {
            Serve(connection);
            close(connection);
        });
    }
}

bool MisbehavingServer::WaitWritable(int connection) const
{
    while (!Stopping()) {
        pollfd waiting{connection, POLLOUT, 0};
        const int ready = poll(&waiting, 1, kPollMs);
        if (ready < 0 || (ready > 0 && (waiting.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0))
            return false;
        if (ready > 0)
            return true;
    }
    return false;
}

bool MisbehavingServer::SendAll(int connection, const std::string& bytes, bool body)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (!WaitWritable(connection))
            return false;
        const ssize_t n = send(connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        sent += static_cast<std::size_t>(n);
        if (body)
            bodyBytes_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

void MisbehavingServer::Serve(int connection)
{
    // The request head: up to its blank line, a few KiB at most.
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        if (Stopping())
            return;
        pollfd waiting{connection, POLLIN, 0};
        if (poll(&waiting, 1, kPollMs) <= 0)
            continue;
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    ++requests_;
    const std::size_t pathStart = request.find(' ');
    const std::size_t pathEnd = request.find(' ', pathStart + 1);
    const std::string path =
        pathStart == std::string::npos ? "" : request.substr(pathStart + 1, pathEnd - pathStart - 1);
    Way way = Way::NotFoundPage;
    bool known = false;
    for (Way candidate : kWays)
        if (path.rfind(std::string("/") + Name(candidate) + "/", 0) == 0) {
            way = candidate;
            known = true;
        }
    const std::string page = "<html><body><h1>Something went wrong</h1></body></html>";
    const std::string piece(64 * 1024, 'x');
    switch (known ? way : Way::NotFoundPage) {
    case Way::StallAfterHeaders:
        if (SendAll(connection, Head("200 OK", "Content-Length: 1000\r\n"), false))
            Pause(std::chrono::hours(1));
        return;
    case Way::Trickle:
        if (!SendAll(connection, Head("200 OK", "Content-Length: 1000000\r\n"), false))
            return;
        while (Pause(tricklePeriod_) && SendAll(connection, "x", true)) {
        }
        return;
    case Way::Creep:
        if (!SendAll(connection, Head("200 OK", "Transfer-Encoding: chunked\r\n"), false))
            return;
        while (SendAll(connection, Chunk("<creep/>"), true) && Pause(100ms)) {
        }
        return;
    case Way::EndlessChunked: {
        if (!SendAll(connection, Head("200 OK", "Transfer-Encoding: chunked\r\n"), false))
            return;
        const std::string chunk = Chunk(piece);
        while (SendAll(connection, chunk, true)) {
        }
        return;
    }
    case Way::ShortBody:
        if (SendAll(connection, Head("200 OK", "Content-Length: 1000000\r\n"), false))
            SendAll(connection, std::string(1729, '<'), true);
        return;
    case Way::HugeLength:
        if (!SendAll(connection, Head("200 OK", "Content-Length: 2147483648\r\n"), false))
            return;
        while (SendAll(connection, piece, true)) {
        }
        return;
    case Way::Redirect: {
        const std::string moved = "<html><body>moved</body></html>";
        SendAll(connection,
                Head("302 Found", "Location: /error/elsewhere\r\nContent-Type: text/html\r\nContent-Length: " +
                                      std::to_string(moved.size()) + "\r\n") +
                    moved,
                false);
        return;
    }
    case Way::ErrorPage:
        SendAll(connection,
                Head("500 Internal Server Error",
                     "Content-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) + "\r\n") +
                    page,
                false);
        return;
    case Way::NotFoundPage:
        SendAll(connection,
                Head("404 Not Found", "Content-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
                                          "\r\n") +
                    page,
                false);
        return;
    case Way::CloseAtOnce:
        return;
    }
}

std::uint64_t PeakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    return 0;
}

}  // namespace tarvel::testing
