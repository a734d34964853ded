#include "FuzzSupport.hpp"

#include "HostSession.hpp"
#include "Main/Globals.hpp"
#include "standin/Win.hpp"

#include <boost/filesystem.hpp>
#include <httplib.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tarvel::fuzz {

namespace {

tarvel::tools::HostSession* session = nullptr;

// The proxy answers from its own threads.
std::mutex answerMutex;
std::function<std::string(const std::string&)> transferAnswer;

}  // namespace

void StartHost()
{
    if (session == nullptr)
        session = new tarvel::tools::HostSession();  // lives as long as the process
}

const std::string& StartHostWithDataRoot()
{
    static const std::string dataRoot = [] {
        if (session != nullptr)
            std::abort();  // a host without the special location is already running
        const auto special = boost::filesystem::path(ScratchFolder()) / "special";
        boost::filesystem::create_directories(special);
        standin::HostOptions options;
        options.specialLocation = special.string();
        session = new tarvel::tools::HostSession(std::move(options));
        tarvel::InitializeAddOnGlobals();
        return (special / "Tarvel" / "daVED" / "ArchiCAD").string();
    }();
    return dataRoot;
}

void ClearReport()
{
    if (session != nullptr)
        session->Report().Clear();
}

const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        const auto path = boost::filesystem::temp_directory_path() /
                          ("tarvel_fuzz_" + std::to_string(getpid()));
        boost::filesystem::remove_all(path);
        boost::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

std::string WriteScratchFile(const std::string& name, std::string_view bytes)
{
    const std::string path = ScratchFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void KeepTransfersInProcess()
{
    static httplib::Server* server = nullptr;
    if (server != nullptr)
        return;
    server = new httplib::Server();
    const auto answer = [](const httplib::Request& request, httplib::Response& response) {
        std::string body;
        {
            std::lock_guard lock(answerMutex);
            if (transferAnswer)
                body = transferAnswer(request.target);
        }
        response.status = 200;
        response.set_content(body, "text/plain");
    };
    server->Get(".*", answer);
    server->Post(".*", answer);
    // The kernel's port, ours alone: no SO_REUSEPORT, which would let another socket
    // bind it beside this one.
    server->set_socket_options([](int) {});
    const int port = server->bind_to_any_port("127.0.0.1");
    if (port <= 0)
        std::abort();
    std::thread([] { server->listen_after_bind(); }).detach();
    while (!server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Every request goes to the proxy, loopback addresses too.
    unsetenv("NO_PROXY");
    unsetenv("no_proxy");
    standin::win::SetUserProxy("127.0.0.1:" + std::to_string(port));
    standin::win::SetUserProxyBypass(std::nullopt);
}

void SetTransferAnswer(std::function<std::string(const std::string& target)> answer)
{
    std::lock_guard lock(answerMutex);
    transferAnswer = std::move(answer);
}

}  // namespace tarvel::fuzz
