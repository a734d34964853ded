#include "ModelFixture.hpp"
#include "libparts/LibPartSpec.hpp"

#include "TempDir.hpp"
#include "ostrel/Text.hpp"

#include <boost/filesystem/operations.hpp>

namespace {

using namespace HostInterface;
using tarvel::LibPartParam;
using tarvel::LibPartSpec;
using tarvel::testing::ReadFile;
using tarvel::testing::WriteFile;

std::u16string U(const std::wstring& w) { return std::u16string(w.begin(), w.end()); }

TEST(LibPartTypeTest, SubtypeGuidsGiveTheirTypes)
{
    struct Case {
        std::string parentId;
        std::int32_t type;
    };
    const Case cases[] = {
        {"{11E85B84-8DD1-491B-A2FE-337454A91545}", 3},
        {"{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}", 2},
        {"{F6AE9687-2BC7-4D47-88C9-8F793E1DE2D6}", 2},
        {"{6ACDA889-69B2-4EC5-936C-CB1DA7032A92}", 2},
        {"{0E0831DD-3766-4A60-BBE7-19A9537F76E3}", 13},
        {"{A714DB74-67E4-4889-9796-26A6BDFC069B}", 13},
        {"{5921D56A-82F2-4253-BD84-6091E5717DC4}", 13},
        // two GUIDs: the first decides
        {"{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}-{00000000-0000-0000-0000-000000000000}", 2},
        {"{103E8D2C-8230-42E1-9597-46F84CCE28C0}-{00000000-0000-0000-0000-000000000000}", 4},
        {"{4abd0a6e-634b-4931-b3aa-9bee01f35cdf}", 4},  // case-sensitive
        {"{4ABD0A6E-634B-4931-B3AA-9BEE01F35CD", 4},   // shorter than 38
        {"4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}", 4},
        {"", 4},
    };
    for (const auto& c : cases) {
        LibPartSpec spec;
        spec.parentId = c.parentId;
        EXPECT_EQ(spec.GetLibPartType(), c.type) << c.parentId;
    }
}

TEST(LibPartSpecAddersTest, AddersSetKindsAndFlags)
{
    LibPartSpec spec;
    EXPECT_EQ(spec.a, 1.0);
    EXPECT_EQ(spec.b, 1.0);
    spec.AddIntegerParameter("n", L"N", 3);
    spec.AddStringParameter("s", L"S", L"v", false);
    spec.AddStringArrayParameter("t", L"T", {{L"a", L"b"}});
    ASSERT_EQ(spec.parameters.size(), 3u);
    EXPECT_EQ(spec.parameters[0].kind, 0);
    EXPECT_FALSE(spec.parameters[0].flagA);
    EXPECT_TRUE(spec.parameters[0].flagB);
    EXPECT_EQ(spec.parameters[1].kind, 2);
    EXPECT_FALSE(spec.parameters[1].flagB);
    EXPECT_EQ(spec.parameters[2].kind, 2);
    EXPECT_TRUE(spec.parameters[2].flagB);
    EXPECT_TRUE(spec.parameters[2].stringValue.empty());
    spec.SetMasterScript(spec.masterScript);
    EXPECT_TRUE(spec.masterScript.empty());
}

class LibPartSpecTest : public tarvel::testing::ModelFixture {
protected:
    LibPartSpec MakeSpec(const std::wstring& name = L"Part10")
    {
        LibPartSpec spec;
        spec.name = name;
        spec.parentId = "{11E85B84-8DD1-491B-A2FE-337454A91545}";
        spec.location.Set(LibraryText().c_str());
        spec.SetMasterScript("master\n");
        spec.Set2DScript("project2 3, 270, 2\n");
        spec.Set3DScript("block 1, 1, 1\n");
        spec.SetUIScript("UI_DIALOG ''\n");
        return spec;
    }

