#include "ostrel/Exceptions.hpp"
#include "ostrel/Text.hpp"

#include "TempDir.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <utf8.h>

#include <cmath>
#include <limits>

namespace {

using ostrel::FromString;
using ostrel::ToString;
using ostrel::Utf8ToWString;
using ostrel::WStringToUtf8;

std::string Narrow(const std::wstring& wide) { return WStringToUtf8(wide); }
const std::locale& Classic() { return std::locale::classic(); }

struct DoubleCase {
    double value;
    const char* text;
};

TEST(ToStringTest, DoublesFollowSixSignificantDigits)
{
    const DoubleCase cases[] = {
        {0.0, "0"},           {-0.0, "-0"},         {2.0, "2"},
        {0.25, "0.25"},       {1.0 / 3.0, "0.333333"}, {2.0 / 3.0, "0.666667"},
        {123456.0, "123456"}, {1234567.0, "1.23457e+06"}, {1000000.0, "1e+06"},
        {0.0001, "0.0001"},   {0.00012345678, "0.000123457"}, {0.00001, "1e-05"},
        {-1e-10, "-1e-10"},   {1e100, "1e+100"},    {12.3456789, "12.3457"},
        {0.1 + 0.2, "0.3"},   {999999.5, "1e+06"},  {-2.5, "-2.5"},
        {1e-300, "1e-300"},   {5e-324, "4.94066e-324"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Narrow(ToString(c.value, Classic())), c.text) << c.text;
        EXPECT_EQ(ostrel::ToUtf8Number(c.value), c.text) << c.text;
    }
}

TEST(ToStringTest, NonFiniteDoublesHaveFixedTexts)
{
    EXPECT_EQ(Narrow(ToString(std::numeric_limits<double>::infinity(), Classic())), "inf");
    EXPECT_EQ(Narrow(ToString(-std::numeric_limits<double>::infinity(), Classic())), "-inf");
    EXPECT_EQ(Narrow(ToString(std::numeric_limits<double>::quiet_NaN(), Classic())), "nan");
    EXPECT_EQ(Narrow(ToString(-std::numeric_limits<double>::quiet_NaN(), Classic())), "nan");
}

TEST(ToStringTest, ShortsAreDecimalWithoutGrouping)
{
    EXPECT_EQ(Narrow(ToString<short>(-32768, Classic())), "-32768");
    EXPECT_EQ(Narrow(ToString<short>(32767, Classic())), "32767");
    EXPECT_EQ(Narrow(ToString<short>(0, Classic())), "0");
    EXPECT_EQ(Narrow(ToString<unsigned short>(65535, Classic())), "65535");
    EXPECT_EQ(Narrow(ToString<unsigned short>(0, Classic())), "0");
}

TEST(ToStringTest, OtherLocaleGoesThroughTheStream)
{
    // A locale that groups digits shows that the given locale is honoured.
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return '\''; }
        std::string do_grouping() const override { return "\3"; }
        char do_decimal_point() const override { return ','; }
    };
    const std::locale grouped(std::locale::classic(), new Grouping);
    EXPECT_EQ(Narrow(ToString<double>(1234.5, grouped)), "1'234,5");
    EXPECT_EQ(FromString<double>("1,5", grouped), 1.5);
}

TEST(FromStringTest, DoublesReadLikeStreamExtraction)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1,5", 1.0},   {" 2.5", 2.5},  {"2.5mm", 2.5}, {"", 0.0},     {"abc", 0.0},   {"-7.25", -7.25},
        {"+3", 3.0},    {"1e3", 1000.0}, {"1.e2", 100.0}, {".5", 0.5},  {"1e", 0.0},    {"1e+", 0.0},
        {"1.5.3", 1.5}, {"1e5e3", 1e5}, {"-", 0.0},     {".", 0.0},    {"\t\n 4", 4.0}, {"0x1A", 0.0},
        {"1-2", 1.0},   {"12.5 ", 12.5}, {"+-1", 0.0},  {"007", 7.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FromString<double>(c.text, Classic()), c.value) << '"' << c.text << '"';
    EXPECT_EQ(FromString<double>("1e999", Classic()), std::numeric_limits<double>::max());
    EXPECT_TRUE(std::signbit(FromString<double>("-0", Classic())));
}

TEST(FromStringTest, IntegersReadLikeStreamExtraction)
{
    EXPECT_EQ(FromString<int>("12abc", Classic()), 12);
    EXPECT_EQ(FromString<int>("-7", Classic()), -7);
    EXPECT_EQ(FromString<int>("abc", Classic()), 0);
    EXPECT_EQ(FromString<int>("  42", Classic()), 42);
    EXPECT_EQ(FromString<int>("3.9", Classic()), 3);
    EXPECT_EQ(FromString<int>("99999999999", Classic()), std::numeric_limits<int>::max());
    EXPECT_EQ(FromString<int>("-99999999999", Classic()), std::numeric_limits<int>::min());
    EXPECT_EQ(FromString<unsigned short>("255", Classic()), 255);
    EXPECT_EQ(FromString<unsigned short>("70000", Classic()), 65535);
    EXPECT_EQ(FromString<unsigned short>("-1", Classic()), 65535);
    EXPECT_EQ(FromString<unsigned short>("x", Classic()), 0);
}

