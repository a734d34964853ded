// The system's own refusals of ShellExecuteW: a link nothing handles, a missing file.
#include "TempDir.hpp"
#include "Win32.hpp"
#include "standin/Win.hpp"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <cstdint>
#include <fstream>
#include <string>

namespace {

std::intptr_t Open(const std::string& target)
{
    const std::wstring wide(target.begin(), target.end());
    return reinterpret_cast<std::intptr_t>(ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, 1));
}

TEST(ShellExecuteTest, OnlyKnownLinksAndExistingFilesReachTheSetResult)
{
    tarvel::testing::TempDir temp;
    const std::string file = (temp.Path() / "setup.exe").string();
    std::ofstream(file) << "MZ";
    struct Case {
        std::string target;
        std::intptr_t answer;
    };
    const Case cases[] = {
        {"https://example.com/", 42}, {"HTTP://example.com/", 42}, {"mailto:a@example.com", 42},
        {"tarvel-help:start", 31},    {"file:///etc/passwd", 31},  {file, 42},
        {file + ".missing", 2},       {"C:\\Windows\\none.exe", 2}, {"", 2},
    };
    standin::win::ClearShellLog();
    for (const Case& c : cases)
        EXPECT_EQ(Open(c.target), c.answer) << c.target;
    // Every request is logged, refused or not.
    EXPECT_EQ(standin::win::ShellLog().size(), std::size(cases));
    standin::win::ClearShellLog();
}

}  // namespace