    boost::filesystem::path Picture(const std::string& name, const std::string& bytes)
    {
        const auto path = Temp().Path() / name;
        WriteFile(path, bytes);
        return path;
    }
};

TEST_F(LibPartSpecTest, SavesEveryParameterKindAndSectionAndActivatesTheFolder)
{
    LibPartSpec spec = MakeSpec();
    spec.a = 0.9;
    spec.b = 2.1;
    spec.AddIntegerParameter("count", L"Count", 7);
    LibPartParam length;
    length.kind = 1;
    length.name = "len";
    length.numericValue = 2.5;
    length.flagA = true;
    spec.parameters.push_back(length);
    spec.AddStringParameter("label", L"Label \u00e9", L"value", false);
    spec.AddStringArrayParameter("grid", L"Grid", {{L"a", L"b"}, {L"c", L"d", L"e"}, {L"f"}});
    spec.AddStringArrayParameter("empty", L"Empty", {});
    LibPartParam title;
    title.kind = 3;
    title.name = "title";
    title.stringValue = L"Heading";
    title.flagA = true;
    title.flagB = true;
    spec.parameters.push_back(title);
    LibPartParam odd;
    odd.kind = 9;  // any other kind is text
    odd.name = "odd";
    odd.stringValue = L"x";
    spec.parameters.push_back(odd);
    spec.SetPreviewPicturePath(Picture("preview.png", std::string("\x89PNG\r\n\0data", 11)).string());
    spec.SetUIPicturePath("x");  // shorter than 2: no picture

    const std::int32_t index = spec.CreateLibraryPart();
    ASSERT_GE(index, 1);
    EXPECT_EQ(LeakedHandles(), 0);
    EXPECT_EQ(Store().ActiveLibraries().size(), 1u);
    EXPECT_EQ(Host().CallCount(Slot::SetLibraryList), 1u);
    EXPECT_FALSE(Store().OverwriteMode());

    const auto part = Store().FindByIndex(index);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->NameUtf8(), "Part10");
    EXPECT_EQ(part->typeCode, 3);
    EXPECT_EQ(part->a, 0.9);
    EXPECT_EQ(part->b, 2.1);
    EXPECT_EQ(part->Script(SectMasterScript), "master\n");
    EXPECT_EQ(part->Script(Sect3DScript), "block 1, 1, 1\n");
    ASSERT_NE(part->Section(SectPreviewPicture), nullptr);
    EXPECT_EQ(part->Section(SectPreviewPicture)->bytes, std::string("image/png\0\x89PNG\r\n\0data", 21));
    EXPECT_EQ(part->Section(SectUIPicture), nullptr);

    struct Expected {
        const char* name;
        std::int32_t type;
        std::int16_t flags;
        std::int32_t rows;
        std::int32_t columns;
    };
    const Expected expected[] = {{"count", 1, 0x80, 0, 0}, {"len", 4, 0x01, 0, 0},    {"label", 12, 0, 0, 0},
                                 {"grid", 12, 0x80, 3, 3}, {"empty", 12, 0x80, 0, 0}, {"title", 15, 0x02, 0, 0},
                                 {"odd", 12, 0, 0, 0}};
    ASSERT_EQ(part->parameters.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& p = part->parameters[i];
        EXPECT_EQ(p.name, expected[i].name);
        EXPECT_EQ(p.typeCode, expected[i].type) << p.name;
        EXPECT_EQ(p.flags, expected[i].flags) << p.name;
        EXPECT_EQ(p.rows, expected[i].rows) << p.name;
        EXPECT_EQ(p.columns, expected[i].columns) << p.name;
    }
    EXPECT_EQ(part->parameters[0].number, 7);
    EXPECT_EQ(part->parameters[1].number, 2.5);
    EXPECT_EQ(part->parameters[2].description, u"Label \u00e9");
    EXPECT_EQ(part->parameters[2].text, u"value");
    using Rows = std::vector<std::vector<std::u16string>>;
    EXPECT_EQ(part->parameters[3].Rows(), (Rows{{u"a", u"b", u""}, {u"c", u"d", u"e"}, {u"f", u"", u""}}));
    EXPECT_FALSE(part->parameters[4].IsTable());
    EXPECT_EQ(part->parameters[4].text, u"");
    EXPECT_EQ(part->parameters[5].text, u"Heading");

    // The saved file reads back to the same part.
    standin::LibPart reread;
    std::string error;
    ASSERT_TRUE(standin::ReadLibPartFile(ReadFile(part->file), reread, error)) << error;
    EXPECT_EQ(reread.parameters, part->parameters);
    EXPECT_EQ(reread.name, part->name);
    EXPECT_EQ(reread.parentId, part->parentId);
    EXPECT_EQ(reread.Script(Sect3DScript), part->Script(Sect3DScript));
    EXPECT_EQ(reread.Section(SectPreviewPicture)->bytes, part->Section(SectPreviewPicture)->bytes);
}

