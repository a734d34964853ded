#include "TempDir.hpp"
#include "IO.hpp"
#include "standin/Base.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

namespace {

using tarvel::testing::TempDir;
using tarvel::testing::WriteFile;

TEST(FileTest, StatusLengthOpenAndRead)
{
    TempDir temp;
    WriteFile(temp.Path() / "sub" / "a.png", "abcdef");
    // Host notation: backslashes are separators.
    IO::File file(IO::Location(temp.Utf8() + "\\sub\\a.png"), IO::File::Fail);
    ASSERT_EQ(file.GetStatus(), 0);
    std::uint64_t length = 0;
    ASSERT_EQ(file.GetDataLength(&length), 0);
    EXPECT_EQ(length, 6u);
    char buffer[8] = {};
    EXPECT_NE(file.ReadBin(buffer, 6), 0);  // not open yet
    ASSERT_EQ(file.Open(IO::File::ReadMode, IO::File::AccessDeniedReadOnly), 0);
    EXPECT_EQ(file.ReadBin(buffer, 6), 0);
    EXPECT_EQ(std::string(buffer), "abcdef");
    EXPECT_NE(file.ReadBin(buffer, 1), 0);  // past the end
    EXPECT_EQ(file.Close(), 0);

    standin::base::FailFileOpen(1);
    EXPECT_NE(file.Open(IO::File::ReadMode, IO::File::AccessDeniedReadOnly), 0);
    EXPECT_EQ(file.Open(IO::File::ReadMode, IO::File::AccessDeniedReadOnly), 0);

    for (const std::string& path : {temp.Utf8() + "/missing.png", temp.Utf8() + "/sub", std::string()}) {
        IO::File missing{IO::Location(path), IO::File::Fail};
        EXPECT_NE(missing.GetStatus(), 0) << path;
        EXPECT_NE(missing.GetDataLength(&length), 0) << path;
        EXPECT_NE(missing.Open(IO::File::ReadMode), 0) << path;
    }
}

TEST(FileTest, FoldersExistAndCanBeMadeNotWriteable)
{
    TempDir temp;
    IO::Folder folder(IO::Location(temp.Utf8()), IO::Folder::Ignore);
    EXPECT_EQ(folder.GetStatus(), 0);
    EXPECT_TRUE(folder.IsWriteable());
    standin::base::ForceFoldersNotWriteable(true);
    EXPECT_FALSE(folder.IsWriteable());
    standin::base::ForceFoldersNotWriteable(false);
    IO::Folder missing(IO::Location(temp.Utf8() + "\\none"), IO::Folder::Ignore);
    EXPECT_NE(missing.GetStatus(), 0);
    EXPECT_FALSE(missing.IsWriteable());
}

}  // namespace
