// The stand-in's library-part store: it refuses records laid out wrongly, saves one
// readable file per part and reads its folders back at start.
#include "ModelFixture.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <cstring>

namespace {

using namespace HostInterface;
using tarvel::testing::ReadFile;
using tarvel::testing::WriteFile;

class LibPartStoreTest : public tarvel::testing::ModelFixture {
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        folder_.Set(LibraryFolder().string().c_str());
    }

    LibPartRecord Record(const std::u16string& name)
    {
        LibPartRecord record;
        ZeroRecord(record);
        record.typeCode = LibPartObject;
        std::copy(name.begin(), name.end(), record.name);
        std::copy(name.begin(), name.end(), record.fileName);
        record.byte1034 = 1;
        record.location = &folder_;
        std::strcpy(record.parentId, "{103E8D2C-8230-42E1-9597-46F84CCE28C0}");
        return record;
    }

    // Begins, adds the sections a part has and saves; the record's index afterwards.
    std::int32_t SavePart(const std::u16string& name, const std::string& script = "body\n")
    {
        LibPartRecord record = Record(name);
        EXPECT_EQ(HostApi_BeginLibPart(&record), 0);
        SectionHeader header;
        ZeroRecord(header);
        header.code = Sect3DScript;
        EXPECT_EQ(HostApi_BeginLibPartSection(&header), 0);
        EXPECT_EQ(HostApi_WriteLibPartSection(static_cast<std::int32_t>(script.size()), script.data()), 0);
        EXPECT_EQ(HostApi_EndLibPartSection(), 0);
        EXPECT_EQ(HostApi_SaveLibPart(&record), 0);
        delete record.location;
        return record.index;
    }

    IO::Location folder_;
};

TEST_F(LibPartStoreTest, BeginRefusesRecordsLaidOutWrongly)
{
    struct Case {
        const char* what;
        void (*spoil)(LibPartRecord&);
        GSErrCode code;
    };
    const Case cases[] = {
        {"unterminated name", [](LibPartRecord& r) { std::fill(std::begin(r.name), std::end(r.name), u'x'); },
         ErrBadRecord},
        {"second name differs", [](LibPartRecord& r) { r.fileName[0] = u'Y'; }, ErrBadRecord},
        {"empty name", [](LibPartRecord& r) { r.name[0] = 0; r.fileName[0] = 0; }, ErrBadRecord},
        {"unterminated parent", [](LibPartRecord& r) { std::memset(r.parentId, 'p', sizeof r.parentId); },
         ErrBadRecord},
        {"unknown type", [](LibPartRecord& r) { r.typeCode = 5; }, ErrBadRecord},
        {"byte 1034", [](LibPartRecord& r) { r.byte1034 = 0; }, ErrBadRecord},
        {"no location", [](LibPartRecord& r) { r.location = nullptr; }, ErrBadParameter},
    };
    for (const auto& c : cases) {
        LibPartRecord record = Record(u"Part");
        c.spoil(record);
        EXPECT_EQ(HostApi_BeginLibPart(&record), c.code) << c.what;
        EXPECT_FALSE(Store().PartOpen()) << c.what;
    }
    IO::Location missing((Temp().Path() / "nowhere").string());
    LibPartRecord record = Record(u"Part");
    record.location = &missing;
    EXPECT_EQ(HostApi_BeginLibPart(&record), ErrNotFound);
}

