#include "TransferFixture.hpp"

#include "transfer/Download.hpp"
#include "transfer/Zip.hpp"

namespace tarvel::testing {
namespace {

using Zip = TransferFixture;

TEST(ZipEntryNames, SafeAndUnsafe)
{
    for (const char* name : {"a.xml", "sub/a.xml", "sub\\a.xml", "..a", "a..", "./a", "caf\xC3\xA9.xml"})
        EXPECT_TRUE(IsSafeZipEntryName(name)) << name;
    for (const char* name : {"", "/etc/x", "\\x", "../x", "a/../../x", "a\\..\\x", "..", "C:x", "C:\\x", "a:b",
                             "bad\xFF"})
        EXPECT_FALSE(IsSafeZipEntryName(name)) << name;
    EXPECT_TRUE(IsSafeZipEntryName(std::string(255, 'n')));
    EXPECT_FALSE(IsSafeZipEntryName(std::string(256, 'n')));
}

TEST_F(Zip, TheLastXmlEntryWinsAndTheArchiveGoes)
{
    CatalogueServer server;
    server.AddFile("/get/data.zip", MakeZip({{"a.xml", "<a/>"}, {"b.png", "png"}, {"c.xml", "<c/>"}}));
    server.AddFile("/get/pics.zip", MakeZip({{"b.png", "png2"}, {"d.txt", "text"}}, true));
    std::string localPath;
    EXPECT_TRUE(DownloadArtifact(server.Url("/get/data.zip"), localPath));
    EXPECT_EQ(localPath, TempPathText("c.xml"));
    EXPECT_EQ(ReadFile(TempFolder() / "a.xml"), "<a/>");
    EXPECT_EQ(ReadFile(TempFolder() / "b.png"), "png");
    EXPECT_EQ(ReadFile(TempFolder() / "c.xml"), "<c/>");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "data.zip"));

    EXPECT_TRUE(DownloadArtifact(server.Url("/get/pics.zip"), localPath));
    EXPECT_EQ(localPath, TempPathText("b.png"));
    EXPECT_EQ(ReadFile(TempFolder() / "d.txt"), "text");
}

TEST_F(Zip, PlainFilesAndErrorPagesAreStoredAsTheyCame)
{
    CatalogueServer server;
    server.AddFile("/x/model", "<model/>");
    server.AddStatus("/x/sheet.xml", 500, "error page");
    std::string localPath;
    EXPECT_TRUE(DownloadArtifact(server.Url("/x/model"), localPath));
    EXPECT_EQ(localPath, TempPathText("model"));
    EXPECT_EQ(ReadFile(TempFolder() / "model"), "<model/>");
    EXPECT_TRUE(DownloadArtifact(server.Url("/x/sheet.xml"), localPath));
    EXPECT_EQ(ReadFile(TempFolder() / "sheet.xml"), "error page");
    // Nothing answers: the path is set, the file empty.
    EXPECT_FALSE(DownloadArtifact("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/y.xml", localPath));
    EXPECT_EQ(localPath, TempPathText("y.xml"));
    EXPECT_EQ(ReadFile(TempFolder() / "y.xml"), "");
}

