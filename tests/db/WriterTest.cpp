#include "DbSupport.hpp"

#include "db/EmitText.hpp"
#include "db/GdlWriter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using tarvel::GdlWriter;

// The emission's own rounding of numbers gives the framework's number text exactly:
// values of every magnitude, lengths of a file divided by its unit, and the values
// that lie on or next to a rounding tie or a change of exponent.
TEST(GdlWriterTest, NumberTextIsTheFrameworksNumberText)
{
    std::mt19937_64 rng(11);
    std::vector<double> values = {0.5, 0.0001, 0.00009999999, 999999.5, 999999.4, 99999.95, 9.999995, 0.1, 0.01,
                                  0.001, 123456.5, 0.1234565, 1e-5, 1e6, 1e300, -0.0, 0.0,
                                  std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::denorm_min()};
    std::uniform_real_distribution<double> exponent(-8, 8);
    std::uniform_int_distribution<int> tenths(-20000000, 20000000);
    std::uniform_int_distribution<int> divisor(0, 3);
    const double divisors[] = {1, 10, 100, 1000};
    for (int i = 0; i < 400000; ++i) {
        values.push_back((i % 2 == 0 ? 1 : -1) * std::pow(10.0, exponent(rng)));
        values.push_back(tenths(rng) / 10.0 / divisors[divisor(rng)]);
        double v = values.back() / 7;
        values.push_back(v);
        // the neighbours of a value that rounds to a tie
        const double tie = (tenths(rng) + 0.5) / divisors[divisor(rng)] / 100;
        values.push_back(std::nextafter(tie, 0.0));
        values.push_back(tie);
        values.push_back(std::nextafter(tie, 1e9));
    }
    for (const double v : values) {
        char text[32];
        const std::size_t length = tarvel::emit::NumberText(v, text);
        ASSERT_EQ(std::string(text, length), ostrel::ToUtf8Number(v)) << std::hexfloat << v;
    }
}

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

TEST(GdlWriterTest, NameTextEncodesWhatBreaksANameOrALineAndItsOwnSign)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"P1", L"P1"},
        {L"", L""},
        {L"a b'c\t", L"a b'c\t"},
        // the escape's own sign and a backslash, so that distinct texts stay distinct
        {L"q%22x", L"q%2522x"},
        {L"Oak\\", L"Oak%5C"},
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

// A line written with the empty line after it meets the text limit as the two
// appends would: the line when it fits, then the error.
TEST(GdlWriterTest, ALineAndAnEmptyLineMeetTheLimitAsTwoAppends)
{
    struct Case {
        std::size_t limit;
        bool fails;
        const char* script;
    };
    for (const auto& c : {Case{4, false, "ab\n\n"}, Case{3, true, "ab\n"}, Case{2, true, ""}}) {
        GdlWriter writer;
        writer.textLimit = c.limit;
        const auto write = [&] { tarvel::emit::ScriptLine(writer, "ab").EndWithEmptyLine(); };
        if (c.fails)
            EXPECT_THROW(write(), tarvel::GdlGenerationException) << c.limit;
        else
            write();
        EXPECT_EQ(writer.GetScript(), c.script) << c.limit;
    }
}

}  // namespace

namespace {

TEST(GdlWriterTest, Utf8OfWideTextKeepsWhatComesBefore)
{
    std::string out = "x";
    tarvel::AppendUtf8Of(out, std::wstring{L'a', 0x00E9, L'b', 0xD83D, 0xDE00});
    EXPECT_EQ(out, "xa\xC3\xA9" "b\xF0\x9F\x98\x80");
}

}  // namespace