TEST_F(LibPartSpecTest, NoParametersStillGiveAParameterSectionAndEmptyScriptsTheirSections)
{
    LibPartSpec spec = MakeSpec();
    spec.SetMasterScript("");
    spec.Set2DScript("");
    spec.SetUIPicturePath((Temp().Path() / "missing.png").string());
    ASSERT_GE(spec.CreateLibraryPart(), 1);
    const auto part = Store().FindByName(std::string("Part10"));
    ASSERT_TRUE(part);
    EXPECT_TRUE(part->hasParameters);
    EXPECT_TRUE(part->parameters.empty());
    ASSERT_NE(part->Section(SectMasterScript), nullptr);
    EXPECT_EQ(part->Section(SectMasterScript)->bytes, "");
    ASSERT_NE(part->Section(Sect2DScript), nullptr);
    EXPECT_EQ(part->Section(SectUIPicture), nullptr);
}

TEST_F(LibPartSpecTest, AnActiveFolderKeepsTheListAndTheSavedIndex)
{
    ASSERT_EQ(Store().SetActiveLibraries({LibraryText()}), 0);
    LibPartSpec spec = MakeSpec();
    const std::int32_t index = spec.CreateLibraryPart();
    ASSERT_GE(index, 1);
    EXPECT_EQ(Host().CallCount(Slot::SetLibraryList), 0u);
    EXPECT_EQ(Host().CallCount(Slot::FindLibPart), 0u);
    EXPECT_EQ(Store().FindByName(std::string("Part10"))->index, index);
    // Saving again overwrites the same part under its index.
    LibPartSpec again = MakeSpec();
    again.Set3DScript("sphere 1\n");
    EXPECT_EQ(again.CreateLibraryPart(), index);
    EXPECT_EQ(Store().FindByIndex(index)->Script(Sect3DScript), "sphere 1\n");
}

TEST_F(LibPartSpecTest, FailuresEndInTheirResults)
{
    struct Case {
        const char* what;
        Slot slot;
        int skip;
        bool saved;
        bool pictureUnreadable;
    };
    const Case cases[] = {
        {"begin", Slot::BeginLibPart, 0, false, false},
        {"parameter section", Slot::BuildParamSection, 0, true, false},
        {"details", Slot::SetParamSectionDetails, 0, true, false},
        {"adding the parameters", Slot::AddLibPartSection, 0, true, false},
        {"2D script", Slot::BeginLibPartSection, 1, true, false},
        {"writing the UI script", Slot::WriteLibPartSection, 3, true, false},
        {"ending the 3D script", Slot::EndLibPartSection, 2, true, false},
        {"adding the preview", Slot::AddLibPartSection, 1, true, false},
        {"unreadable preview", Slot::Report, 0, true, true},
        {"save", Slot::SaveLibPart, 0, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Start();
        Host().FailCall(c.slot, HostInterface::ErrGeneral, c.skip);
        if (c.pictureUnreadable)
            standin::base::FailFileOpen(1);
        LibPartSpec spec = MakeSpec();
        spec.AddStringArrayParameter("tv_config_params", L"tv_config_params", {{L"W", L"1"}});
        spec.SetPreviewPicturePath(Picture("p.png", "png").string());
        EXPECT_EQ(spec.CreateLibraryPart(), 0);
        // Only a refused save leaves the part open in the host.
        EXPECT_EQ(Store().PartOpen(), c.slot == Slot::SaveLibPart);
        EXPECT_EQ(Store().Parts().size(), c.saved ? 1u : 0u);
        EXPECT_EQ(Host().CallCount(Slot::SetLibraryList), 0u);
        EXPECT_EQ(LeakedHandles(), 0);
        if (c.saved && c.slot == Slot::BeginLibPartSection) {
            const auto part = Store().Parts().front();
            EXPECT_NE(part.Section(SectMasterScript), nullptr);
            EXPECT_EQ(part.Section(Sect2DScript), nullptr);
            EXPECT_EQ(part.Section(Sect3DScript), nullptr);
        }
        boost::filesystem::remove_all(LibraryFolder());
        boost::filesystem::create_directories(LibraryFolder());
    }
}

TEST_F(LibPartSpecTest, LibraryListFailuresLeaveTheSavedIndex)
{
    // Not active yet: the save gives 0 and the list cannot be changed.
    Host().FailCall(Slot::GetLibraryList, HostInterface::ErrGeneral);
    LibPartSpec spec = MakeSpec();
    EXPECT_EQ(spec.CreateLibraryPart(), 0);
    EXPECT_EQ(Store().Parts().size(), 1u);

    Host().FailCall(Slot::SetLibraryList, HostInterface::ErrGeneral);
    EXPECT_EQ(spec.CreateLibraryPart(), 0);
    EXPECT_EQ(Host().CallCount(Slot::FindLibPart), 0u);

    // The search after the list change finds nothing.
    Host().FailCall(Slot::FindLibPart, HostInterface::ErrGeneral);
    EXPECT_EQ(spec.CreateLibraryPart(), 0);
    EXPECT_EQ(Store().ActiveLibraries().size(), 1u);
}

TEST_F(LibPartSpecTest, TextsLongerThanTheRecordFieldsAreRefusedOrCut)
{
    LibPartSpec longName = MakeSpec(std::wstring(256, L'n'));
    EXPECT_EQ(longName.CreateLibraryPart(), 0);
    LibPartSpec longParent = MakeSpec();
    longParent.parentId = std::string(128, 'p');
    EXPECT_EQ(longParent.CreateLibraryPart(), 0);
    LibPartSpec noName = MakeSpec(L"");
    EXPECT_EQ(noName.CreateLibraryPart(), 0);
    EXPECT_EQ(Host().CallCount(Slot::BeginLibPart), 0u);

    LibPartSpec spec = MakeSpec(std::wstring(255, L'n'));
    spec.parentId = std::string(127, 'p');
    // A description whose 255th unit starts a surrogate pair loses the whole pair.
    std::wstring description(254, L'd');
    description += L"\xD83D\xDE00";
    spec.AddStringParameter("desc", description, std::wstring(300, L'v'), false);
    spec.AddStringParameter("a_parameter_name_longer_than_31_bytes", L"", L"", false);
    ASSERT_GE(spec.CreateLibraryPart(), 1);
    const auto part = Store().FindByName(U(std::wstring(255, L'n')));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->parentId, std::string(127, 'p'));
    EXPECT_EQ(part->parameters[0].description, U(std::wstring(254, L'd')));
    EXPECT_EQ(part->parameters[0].text, U(std::wstring(255, L'v')));
    EXPECT_EQ(part->parameters[1].name, "a_parameter_name_longer_than_31");
}

