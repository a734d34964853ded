// Logos into the Images folder: a free name for every download, dropped again when
// equal to the file of the URL's name; failures leave nothing behind.
#include "TransferFixture.hpp"

#include "TempDir.hpp"
#include "transfer/Pictures.hpp"

#include <sstream>

namespace tarvel::testing {
namespace {

class PicturesTest : public TransferFixture {
protected:
    boost::filesystem::path Images() const { return SpecialFolder() / "Tarvel" / "daVED" / "ArchiCAD" / "Images"; }
    std::vector<std::string> ImageNames() const { return FileNames(Images()); }
};

TEST_F(PicturesTest, ALogoIsStoredOnceAndReusedWhileItIsUnchanged)
{
    CatalogueServer server;
    server.AddFile("/img/logo.png", "first");
    EXPECT_EQ(DownloadImage(server.Url("/img/logo.png")), L"logo.png");
    EXPECT_EQ(DownloadImage(server.Url("/img/logo.png")), L"logo.png");
    EXPECT_EQ(ImageNames(), std::vector<std::string>{"logo.png"});
    EXPECT_EQ(ReadFile(Images() / "logo.png"), "first");

    // Changed on the server: the new picture keeps its free name, the old file stays.
    server.AddFile("/img/logo.png", "second");
    EXPECT_EQ(DownloadImage(server.Url("/img/logo.png")), L"0logo.png");
    // The next download is compared with the URL's name only.
    EXPECT_EQ(DownloadImage(server.Url("/img/logo.png")), L"1logo.png");
    EXPECT_EQ(ReadFile(Images() / "1logo.png"), "second");
    EXPECT_EQ(ImageNames(), (std::vector<std::string>{"0logo.png", "1logo.png", "logo.png"}));
}

TEST_F(PicturesTest, FreeNamesCountTheFirstDigitAndGrowEveryTenSteps)
{
    CatalogueServer server;
    server.AddFile("/a\\b/x.jpg", "new");
    WriteFile(Images() / "x.jpg", "old");
    for (const char* taken : {"0x.jpg", "1x.jpg", "2x.jpg", "3x.jpg", "4x.jpg", "5x.jpg", "6x.jpg", "7x.jpg", "8x.jpg"})
        WriteFile(Images() / taken, "other");
    boost::filesystem::create_directories(Images() / "9x.jpg");  // a folder takes a name too
    EXPECT_EQ(DownloadImage(server.Url("/a\\b/x.jpg")), L"09x.jpg");
    EXPECT_EQ(DownloadImage(server.Url("/a\\b/x.jpg")), L"19x.jpg");
}

TEST_F(PicturesTest, AFailedDownloadGivesNoNameAndLeavesNoFile)
{
    CatalogueServer server;
    server.AddStatus("/missing.png", 404, "<html>not found</html>");
    server.AddTruncated("/cut.png", std::string(5000, 'p'), 100);
    const std::string cases[] = {
        server.Url("/missing.png"),
        server.Url("/cut.png"),
        "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/gone.png",
        "file:///etc/passwd",
        "",
    };
    for (const std::string& url : cases) {
        EXPECT_EQ(DownloadImage(url), L"") << url;
        EXPECT_TRUE(ImageNames().empty()) << url;
    }
}

TEST_F(PicturesTest, StreamsAreEqualOnlyWithTheSameBytes)
{
    struct Case {
        std::string first, second;
        bool equal;
    };
    const std::string big(200000, 'b');
    const Case cases[] = {
        {"", "", true},
        {"abc", "abc", true},
        {big, big, true},
        {"abc", "abd", false},
        {"abc", "abcd", false},
        {big, big.substr(0, big.size() - 1) + "c", false},
    };
    for (const Case& c : cases) {
        std::istringstream first(c.first), second(c.second);
        EXPECT_EQ(StreamsEqual(first, second), c.equal) << c.first.size() << " " << c.second.size();
    }
    std::istringstream failed("abc"), other("abc");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(StreamsEqual(failed, other));
}

}  // namespace
}  // namespace tarvel::testing
