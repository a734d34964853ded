#include "ModelFixture.hpp"
#include "libparts/LibPartNames.hpp"
#include "libparts/LibPartSpec.hpp"

namespace {

TEST(LibPartNamesTest, SanitizingReplacesTheNineCharactersOnly)
{
    std::wstring name = L"A/B:C*\"<>\\?| \u00e9t\u00e9 .x";
    tarvel::SanitizeFileName(name);
    EXPECT_EQ(name, L"A_B_C_______ \u00e9t\u00e9 .x");
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

}  // namespace
