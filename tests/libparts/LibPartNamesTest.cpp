#include "ModelFixture.hpp"
#include "libparts/LibPartNames.hpp"
#include "libparts/LibPartSpec.hpp"
#include "Main/Globals.hpp"

#include <boost/filesystem/operations.hpp>

namespace {

TEST(LibPartNamesTest, SanitizingReplacesTheNineCharactersAndControlCharactersOnly)
{
    std::wstring name = L"A/B:C*\"<>\\?| \u00e9t\u00e9 .x";
    tarvel::SanitizeFileName(name);
    EXPECT_EQ(name, L"A_B_C_______ \u00e9t\u00e9 .x");
    name = std::wstring{L'a', 0x00, L'b', 0x1F, 0x7F, 0x85, 0x9F, 0xA0, L'\t'};
    tarvel::SanitizeFileName(name);
    EXPECT_EQ(name, (std::wstring{L'a', L'_', L'b', L'_', L'_', L'_', L'_', 0xA0, L'_'}));
}

TEST(LibPartNamesTest, CleaningRemovesTheBlanksAroundThenSanitizes)
{
    struct Case {
        std::wstring given;
        std::wstring name;
    };
    const Case cases[] = {
        {L" Door10 ", L"Door10"},
        {L"\t\u3000Door 10\u00a0\n", L"Door 10"},
        {L"Door\t10\r\n", L"Door_10"},
        {L"Door\u0001:10", L"Door__10"},
        {L" \u2028 ", L""},
        {L"", L""},
        {L"\u00c9t\u00e9 .x", L"\u00c9t\u00e9 .x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tarvel::CleanLibPartName(c.given), c.name) << testing::PrintToString(c.given);
}

TEST(LibPartNamesTest, CaseIsFoldedForEveryCharacter)
{
    EXPECT_EQ(tarvel::FoldCase(L"classic door10"), tarvel::FoldCase(L"Classic Door10"));
    EXPECT_EQ(tarvel::FoldCase(L"T\u00fcr \u03b1\u0451"), tarvel::FoldCase(L"T\u00dcR \u0391\u0401"));
    EXPECT_NE(tarvel::FoldCase(L"Door10"), tarvel::FoldCase(L"Door1O"));
    // A character beyond U+FFFF maps as one; a lone surrogate stays as it is.
    EXPECT_EQ(tarvel::FoldCase(L"\xD801\xDC28"), std::u32string{0x10400});
    EXPECT_EQ(tarvel::FoldCase(std::wstring{L'a', 0xD800}), (std::u32string{U'A', 0xD800}));
}

TEST(LibPartNamesTest, PreviewPathCountsOnlyADotInTheFileName)
{
    struct Case {
        std::string cad;
        std::string preview;
    };
    const Case cases[] = {
        {"/tmp/Temp/model.final.xml", "/tmp/Temp/model.final.png"},
        {"C:\\data\\Temp\\geom.xml", "C:\\data\\Temp\\geom.png"},
        {"/tmp/Temp/model", ""},
        {"/tmp/v1.2/model", ""},
        {"C:\\v1.2\\Temp\\model", ""},
        {"model.zip.xml", "model.zip.png"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tarvel::PreviewPathFor(c.cad), c.preview) << c.cad;
}

class LibPartNameSearchTest : public tarvel::testing::ModelFixture {
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        tarvel::InitializeAddOnGlobals();
    }
    void Save(const std::wstring& name)
    {
        tarvel::LibPartSpec spec;
        spec.name = name;
        spec.location.Set(LibraryText().c_str());
        ASSERT_GE(spec.CreateLibraryPart(), 1);
    }
};

TEST_F(LibPartNameSearchTest, CountsPastTheNamesTakenIncludingPartsSavedEarlier)
{
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Tarvel_LibPart"), L"Tarvel_LibPart10");
    Save(L"Tarvel_LibPart10");
    Save(L"Tarvel_LibPart11");
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Tarvel_LibPart"), L"Tarvel_LibPart12");
    // A host started later reads the saved parts back and still counts past them.
    Start({LibraryText()});
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Tarvel_LibPart"), L"Tarvel_LibPart12");
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Other"), L"Other10");
}

TEST_F(LibPartNameSearchTest, ALongBaseIsCutAtACharacterSoTheProposalFitsTheNameEdit)
{
    const std::wstring emoji = L"\xD83D\xDE00";  // one character, two units
    struct Case {
        std::wstring base;
        std::wstring proposal;
    };
    const Case cases[] = {
        {std::wstring(97, L'a'), std::wstring(97, L'a') + L"10"},
        {std::wstring(120, L'b'), std::wstring(97, L'b') + L"10"},
        // The 97th unit would be the first half of the character: the whole character goes.
        {std::wstring(96, L'c') + emoji + L"d", std::wstring(96, L'c') + L"10"},
        {std::wstring(95, L'e') + emoji + L"f", std::wstring(95, L'e') + emoji + L"10"},
    };
    for (const Case& c : cases) {
        const std::wstring proposal = tarvel::ProposeUniqueName(c.base);
        EXPECT_EQ(proposal, c.proposal) << c.base.size();
        EXPECT_LE(proposal.size(), tarvel::kMaxLibPartNameUnits);
    }
    // The next counter is cut from the same base.
    Save(std::wstring(97, L'a') + L"10");
    EXPECT_EQ(tarvel::ProposeUniqueName(std::wstring(120, L'a')), std::wstring(97, L'a') + L"11");
}

TEST_F(LibPartNameSearchTest, TheSearchEndsWhenEveryNameIsTaken)
{
    Store().SetAllNamesTaken(true);
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Full"), L"");
    EXPECT_EQ(Host().CallCount(HostInterface::Slot::FindLibPart), 65526u);
}

// A part whose file stays in the product library folder after the folder left the
// active libraries, or whose name differs only in case, takes its name.
TEST_F(LibPartNameSearchTest, AFileInTheLibraryFolderTakesItsNameInAnyCase)
{
    Save(L"Tarvel_LibPart10");
    Save(L"50% Door");
    Save(L".hidden");
    ASSERT_EQ(Store().SetActiveLibraries({}), 0);
    ASSERT_FALSE(Store().FindByName(std::u16string(u"Tarvel_LibPart10")).has_value());

    struct Case {
        std::wstring name;
        bool free;
    };
    const Case cases[] = {
        {L"Tarvel_LibPart10", false}, {L"tarvel_libpart10", false}, {L"TARVEL_LIBPART10", false},
        {L"50% Door", false},         {L"50% DOOR", false},         {L".hidden", false},
        {L"Tarvel_LibPart11", true},  {L"Tarvel_LibPart1", true},   {L"50%25 Door2", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tarvel::IsLibPartNameFree(c.name), c.free) << testing::PrintToString(c.name);
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Tarvel_LibPart"), L"Tarvel_LibPart11");
    EXPECT_EQ(tarvel::ProposeUniqueName(L"TARVEL_libpart"), L"TARVEL_libpart11");

    // Any file counts, whatever its extension; a folder does not.
    tarvel::testing::WriteFile(LibraryFolder() / "Notes.txt", "x");
    boost::filesystem::create_directories(LibraryFolder() / "Sub");
    EXPECT_FALSE(tarvel::IsLibPartNameFree(L"notes"));
    EXPECT_TRUE(tarvel::IsLibPartNameFree(L"Sub"));
}

TEST_F(LibPartNameSearchTest, AFolderThatCannotBeListedLeavesNoNameFree)
{
    boost::filesystem::remove_all(LibraryFolder());
    EXPECT_TRUE(tarvel::IsLibPartNameFree(L"Door10"));
    // A file where the folder should be: nothing in it can be listed.
    tarvel::testing::WriteFile(LibraryFolder(), "not a folder");
    EXPECT_FALSE(tarvel::IsLibPartNameFree(L"Door10"));
    const std::size_t searches = Host().CallCount(HostInterface::Slot::FindLibPart);
    EXPECT_EQ(tarvel::ProposeUniqueName(L"Door"), L"");
    EXPECT_EQ(Host().CallCount(HostInterface::Slot::FindLibPart), searches);
}

}  // namespace
