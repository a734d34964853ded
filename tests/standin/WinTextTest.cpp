#include "Win32.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Decode(const std::string& bytes)
{
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), units),
              units);
    return std::u16string(wide.begin(), wide.end());
}

TEST(MultiByteToWideCharTest, DecodesUtf8AndReplacesEachBadByte)
{
    EXPECT_EQ(Decode("T\xc3\xbcr"), u"T\u00fcr");
    EXPECT_EQ(Decode("\xf0\x9f\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Decode("a\xfc\xfd" "b"), u"a\uFFFD\uFFFDb");
    wchar_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, small, 2), 0);  // too small
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0), 0);   // only UTF-8
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);  // with the terminator
}

}  // namespace
