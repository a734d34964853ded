#include "TransferFixture.hpp"
#include "ZipMaker.hpp"

#include "transfer/Download.hpp"
#include "transfer/Zip.hpp"

namespace tarvel::testing {
namespace {

class Zip : public TransferFixture {
protected:
    // The folder the downloads of these tests go to, as the worker hands it over.
    std::wstring Folder() const { return FullDataPath(tempFolder) + L"\\"; }
};

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
    EXPECT_TRUE(DownloadArtifact(server.Url("/get/data.zip"), localPath, Folder()));
    // The entries go into the archive's own folder, beside nothing else.
    EXPECT_EQ(localPath, TempPathText("data\\c.xml"));
    EXPECT_EQ(ReadFile(TempFolder() / "data" / "a.xml"), "<a/>");
    EXPECT_EQ(ReadFile(TempFolder() / "data" / "b.png"), "png");
    EXPECT_EQ(ReadFile(TempFolder() / "data" / "c.xml"), "<c/>");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "data.zip"));

    EXPECT_TRUE(DownloadArtifact(server.Url("/get/pics.zip"), localPath, Folder()));
    EXPECT_EQ(localPath, TempPathText("pics\\b.png"));
    EXPECT_EQ(ReadFile(TempFolder() / "pics" / "d.txt"), "text");
    EXPECT_EQ(ReadFile(TempFolder() / "data" / "b.png"), "png");
}

TEST_F(Zip, PlainFilesAreStoredAsTheyCameAndFailuresLeaveNothing)
{
    CatalogueServer server;
    server.AddFile("/x/model", "<model/>");
    server.AddStatus("/x/sheet.xml", 500, "error page");
    std::string localPath;
    EXPECT_TRUE(DownloadArtifact(server.Url("/x/model"), localPath, Folder()));
    EXPECT_EQ(localPath, TempPathText("model"));
    EXPECT_EQ(ReadFile(TempFolder() / "model"), "<model/>");
    // An error page is no artifact.
    EXPECT_FALSE(DownloadArtifact(server.Url("/x/sheet.xml"), localPath, Folder()));
    EXPECT_EQ(localPath, "");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "sheet.xml"));
    // Only a name ending in ".zip", as written, is unpacked.
    server.AddFile("/x/DATA.ZIP", MakeZip({{"inner.xml", "<i/>"}}));
    EXPECT_TRUE(DownloadArtifact(server.Url("/x/DATA.ZIP"), localPath, Folder()));
    EXPECT_EQ(localPath, TempPathText("DATA.ZIP"));
    EXPECT_EQ(ReadFile(TempFolder() / "DATA.ZIP"), MakeZip({{"inner.xml", "<i/>"}}));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "inner.xml"));
    // Nothing answers: no path, no file.
    localPath = "stale";
    EXPECT_FALSE(DownloadArtifact("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/y.xml", localPath, Folder()));
    EXPECT_EQ(localPath, "");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "y.xml"));
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
        DownloadArtifact(server.Url("/" + c.name), localPath, Folder());
        EXPECT_EQ(localPath, "") << c.name;
        EXPECT_TRUE(boost::filesystem::exists(TempFolder() / c.name)) << c.name;
        // Nothing of a refused archive is used: its entries' folder is gone.
        EXPECT_FALSE(boost::filesystem::exists(TempFolder() / ZipFolderName(c.name))) << c.name;
    }
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "escaped.xml"));
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
    // Nothing that can be written: nothing to use.
    WriteFile(TempFolder() / "g.zip", MakeZip({{"only/", ""}, {"missing/b.png", "png"}}));
    EXPECT_FALSE(ExtractZip(temp + L"g.zip", temp, entry));
    EXPECT_EQ(entry, "");
}

// Writes the archive into Temp and unpacks it there.
class ZipExtraction : public TransferFixture {
protected:
    bool Extract(const std::string& archiveName, const std::string& bytes, std::string& entry)
    {
        WriteFile(TempFolder() / archiveName, bytes);
        const std::wstring temp = ostrel::PathToWString(TempFolder()) + L"\\";
        return ExtractZip(temp + ostrel::Utf8ToWString(archiveName), temp, entry);
    }
    std::vector<std::string> TempFiles() const { return FileNames(TempFolder()); }
};

TEST_F(ZipExtraction, AnEntryWithoutANameIsSkipped)
{
    std::string entry;
    EXPECT_TRUE(Extract("a.zip", MakeZip({{"", "nameless"}, {"a.png", "png"}, {"", "x"}}), entry));
    EXPECT_EQ(entry, "a.png");
    EXPECT_EQ(TempFiles(), (std::vector<std::string>{"a.png", "a.zip"}));
    EXPECT_FALSE(Extract("b.zip", MakeZip({{"", "nameless"}}), entry));
    EXPECT_EQ(entry, "");
}

TEST_F(ZipExtraction, AnEntryThatIsTheArchiveItselfIsRefused)
{
    for (const char* own : {"data.zip", "./data.zip", ".\\data.zip"}) {
        const std::string zip = MakeZip({{"a.xml", "<a/>"}, {own, "overwritten"}, {"c.xml", "<c/>"}});
        std::string entry;
        EXPECT_FALSE(Extract("data.zip", zip, entry)) << own;
        EXPECT_EQ(ReadFile(TempFolder() / "data.zip"), zip) << own;
        EXPECT_EQ(TempFiles(), std::vector<std::string>{"data.zip"}) << own;
    }
}