TEST(Utf8Test, ConvertsBothWays)
{
    EXPECT_EQ(Utf8ToWString("\xC3\xA9"), std::wstring(1, 0x00E9));
    const std::wstring pair = Utf8ToWString("\xF0\x9F\x98\x80");
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0], 0xD83D);
    EXPECT_EQ(pair[1], 0xDE00);
    EXPECT_EQ(WStringToUtf8(pair), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WStringToUtf8(L"plain"), "plain");
    EXPECT_EQ(Utf8ToWString(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Utf8Test, MalformedInputThrowsUtfcppExceptions)
{
    EXPECT_THROW(Utf8ToWString("\xC3"), utf8::not_enough_room);
    EXPECT_THROW(Utf8ToWString("ab\xE2\x82"), utf8::not_enough_room);
    EXPECT_THROW(Utf8ToWString("\xFF"), utf8::invalid_utf8);
    EXPECT_THROW(Utf8ToWString("\xC0\x80"), utf8::invalid_utf8);
    EXPECT_THROW(Utf8ToWString("\xED\xA0\x80"), utf8::invalid_code_point);
    EXPECT_THROW(WStringToUtf8(std::wstring(L"a") + wchar_t(0xD800)), utf8::invalid_utf16);
    EXPECT_THROW(WStringToUtf8(std::wstring(1, wchar_t(0xDC00)) + L"a"), utf8::invalid_utf16);
    EXPECT_THROW(WStringToUtf8(std::wstring(1, wchar_t(0x1F600))), utf8::invalid_utf16);
    // Not runtime errors: the import's handler lets them pass.
    static_assert(!std::is_base_of_v<std::runtime_error, utf8::invalid_utf8>);
    static_assert(std::is_base_of_v<std::exception, utf8::exception>);
}

TEST(ExceptionTest, TextsAreFixed)
{
    EXPECT_STREQ(ostrel::FileNotFoundException("C:/x/geom.xml").what(), "File not found: C:/x/geom.xml");
    const ostrel::ac::interop::GSException error(static_cast<std::int32_t>(0x81060385u));
    EXPECT_STREQ(error.what(), "Error in GS call!");
    EXPECT_EQ(error.Code(), static_cast<std::int32_t>(0x81060385u));
    EXPECT_STREQ(ostrel::OstrelException(std::string("no geom")).what(), "no geom");
    const ostrel::OstrelException& base = error;
    EXPECT_STREQ(base.what(), "Error in GS call!");
}

TEST(PathTest, BackslashesSeparateAndTextRoundTrips)
{
    const auto path = ostrel::WStringToPath(L"/tmp/a\\Tarvel\\daVED\\ArchiCAD");
    EXPECT_EQ(path.string(), "/tmp/a/Tarvel/daVED/ArchiCAD");
    EXPECT_EQ(path.filename().string(), "ArchiCAD");
    const std::wstring wide = Utf8ToWString("/tmp/caf\xC3\xA9/\xF0\x9F\x98\x80.xml");
    EXPECT_EQ(ostrel::PathToWString(ostrel::WStringToPath(wide)), wide);
    EXPECT_EQ(ostrel::Utf8StringToPath("x\\y.txt").string(), "x/y.txt");
    EXPECT_EQ(ostrel::MakePathFromCString("/q/r").string(), "/q/r");
    EXPECT_EQ(ostrel::PathToUtf8String(ostrel::Utf8StringToPath("/caf\xC3\xA9")), "/caf\xC3\xA9");
    EXPECT_THROW(ostrel::Utf8StringToPath("\xFF"), utf8::invalid_utf8);
}

TEST(FileTest, StreamsAndFolders)
{
    tarvel::testing::TempDir temp;
    const auto folder = temp.Path() / "a" / "b";
    EXPECT_TRUE(ostrel::CreateDirectories(folder));
    EXPECT_FALSE(ostrel::CreateDirectories(folder));
    EXPECT_TRUE(boost::filesystem::is_directory(folder));

    const auto file = ostrel::Utf8StringToPath(folder.string() + "\\data\xC3\xA9.bin");
    {
        auto out = ostrel::OpenOutputStream(file);
        ASSERT_TRUE(out.is_open());
        out << std::string("a\r\nb\0c", 6);
    }
    EXPECT_EQ(tarvel::testing::ReadFile(file), std::string("a\r\nb\0c", 6));
    {
        auto out = ostrel::OpenOutputStream(file);
        out << "x";
    }
    auto in = ostrel::OpenInputStream(file);
    ASSERT_TRUE(in.is_open());
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "x");

    auto missing = ostrel::OpenInputStream(temp.Path() / "missing.xml");
    EXPECT_FALSE(missing.is_open());
    EXPECT_TRUE(missing.fail());
    auto blocked = ostrel::OpenOutputStream(temp.Path() / "nofolder" / "x.txt");
    EXPECT_FALSE(blocked.is_open());

    tarvel::testing::WriteFile(temp.Path() / "plain", "f");
    EXPECT_THROW(ostrel::CreateDirectories(temp.Path() / "plain" / "sub"), boost::filesystem::filesystem_error);
}

}  // namespace