TEST_F(LibPartSpecTest, ANameNeverSavesOutsideItsFolder)
{
    for (const std::wstring name : {L"../../escape", L"a/b\\c", L"..", L".hidden", L"con:*?"}) {
        LibPartSpec spec = MakeSpec(name);
        ASSERT_GE(spec.CreateLibraryPart(), 1) << ostrel::WStringToUtf8(name);
        const auto part = Store().FindByName(U(name));
        ASSERT_TRUE(part);
        EXPECT_EQ(boost::filesystem::path(part->file).parent_path(), LibraryFolder());
    }
    std::size_t files = 0;
    for (boost::filesystem::directory_iterator it(LibraryFolder()), end; it != end; ++it)
        ++files;
    EXPECT_EQ(files, 5u);
    EXPECT_FALSE(boost::filesystem::exists(SpecialFolder() / "Tarvel" / "daVED" / "escape.lpart"));
}

}  // namespace

namespace {

class LibPartMemoryTest : public tarvel::testing::ModelFixture {};

TEST_F(LibPartMemoryTest, AParameterListThatCannotBeAllocatedIsAFailedSection)
{
    tarvel::LibPartSpec spec;
    spec.name = L"NoMemory";
    spec.location.Set(LibraryText().c_str());
    spec.AddStringParameter("tv_base_url", L"tv_base_url", L"u/", true);
    spec.AddStringArrayParameter("tv_config_params", L"tv_config_params", {{L"a", L"b"}});
    for (int skip : {0, 1}) {  // the list, then its text table
        standin::base::FailAllocation(skip);
        EXPECT_EQ(spec.CreateLibraryPart(), 0) << skip;
        EXPECT_EQ(Host().CallCount(HostInterface::Slot::BuildParamSection), 0u);
        EXPECT_EQ(Store().Parts().size(), 1u);  // saved all the same, and closed
        EXPECT_FALSE(Store().PartOpen());
        EXPECT_EQ(LeakedHandles(), 0);
    }
}

}  // namespace