TEST_F(LibPartStoreTest, SectionsAndSavingFollowTheHostsOrder)
{
    SectionHeader header;
    ZeroRecord(header);
    header.code = SectMasterScript;
    EXPECT_EQ(HostApi_BeginLibPartSection(&header), ErrWrongState);  // no part open
    LibPartRecord record = Record(u"Part");
    ASSERT_EQ(HostApi_BeginLibPart(&record), 0);
    LibPartRecord second = Record(u"Other");
    EXPECT_EQ(HostApi_BeginLibPart(&second), ErrWrongState);
    header.reserved[1] = 1;
    EXPECT_EQ(HostApi_BeginLibPartSection(&header), ErrBadRecord);
    header.reserved[1] = 0;
    header.code = FourCC("XXXX");
    EXPECT_EQ(HostApi_BeginLibPartSection(&header), ErrBadParameter);
    header.code = SectMasterScript;
    ASSERT_EQ(HostApi_BeginLibPartSection(&header), 0);
    EXPECT_EQ(HostApi_BeginLibPartSection(&header), ErrWrongState);
    EXPECT_EQ(HostApi_WriteLibPartSection(-1, "x"), ErrBadParameter);
    EXPECT_EQ(HostApi_EndLibPartSection(), 0);
    EXPECT_EQ(HostApi_EndLibPartSection(), ErrWrongState);
    EXPECT_EQ(HostApi_BeginLibPartSection(&header), ErrBadParameter);  // a second master script

    // A picture handle must carry its type text.
    GSHandle picture = BMAllocateHandle(12, 0, 0);
    std::memcpy(*picture, "image/gif\0ab", 12);
    header.code = SectPreviewPicture;
    EXPECT_EQ(HostApi_AddLibPartSection(&header, picture, nullptr), ErrBadRecord);
    std::memcpy(*picture, "image/png\0ab", 12);
    EXPECT_EQ(HostApi_AddLibPartSection(&header, picture, nullptr), 0);
    BMKillHandle(&picture);

    // A parameter section needs its details first.
    double a = 2;
    double b = 3;
    GSHandle section = nullptr;
    ASSERT_EQ(HostApi_BuildParamSection(&record, nullptr, &a, &b, 0, &section, 0), 0);
    header.code = SectParameters;
    EXPECT_EQ(HostApi_AddLibPartSection(&header, section, nullptr), ErrBadParameter);
    ParamDetailsRecord details;
    ZeroRecord(details);
    details.version = ParamDetailsVersion;
    EXPECT_EQ(HostApi_SetParamSectionDetails(&record, section, &details), ErrBadRecord);  // count 0
    details.count = 1;
    details.reserved[100] = 1;
    EXPECT_EQ(HostApi_SetParamSectionDetails(&record, section, &details), ErrBadRecord);
    details.reserved[100] = 0;
    EXPECT_EQ(HostApi_SetParamSectionDetails(&record, section, &details), 0);
    EXPECT_EQ(HostApi_AddLibPartSection(&header, section, nullptr), 0);
    BMKillHandle(&section);

    ASSERT_EQ(HostApi_SaveLibPart(&record), 0);
    EXPECT_EQ(record.index, 0);  // the folder is no active library
    ASSERT_NE(record.location, &folder_);
    delete record.location;
    EXPECT_EQ(HostApi_SaveLibPart(&record), ErrWrongState);
    EXPECT_EQ(LeakedHandles(), 0);

    // Overwriting needs the overwrite mode.
    LibPartRecord again = Record(u"Part");
    EXPECT_EQ(HostApi_BeginLibPart(&again), ErrExists);
    HostApi_SetOverwriteLibParts(true);
    EXPECT_EQ(HostApi_BeginLibPart(&again), 0);
}

