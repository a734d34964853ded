#include "TransferFixture.hpp"

#include "transfer/Http.hpp"
#include "transfer/LocalNames.hpp"

#include <cstdlib>
#include <sstream>

namespace tarvel::testing {
namespace {

TEST(ProxyChoice, Table)
{
    struct Case {
        const wchar_t* windows;
        const char* proxy;
    } cases[] = {
        {L"proxy:3128", "proxy:3128"},
        {L"http=p1:8080;https=p2:8443", "p1:8080"},
        {L"https=p2:8443", ""},
        {L"socks=s:1080 http://p3:80", "p3:80"},
        {L"https://p4:443", ""},
        {L"", ""},
        {L" ;\t\r\n ", ""},
        {L"HTTP=p5:1", ""},
        {L"ftp=f:21;http=p6:2", "p6:2"},
        {L"http=http://p7:3", "p7:3"},
        {L"http=https://p8:4 p9:5", "p9:5"},
        {L"pr\u00F6xy:1", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseProxy(c.windows), c.proxy) << ostrel::WStringToUtf8(c.windows);
}

TEST(ProxyChoice, ALongProxyTextIsRefusedNotOverrun)
{
    EXPECT_EQ(ChooseProxy(std::wstring(1023, L'a')), std::string(1023, 'a'));
    EXPECT_EQ(ChooseProxy(std::wstring(1024, L'a')), "");
    EXPECT_EQ(ChooseProxy(L"http=" + std::wstring(5000, L'b')), "");
}

TEST(ProxyChoice, UserSettingIsReadAndItsStringsReleased)
{
    const long long before = standin::win::LiveGlobalBlocks();
    standin::win::SetUserProxy("http=p1:8080;https=p2:8443");
    standin::win::SetUserProxyBypass("<local>");
    EXPECT_EQ(UserProxy(), "p1:8080");
    standin::win::FailUserProxyQuery(true);
    EXPECT_EQ(UserProxy(), "");
    standin::win::FailUserProxyQuery(false);
    standin::win::SetUserProxy(std::nullopt);
    EXPECT_EQ(UserProxy(), "");
    EXPECT_EQ(standin::win::LiveGlobalBlocks(), before);
}

TEST(LocalNames, UnsafeNamesAreMadeSafeAndSafeOnesKept)
{
    struct Case {
        const char* url;
        const char* name;
    } cases[] = {
        {"http://h/a/model.xml", "model.xml"},
        {"http://h/a\\b\\data.zip", "data.zip"},
        {"http://h/get?file=x.xml", "get_file=x.xml"},
        {"http://h/a/", "artifact"},
        {"http://h/a/..", "artifact"},
        {"http://h/a/.", "artifact"},
        {"http://h/a/x:y*z|w\"<>", "x_y_z_w___"},
        {"http://h/a/caf\xC3\xA9.xml", "caf\xC3\xA9.xml"},
        {"http://h/a/bad\xFF.xml", "bad_.xml"},
        {"http://h/a/tab\there", "tab_here"},
        {"http://h/a/..x", "..x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LocalNameFromUrl(c.url), c.name) << c.url;

    std::set<std::string> used;
    EXPECT_EQ(MakeUniqueName("data.zip", used), "data.zip");
    EXPECT_EQ(MakeUniqueName("DATA.zip", used), "DATA_2.zip");
    EXPECT_EQ(MakeUniqueName("data.zip", used), "data_3.zip");
    EXPECT_EQ(MakeUniqueName("model", used), "model");
    EXPECT_EQ(MakeUniqueName("model", used), "model_2");
}

TEST(WriteCallbacks, NullTargetsAndFailedStreamsEndTheTransfer)
{
    char data[] = "abcdef";
    std::string body;
    EXPECT_EQ(CurlWriteToBuffer(data, 1, 3, &body), 3u);
    EXPECT_EQ(CurlWriteToBuffer(data + 3, 1, 3, &body), 3u);
    EXPECT_EQ(body, "abcdef");
    EXPECT_EQ(CurlWriteToBuffer(data, 1, 3, nullptr), 0u);

    std::ostringstream good;
    EXPECT_EQ(CurlWriteToStream(data, 2, 3, static_cast<std::ostream*>(&good)), 6u);
    EXPECT_EQ(good.str(), "abcdef");
    EXPECT_EQ(CurlWriteToStream(data, 1, 3, nullptr), 0u);
    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_EQ(CurlWriteToStream(data, 1, 3, static_cast<std::ostream*>(&failed)), 0u);
}

using Http = TransferFixture;

TEST_F(Http, GetToStringKeepsErrorPagesAndSendsTheUserAgent)
{
    CatalogueServer server;
    server.AddFile("/a.json", "{\"x\":1}");
    server.AddStatus("/missing", 404, "<p>gone</p>");
    server.AddStatus("/broken", 500, "oops");
    std::string body = "stale";
    EXPECT_TRUE(HttpGetToString(server.Url("/a.json").c_str(), body));
    EXPECT_EQ(body, "{\"x\":1}");
    EXPECT_TRUE(HttpGetToString(server.Url("/missing").c_str(), body));
    EXPECT_EQ(body, "<p>gone</p>");
    EXPECT_TRUE(HttpGetToString(server.Url("/broken").c_str(), body));
    EXPECT_EQ(body, "oops");
    EXPECT_EQ(server.Requests().at(0).userAgent, "Tarvel ArchiCAD AddOn");

    body = "stale";
    EXPECT_FALSE(HttpGetToString(("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x").c_str(), body));
    EXPECT_EQ(body, "");
}

TEST_F(Http, OnlyHttpAndHttpsAreSpoken)
{
    WriteFile(Temp().Path() / "secret.txt", "secret");
    const std::string fileUrl = "file://" + (Temp().Path() / "secret.txt").string();
    std::string body;
    for (const std::string& url : {fileUrl, std::string("ftp://127.0.0.1/x"), std::string("gopher://h/"),
                                   std::string("127.0.0.1/x"), std::string("")}) {
        EXPECT_FALSE(HttpGetToString(url.c_str(), body)) << url;
        EXPECT_EQ(body, "");
        CURL* handle = reinterpret_cast<CURL*>(1);
        char error[CURL_ERROR_SIZE];
        EXPECT_FALSE(CreateCurlHandle(handle, error, url.c_str()));
        EXPECT_EQ(handle, nullptr);
    }
    EXPECT_TRUE(IsHttpUrl("HTTPS://x/"));
    EXPECT_FALSE(IsHttpUrl("httpx://x/"));
}

TEST_F(Http, UrlExistsTable)
{
    CatalogueServer server;
    server.AddStatus("/404", 404, "page");
    server.AddStatus("/500", 500, "page");
    server.AddFile("/body404", "404");
    server.AddFile("/body4", "4 not yet");
    server.AddFile("/empty", "");
    server.AddFile("/ready", "ready");
    struct Case {
        std::string url;
        bool exists;
    } cases[] = {
        {server.Url("/404"), false},
        {server.Url("/unknown"), false},
        {server.Url("/500"), true},
        {server.Url("/body404"), false},
        {server.Url("/body4"), false},
        {server.Url("/empty"), true},
        {server.Url("/ready"), true},
        {"http://127.0.0.1:" + std::to_string(UnusedPort()) + "/", true},
        {"file:///etc/hostname", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlExists(c.url), c.exists) << c.url;
}

TEST_F(Http, ServerCertificatesAreVerified)
{
    // The handshakes must finish, slow as they are under the sanitizers.
    Deployment patient = TestDeployment();
    patient.connectTimeout = std::chrono::seconds(20);
    struct Case {
        const char* what;
        CatalogueServer::Kind kind;
        bool trustTheAuthority;
        CURLcode result;
    } cases[] = {
        {"self-signed", CatalogueServer::Kind::SelfSignedTls, false, CURLE_PEER_FAILED_VERIFICATION},
        {"test authority, not trusted", CatalogueServer::Kind::AuthorityTls, false, CURLE_PEER_FAILED_VERIFICATION},
        {"test authority, trusted", CatalogueServer::Kind::AuthorityTls, true, CURLE_OK},
        {"trusted authority, other host name", CatalogueServer::Kind::AuthorityTlsOtherName, true,
         CURLE_PEER_FAILED_VERIFICATION},
    };
    for (const auto& c : cases) {
        CatalogueServer server(c.kind);
        server.AddFile("/a", "secret");
        Deployment deployment = patient;
        if (c.trustTheAuthority)
            deployment.testTrustedAuthorities = server.AuthorityPem();
        ScopedDeployment scoped(deployment);
        CURL* handle = nullptr;
        char error[CURL_ERROR_SIZE] = {};
        const std::string url = server.Url("/a");
        ASSERT_TRUE(CreateCurlHandle(handle, error, url.c_str())) << c.what;
        std::string body;
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, CurlWriteToBuffer);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
        EXPECT_EQ(curl_easy_perform(handle), c.result) << c.what << ": " << error;
        curl_easy_cleanup(handle);
        const bool ok = c.result == CURLE_OK;
        EXPECT_EQ(HttpGetToString(url.c_str(), body), ok) << c.what;
        EXPECT_EQ(body, ok ? "secret" : "") << c.what;
        EXPECT_EQ(server.CallCount("/a"), ok ? 2 : 0) << c.what;
    }
}

TEST(DeploymentLimits, ProductionValues)
{
    // What the add-on runs with when no test overrides it: a hanging server is given
    // up, a slow but moving download never is, and an archive is bounded generously.
    const Deployment production;
    EXPECT_EQ(production.connectTimeout, std::chrono::seconds(15));
    EXPECT_EQ(production.stallBytesPerSecond, 1);
    EXPECT_EQ(production.stallTime, std::chrono::seconds(30));
    EXPECT_EQ(production.maxTextBytes, 4u << 20);
    EXPECT_EQ(production.textTotalTime, std::chrono::seconds(20));
    EXPECT_EQ(production.probeTotalTime, std::chrono::seconds(20));
    EXPECT_EQ(production.maxPictureBytes, 4u << 20);
    EXPECT_EQ(production.pictureTotalTime, std::chrono::seconds(30));
    EXPECT_EQ(production.startUpBudget, std::chrono::seconds(30));
    EXPECT_EQ(production.semaphorePollPeriod, std::chrono::milliseconds(1111));
    EXPECT_EQ(production.maxZipEntries, 1000u);
    EXPECT_EQ(production.maxZipBytes, 256u << 20);
    EXPECT_EQ(production.testTrustedAuthorities, "");
    const Deployment current = CurrentDeployment();
    EXPECT_EQ(current.connectTimeout, production.connectTimeout);
    EXPECT_EQ(current.stallTime, production.stallTime);
    EXPECT_EQ(current.semaphorePollPeriod, production.semaphorePollPeriod);
    EXPECT_EQ(current.testTrustedAuthorities, "");
    {
        ScopedDeployment scoped(TestDeployment());
        EXPECT_EQ(CurrentDeployment().semaphorePollPeriod, std::chrono::milliseconds(10));
    }
    EXPECT_EQ(CurrentDeployment().semaphorePollPeriod, production.semaphorePollPeriod);
}

TEST_F(Http, RedirectsAreNotFollowed)
{
    CatalogueServer server;
    server.AddFile("/new.xml", "<target/>");
    for (int status : {301, 302, 303, 307, 308})
        server.AddRedirect("/old" + std::to_string(status) + ".xml", status, server.Url("/new.xml"));
    for (int status : {301, 302, 303, 307, 308}) {
        const std::string url = server.Url("/old" + std::to_string(status) + ".xml");
        std::string body;
        EXPECT_TRUE(HttpGetToString(url.c_str(), body)) << status;
        EXPECT_EQ(body, "<html><body>moved</body></html>") << status;
        EXPECT_TRUE(DownloadToTemp(url, "old.xml")) << status;
        EXPECT_EQ(ReadFile(TempFolder() / "old.xml"), "<html><body>moved</body></html>") << status;
        EXPECT_TRUE(UrlExists(url)) << status;
    }
    EXPECT_EQ(server.CallCount("/new.xml"), 0);
}

TEST_F(Http, TheUserProxyCarriesTheRequests)
{
    CatalogueServer origin, proxy;
    proxy.EnableProxy();
    origin.AddFile("/a.json", "via proxy");
    standin::win::SetUserProxy("socks=s:1;http=" + proxy.HostAndPort());
    std::string body;
    EXPECT_TRUE(HttpGetToString(origin.Url("/a.json").c_str(), body));
    EXPECT_EQ(body, "via proxy");
    EXPECT_EQ(proxy.ForwardedUrls(), std::vector<std::string>{origin.Url("/a.json")});
    EXPECT_EQ(origin.CallCount("/a.json"), 1);
}

TEST_F(Http, NoUserProxyOverridesTheEnvironmentsProxy)
{
    CatalogueServer origin, proxy;
    proxy.EnableProxy();
    origin.AddFile("/a.json", "direct");
    for (const char* name : {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"})
        setenv(name, ("http://" + proxy.HostAndPort()).c_str(), 1);
    standin::win::SetUserProxy(std::nullopt);
    std::string body;
    EXPECT_TRUE(HttpGetToString(origin.Url("/a.json").c_str(), body));
    for (const char* name : {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"})
        unsetenv(name);
    EXPECT_EQ(body, "direct");
    EXPECT_TRUE(proxy.ForwardedUrls().empty());
}

TEST_F(Http, AStalledTransferAndAHangingConnectionEnd)
{
    CatalogueServer server;
    server.AddSilent("/silent", std::chrono::seconds(20));
    server.AddStall("/stall", "x", std::chrono::seconds(20), "rest");
    const auto start = std::chrono::steady_clock::now();
    std::string body;
    EXPECT_FALSE(HttpGetToString(server.Url("/silent").c_str(), body));
    EXPECT_FALSE(HttpGetToString(server.Url("/stall").c_str(), body));

    // Waits in the TLS handshake on a port that never accepts: the connect limit ends it.
    SilentListener listener;
    EXPECT_FALSE(HttpGetToString(("https://127.0.0.1:" + std::to_string(listener.Port()) + "/").c_str(), body));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
}

TEST_F(Http, SlowButMovingTransfersAreNotCutOff)
{
    CatalogueServer server;
    // Quieter than the stall limit of one second, then the rest.
    server.AddStall("/slow", "first", std::chrono::milliseconds(300), "rest");
    std::string body;
    EXPECT_TRUE(HttpGetToString(server.Url("/slow").c_str(), body));
    EXPECT_EQ(body, "firstrest");
}

TEST_F(Http, DownloadToTempWritesTheFileAndNoticesFailedWrites)
{
    CatalogueServer server;
    server.AddFile("/setup.exe", std::string(300000, 'x'));
    server.AddStatus("/gone", 404, "error page");
    EXPECT_TRUE(DownloadToTemp(server.Url("/setup.exe"), "setup.exe"));
    EXPECT_EQ(ReadFile(TempFolder() / "setup.exe"), std::string(300000, 'x'));
    EXPECT_TRUE(DownloadToTemp(server.Url("/gone"), "page.html"));
    EXPECT_EQ(ReadFile(TempFolder() / "page.html"), "error page");
    // A name cannot leave the Temp folder.
    EXPECT_TRUE(DownloadToTemp(server.Url("/gone"), "../escape.html"));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder().parent_path() / "escape.html"));
    EXPECT_TRUE(boost::filesystem::exists(TempFolder() / ".._escape.html"));
    // A full disk: the transfer fails instead of counting as written.
    if (boost::filesystem::exists("/dev/full")) {
        boost::filesystem::create_symlink("/dev/full", TempFolder() / "full.exe");
        EXPECT_FALSE(DownloadToTemp(server.Url("/setup.exe"), "full.exe"));
    }
}

}  // namespace
}  // namespace tarvel::testing