TEST_F(Zip, DamagedAndHostileArchivesFailAndWriteNothingOutside)
{
    const std::string good = MakeZip({{"a.xml", std::string(5000, 'a')}});
    std::string corrupt = MakeZip({{"a.xml", std::string(5000, 'a')}}, true);
    corrupt[corrupt.find("aaaa")] = 'b';  // stored data no longer matches its CRC
    struct Case {
        std::string name;
        std::string bytes;
    } cases[] = {
        {"empty.zip", ""},
        {"garbage.zip", "PK this is not an archive"},
        {"truncated.zip", good.substr(0, good.size() / 2)},
        {"noentries.zip", MakeZip({})},
        {"crc.zip", corrupt},
        {"dotdot.zip", MakeZip({{"fine.xml", "x"}, {"../escaped.xml", "evil"}})},
        {"deep.zip", MakeZip({{"sub/../../escaped.xml", "evil"}})},
        {"absolute.zip", MakeZip({{"/tmp/escaped.xml", "evil"}})},
        {"backslash.zip", MakeZip({{"..\\escaped.xml", "evil"}})},
        {"drive.zip", MakeZip({{"C:escaped.xml", "evil"}})},
        {"longname.zip", MakeZip({{std::string(300, 'n') + ".xml", "x"}})},
        {"notutf8.zip", MakeZip({{"bad\xFF.xml", "x"}})},
    };
    CatalogueServer server;
    for (const auto& c : cases)
        server.AddFile("/" + c.name, c.bytes);
    for (const auto& c : cases) {
        std::string localPath = "stale";
        DownloadArtifact(server.Url("/" + c.name), localPath);
        EXPECT_EQ(localPath, "") << c.name;
        EXPECT_TRUE(boost::filesystem::exists(TempFolder() / c.name)) << c.name;
    }
    EXPECT_FALSE(boost::filesystem::exists(TempFolder().parent_path() / "escaped.xml"));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "fine.xml"));
    EXPECT_FALSE(boost::filesystem::exists("/tmp/escaped.xml"));
}

TEST_F(Zip, EntriesInFoldersAreWrittenOnlyWhereTheFolderExists)
{
    boost::filesystem::create_directories(TempFolder() / "have");
    const std::string zip = MakeZip({{"have/", ""}, {"have/a.xml", "<a/>"}, {"missing/b.png", "png"}});
    WriteFile(TempFolder() / "f.zip", zip);
    std::string entry;
    const std::wstring temp = ostrel::PathToWString(TempFolder()) + L"\\";
    EXPECT_TRUE(ExtractZip(temp + L"f.zip", temp, entry));
    EXPECT_EQ(entry, "have/a.xml");
    EXPECT_EQ(ReadFile(TempFolder() / "have" / "a.xml"), "<a/>");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "missing"));
}

class ZipNonAscii : public TransferFixture {
protected:
    void AdjustOptions(standin::HostOptions& options) override
    {
        options.specialLocation = (Temp().Path() / "sp\xC3\xA9" "cial \xE6\x97\xA5").string();
        boost::filesystem::create_directories(options.specialLocation);
    }
};

TEST_F(ZipNonAscii, AFolderOutsideAsciiWorksForTheArchiveAndItsEntries)
{
    CatalogueServer server;
    server.AddFile("/m/data.zip", MakeZip({{"mod\xC3\xA8le.xml", "<m/>"}}));
    std::string localPath;
    EXPECT_TRUE(DownloadArtifact(server.Url("/m/data.zip"), localPath));
    const auto folder = Temp().Path() / "sp\xC3\xA9" "cial \xE6\x97\xA5" / "Tarvel" / "daVED" / "ArchiCAD" / "Temp";
    EXPECT_EQ(ReadFile(folder / "mod\xC3\xA8le.xml"), "<m/>");
    EXPECT_EQ(ostrel::Utf8StringToPath(localPath), folder / "mod\xC3\xA8le.xml");
    EXPECT_FALSE(boost::filesystem::exists(folder / "data.zip"));
}

TEST_F(Zip, AFailedWriteIsNoArchiveToUnpack)
{
    if (!boost::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CatalogueServer server;
    server.AddFile("/d/data.zip", MakeZip({{"a.xml", std::string(200000, 'a')}}, true));
    boost::filesystem::create_symlink("/dev/full", TempFolder() / "data.zip");
    std::string localPath;
    EXPECT_FALSE(DownloadArtifact(server.Url("/d/data.zip"), localPath));
    EXPECT_EQ(localPath, TempPathText("data.zip"));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "a.xml"));
}

}  // namespace
}  // namespace tarvel::testing