TEST_F(LibPartStoreTest, ParameterRecordsAreChecked)
{
    LibPartRecord record = Record(u"Part");
    ASSERT_EQ(HostApi_BeginLibPart(&record), 0);
    struct Case {
        const char* what;
        void (*spoil)(ParamRecord&, GSHandle& table);
    };
    const Case cases[] = {
        {"unterminated name", [](ParamRecord& r, GSHandle&) { std::memset(r.name, 'n', sizeof r.name); }},
        {"empty name", [](ParamRecord& r, GSHandle&) { r.name[0] = 0; }},
        {"unterminated description",
         [](ParamRecord& r, GSHandle&) { std::fill(std::begin(r.description), std::end(r.description), u'd'); }},
        {"unterminated text",
         [](ParamRecord& r, GSHandle&) { std::fill(std::begin(r.value.text), std::end(r.value.text), u't'); }},
        {"unknown type", [](ParamRecord& r, GSHandle&) { r.typeCode = 2; }},
        {"unknown flag", [](ParamRecord& r, GSHandle&) { r.flags = 0x04; }},
        {"rows without table", [](ParamRecord& r, GSHandle&) { r.rows = 1; }},
        {"table of the wrong size",
         [](ParamRecord& r, GSHandle& table) {
             r.tableFlag = ParamIsTable;
             r.rows = 2;
             r.columns = 1;
             table = BMAllocateHandle(4, ALLOCATE_CLEAR, 0);  // "a\0" only
             (*table)[0] = 'a';
             r.value.table = table;
         }},
        {"table bytes past its cells",
         [](ParamRecord& r, GSHandle& table) {
             r.tableFlag = ParamIsTable;
             r.rows = 1;
             r.columns = 1;
             table = BMAllocateHandle(6, ALLOCATE_CLEAR, 0);
             r.value.table = table;
         }},
    };
    for (const auto& c : cases) {
        GSHandle params = BMAllocateHandle(sizeof(ParamRecord), ALLOCATE_CLEAR, 0);
        ParamRecord r;
        ZeroRecord(r);
        r.typeCode = ParamText;
        std::strcpy(r.name, "p");
        GSHandle table = nullptr;
        c.spoil(r, table);
        std::memcpy(*params, &r, sizeof r);
        double a = 1;
        double b = 1;
        GSHandle section = nullptr;
        EXPECT_EQ(HostApi_BuildParamSection(&record, params, &a, &b, 0, &section, 0), ErrBadRecord) << c.what;
        EXPECT_EQ(section, nullptr);
        BMKillHandle(&table);
        BMKillHandle(&params);
    }
    // A handle that is no whole number of records.
    GSHandle params = BMAllocateHandle(sizeof(ParamRecord) + 1, ALLOCATE_CLEAR, 0);
    double a = 1;
    GSHandle section = nullptr;
    EXPECT_EQ(HostApi_BuildParamSection(&record, params, &a, &a, 0, &section, 0), ErrBadRecord);
    BMKillHandle(&params);
}