TEST_F(ZipExtraction, ARefusedArchiveLeavesNothingOfItBehind)
{
    WriteFile(TempFolder() / "earlier.xml", "from an earlier product");
    std::string damaged = MakeZip({{"a.xml", "<a/>"}, {"b.xml", std::string(5000, 'b')}, {"c.xml", "<c/>"}}, true);
    damaged[damaged.find("bbbb")] = 'x';
    std::string entry;
    EXPECT_FALSE(Extract("damaged.zip", damaged, entry));
    EXPECT_EQ(TempFiles(), (std::vector<std::string>{"damaged.zip", "earlier.xml"}));

    // A chosen entry that cannot be opened for writing fails the extraction, instead
    // of a success with the entry missing.
    boost::filesystem::create_directory(TempFolder() / "b.xml");
    EXPECT_FALSE(Extract("blocked.zip", MakeZip({{"a.xml", "<a/>"}, {"b.xml", "<b/>"}}), entry));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "a.xml"));
    boost::filesystem::remove(TempFolder() / "b.xml");

    // A write that fails (a full disk) fails the extraction.
    if (boost::filesystem::exists("/dev/full")) {
        boost::filesystem::create_symlink("/dev/full", TempFolder() / "b.xml");
        EXPECT_FALSE(Extract("full.zip", MakeZip({{"a.xml", "<a/>"}, {"b.xml", std::string(200000, 'b')}}), entry));
        EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "a.xml"));
    }
    EXPECT_EQ(entry, "");
    EXPECT_EQ(ReadFile(TempFolder() / "earlier.xml"), "from an earlier product");
}

TEST_F(ZipExtraction, EntriesAndBytesAreBounded)
{
    auto limits = [](std::size_t entries, std::uint64_t bytes) {
        Deployment deployment = TestDeployment();
        deployment.maxZipEntries = entries;
        deployment.maxZipBytes = bytes;
        return deployment;
    };
    struct Case {
        const char* what;
        Deployment deployment;
        std::string zip;
        bool ok;
    } cases[] = {
        {"entries at the limit", limits(3, 1000), MakeZip({{"d/", ""}, {"a.xml", "a"}, {"b.xml", "b"}}), true},
        {"one entry too many", limits(3, 1000), MakeZip({{"d/", ""}, {"a.xml", "a"}, {"b.xml", "b"}, {"c", "c"}}),
         false},
        {"bytes at the limit", limits(10, 1000), MakeZip({{"a.xml", std::string(600, 'a')}, {"b", std::string(400, 'b')}}),
         true},
        {"one byte too many", limits(10, 1000),
         MakeZip({{"a.xml", std::string(600, 'a')}, {"b", std::string(401, 'b')}}), false},
        // 8 KB of archive, 78 entries over one run of 4 MB of zeros: 312 MB unpacked.
        {"overlapping entries, production limits", Deployment(), MakeOverlappingZip(78, 4 << 20), false},
        {"overlapping entries within the limits", limits(10, 4 << 20), MakeOverlappingZip(2, 1 << 20), true},
    };
    for (const auto& c : cases) {
        ScopedDeployment scoped(c.deployment);
        std::string entry;
        EXPECT_EQ(Extract("x.zip", c.zip, entry), c.ok) << c.what;
        if (!c.ok) {
            EXPECT_EQ(TempFiles(), std::vector<std::string>{"x.zip"}) << c.what;
        }
        for (const auto& file : TempFiles())
            boost::filesystem::remove(TempFolder() / file);
    }
    EXPECT_LT(MakeOverlappingZip(78, 4 << 20).size(), 10000u);
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
    const auto folder = Temp().Path() / "sp\xC3\xA9" "cial \xE6\x97\xA5" / "Tarvel" / "daVED" / "ArchiCAD" / "Temp";
    EXPECT_TRUE(DownloadArtifact(server.Url("/m/data.zip"), localPath, ostrel::PathToWString(folder) + L"\\"));
    EXPECT_EQ(ReadFile(folder / "data" / "mod\xC3\xA8le.xml"), "<m/>");
    EXPECT_EQ(ostrel::Utf8StringToPath(localPath), folder / "data" / "mod\xC3\xA8le.xml");
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
    EXPECT_FALSE(DownloadArtifact(server.Url("/d/data.zip"), localPath, Folder()));
    EXPECT_EQ(localPath, "");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "data"));
    EXPECT_FALSE(boost::filesystem::is_symlink(TempFolder() / "data.zip"));
}

TEST_F(Zip, ACancelEndsTheExtractionAndLeavesNothing)
{
    const std::string archive = MakeZip({{"a.xml", "<a/>"}, {"big.xml", std::string(4u << 20, 'b')}});
    CatalogueServer server;
    server.AddFile("/z/big.zip", archive);
    WriteFile(TempFolder() / "big.zip", archive);
    int questions = 0;
    std::string entry;
    EXPECT_FALSE(ExtractZip(ostrel::Utf8ToWString((TempFolder() / "big.zip").string()),
                            ostrel::Utf8ToWString(TempFolder().string() + "/"), entry,
                            [&questions] { return ++questions > 3; }));
    EXPECT_EQ(questions, 4);
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "a.xml"));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "big.xml"));
    boost::filesystem::remove(TempFolder() / "big.zip");

    // In a download, the archive goes too.
    std::string localPath = "stale";
    bool cancel = false;
    int pieces = 0;
    EXPECT_FALSE(DownloadArtifact(server.Url("/z/big.zip"), localPath, Folder(), "big.zip", [&] {
        // Asked while the transfer runs too: cancel once the extraction is well under way.
        cancel = cancel || (boost::filesystem::exists(TempFolder() / "big" / "big.xml") && ++pieces > 2);
        return cancel;
    }));
    EXPECT_EQ(localPath, "");
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "big.zip"));
    EXPECT_FALSE(boost::filesystem::exists(TempFolder() / "big"));
}

}  // namespace
}  // namespace tarvel::testing
