#include "DbSupport.hpp"

#include "db/EmitText.hpp"
#include "db/GdlWriter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using tarvel::GdlWriter;

TEST(GdlWriterTest, PutSnapsTinyCoordinates)
{
    struct Case {
        double x, y;
        const char* line;
    };
    const Case cases[] = {
        {0.000001, -0.000001, "    PUT 1e-05, 0, 15"},
        {0.00001, -0.00001, "    PUT 1e-05, -1e-05, 15"},
        {2, -0.0, "    PUT 2, -0, 15"},
        {0, 0, "    PUT 0, 0, 15"},
        {1234567, 0.5, "    PUT 1.23457e+06, 0.5, 15"},
        {-0.0000099, 0.0000099, "    PUT 0, 1e-05, 15"},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.Put(c.x, c.y);
        EXPECT_EQ(writer.GetScript(), std::string(c.line) + "\n") << c.x << ", " << c.y;
    }
}

TEST(GdlWriterTest, LinesAreAppendedWithOneLineFeed)
{
    GdlWriter writer;
    EXPECT_EQ(writer.GetScript(), "");
    writer.AppendLine("");
    EXPECT_EQ(writer.GetScript(), "\n");
    writer.AppendMasterLine("A");
    writer.AppendMasterLine(std::wstring(L"B"));
    EXPECT_EQ(writer.GetMasterScript(), "A\nB\n");
    writer.AppendLine(std::wstring{0x00E9, 0xD83D, 0xDE00});
    EXPECT_EQ(writer.GetScript(), "\n\xC3\xA9\xF0\x9F\x98\x80\n");
}

TEST(GdlWriterTest, GroupNames)
{
    GdlWriter writer;
    EXPECT_THROW(
        {
            try {
                writer.GetFirstGroupName();
            } catch (const std::out_of_range& e) {
                EXPECT_STREQ(e.what(), "invalid vector subscript");
                throw;
            }
        },
        std::out_of_range);
    writer.PushGroupName(L"a");
    writer.PushGroupName(L"b");
    EXPECT_EQ(writer.GetFirstGroupName(), L"a");
    EXPECT_EQ(writer.GetGroupNames(), (std::vector<std::wstring>{L"a", L"b"}));
    writer.SetFirstGroupName(L"c");
    writer.SetFirstGroupName(writer.groupNames.front());
    EXPECT_EQ(writer.GetGroupNames(), (std::vector<std::wstring>{L"c", L"b"}));
    writer.ClearGroupNames();
    EXPECT_TRUE(writer.GetGroupNames().empty());
}

TEST(GdlWriterTest, TransformLineDividesOnlyTheTranslation)
{
    struct Case {
        double u;
        glm::dmat4 m;
        const char* line;
    };
    glm::dmat4 translated(1.0);
    translated[0][3] = 500;  // element (3, 0): attribute M12
    translated[2][3] = 250;  // element (3, 2): attribute M14
    glm::dmat4 numbered(0.0);
    for (int i = 0; i < 16; ++i)
        numbered[i % 4][i / 4] = i;  // attribute M(i) at element (i div 4, i mod 4)
    const Case cases[] = {
        {1, glm::dmat4(1.0), "    XFORM 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0"},
        {1000, translated, "    XFORM 1, 0, 0, 0.5, 0, 1, 0, 0, 0, 0, 1, 0.25"},
        {10, numbered, "    XFORM 0, 4, 8, 1.2, 1, 5, 9, 1.3, 2, 6, 10, 1.4"},
    };
    for (const auto& c : cases) {
        GdlWriter writer;
        writer.unitDivisor = c.u;
        tarvel::emit::AppendTransformLine(writer, c.m);
        EXPECT_EQ(writer.GetScript(), std::string(c.line) + "\n");
    }
}

TEST(GdlWriterTest, NumberWrappersUseTheClassicText)
{
    EXPECT_EQ(tarvel::ToWString(0.1 + 0.2), L"0.3");
    EXPECT_EQ(tarvel::ToWString(-0.0), L"-0");
    EXPECT_EQ(tarvel::ToWString(static_cast<unsigned short>(65535)), L"65535");
    EXPECT_EQ(tarvel::ToWString(static_cast<short>(-32768)), L"-32768");
}

TEST(GdlWriterTest, NameTextEncodesOnlyWhatBreaksANameOrALine)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"P1", L"P1"},
        {L"", L""},
        {L"a b'c%22\t", L"a b'c%22\t"},
        {L"a\"b", L"a%22b"},
        {L"x\r\ny", L"x%0D%0Ay"},
        {std::wstring{0x00E9, L'"'}, std::wstring{0x00E9, L'%', L'2', L'2'}},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(tarvel::GdlNameText(in), out);
}

TEST(GdlWriterTest, TextLimitStopsTheGenerationWithAClearError)
{
    GdlWriter writer;
    writer.textLimit = 10;
    writer.AppendLine("12345");
    writer.AppendMasterLine("123");
    EXPECT_THROW(writer.AppendLine("1"), tarvel::GdlGenerationException);
    EXPECT_EQ(writer.GetScript(), "12345\n");
    EXPECT_EQ(writer.GetMasterScript(), "123\n");
}

}  // namespace