TEST_F(LibPartStoreTest, SavedPartsAreReadBackAtStartAndFoundByName)
{
    Store().SetActiveLibraries({LibraryFolder().string()});
    const std::int32_t first = SavePart(u"Door10", "line 1\nend\n");
    const std::int32_t second = SavePart(u"Door \u00e9 \"11\"");
    EXPECT_GE(first, 1);
    EXPECT_GT(second, first);
    WriteFile(LibraryFolder() / "broken.lpart", "tarvel-libpart 1\nname \"x\n");

    Start({LibraryFolder().string()});
    ASSERT_TRUE(Store().FindByName(u"Door10"));
    EXPECT_EQ(Store().FindByName(u"Door10")->Script(Sect3DScript), "line 1\nend\n");
    ASSERT_TRUE(Store().FindByName(u"Door \u00e9 \"11\""));
    EXPECT_EQ(Store().UnreadableFiles().size(), 1u);

    LibPartRecord record;
    ZeroRecord(record);
    std::u16string name = u"Door10";
    std::copy(name.begin(), name.end(), record.name);
    EXPECT_EQ(HostApi_FindLibPart(&record, false, false), 0);
    EXPECT_GE(record.index, 1);
    ASSERT_NE(record.location, nullptr);  // the host's own, for the caller to delete
    // A record still holding a location is refused rather than overwritten.
    EXPECT_EQ(HostApi_FindLibPart(&record, false, false), ErrBadRecord);
    delete record.location;
    record.location = nullptr;
    // The search by name has both flags false; any other is refused and answers nothing.
    for (const auto& [placeable, active] : {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
        record.index = 0;
        EXPECT_EQ(HostApi_FindLibPart(&record, placeable, active), ErrBadParameter) << placeable << active;
        EXPECT_EQ(record.index, 0);
        EXPECT_EQ(record.location, nullptr);
    }

    // Without its folder among the active libraries the part is not found.
    Start();
    EXPECT_FALSE(Store().FindByName(u"Door10"));
}

TEST(LibPartFileTest, TheFormatRoundTripsEveryTextAndNumber)
{
    standin::LibPart part;
    part.typeCode = 13;
    part.name = u"Sky \"light\" \\ \u20ac \U0001F600 \x01 end";
    part.name.push_back(0xD800);  // a lone surrogate survives too
    part.parentId = "{0E0831DD-3766-4A60-BBE7-19A9537F76E3}";
    part.hasParameters = true;
    part.a = 0.1 + 0.2;
    part.b = -1e-300;
    standin::PartParameter number;
    number.typeCode = ParamLength;
    number.name = "w\xc3\xa9";
    number.number = 1.0 / 3.0;
    standin::PartParameter table;
    table.tableFlag = ParamIsTable;
    table.flags = ParamFlagB;
    table.name = "tv_config_params";
    table.description = u"rows\nand tabs\t";
    table.rows = 2;
    table.columns = 2;
    table.cells = {u"Width", u"900", u"", u"a \"b\""};
    part.parameters = {number, table};
    part.sections.push_back({Sect3DScript, "script\nwith end\nend\n"});
    part.sections.push_back({SectPreviewPicture, std::string("image/png\0\x00\xff\x10", 13)});
    part.sections.push_back({SectUIScript, ""});

    const std::string text = standin::WriteLibPartFile(part);
    EXPECT_NE(text.find("name \"Sky \\\"light\\\" \\\\ \u20ac"), std::string::npos) << text;
    EXPECT_NE(text.find("row \"Width\" \"900\""), std::string::npos) << text;
    standin::LibPart back;
    std::string error;
    ASSERT_TRUE(standin::ReadLibPartFile(text, back, error)) << error;
    EXPECT_EQ(back.name, part.name);
    EXPECT_EQ(back.parentId, part.parentId);
    EXPECT_EQ(back.typeCode, 13);
    EXPECT_EQ(back.a, part.a);
    EXPECT_EQ(back.b, part.b);
    EXPECT_EQ(back.parameters, part.parameters);
    ASSERT_EQ(back.sections.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.sections[i].code, part.sections[i].code);
        EXPECT_EQ(back.sections[i].bytes, part.sections[i].bytes);
    }
    // Cut anywhere, the file is refused.
    for (std::size_t cut : {std::size_t(5), text.size() / 2, text.size() - 2})
        EXPECT_FALSE(standin::ReadLibPartFile(text.substr(0, cut), back, error)) << cut;
}

TEST(LibPartFileTest, FileNamesStayInTheirFolder)
{
    const std::string names[] = {
        standin::LibPartFileName(u"../x"), standin::LibPartFileName(u"a/b\\c"), standin::LibPartFileName(u".."),
        standin::LibPartFileName(u""), standin::LibPartFileName(std::u16string(255, u'\u00e9'))};
    for (const auto& name : names) {
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(name.find('\\'), std::string::npos) << name;
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_LE(name.size(), 255u) << name;
    }
    EXPECT_EQ(standin::LibPartFileName(u"Door10"), "Door10.lpart");
    EXPECT_NE(standin::LibPartFileName(std::u16string(200, u'a') + u"1"),
              standin::LibPartFileName(std::u16string(200, u'a') + u"2"));
}

}  // namespace

namespace {

TEST(LibPartFileTest, TheDocumentedExampleIsASavedPart)
{
    const std::string readme =
        tarvel::testing::ReadFile(boost::filesystem::path(TARVEL_SOURCE_DIR) / "host" / "README.md");
    const std::size_t begin = readme.find("```\ntarvel-libpart 1\n");
    ASSERT_NE(begin, std::string::npos);
    const std::size_t end = readme.find("```", begin + 3);
    standin::LibPart part;
    std::string error;
    ASSERT_TRUE(standin::ReadLibPartFile(readme.substr(begin + 4, end - begin - 4), part, error)) << error;
    EXPECT_EQ(part.parameters.size(), 3u);
    EXPECT_EQ(part.Script(HostInterface::Sect3DScript), "block 1, 1, 1");
    EXPECT_EQ(part.Section(HostInterface::SectPreviewPicture)->bytes, std::string("image/png\0\x89PN", 13));
}

}  // namespace
