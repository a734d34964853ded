#include "IO.hpp"
#include "standin/Base.hpp"

#include <boost/filesystem/operations.hpp>

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace standin::base {
namespace {

std::atomic<int> fileOpenFailures{0};
std::atomic<bool> foldersNotWriteable{false};

}  // namespace

void FailFileOpen(int times) { fileOpenFailures.store(times); }
void ForceFoldersNotWriteable(bool notWriteable) { foldersNotWriteable.store(notWriteable); }

bool TakeFileOpenFailure()
{
    int pending = fileOpenFailures.load();
    while (pending > 0)
        if (fileOpenFailures.compare_exchange_weak(pending, pending - 1))
            return true;
    return false;
}

bool FoldersForcedNotWriteable() { return foldersNotWriteable.load(); }

}  // namespace standin::base

namespace IO {

namespace fs = boost::filesystem;

File::File(const Location& location, std::int32_t) : path_(location.FileSystemPath())
{
    boost::system::error_code ec;
    if (location.GetStatus() != 0 || location.IsEmpty())
        status_ = ErrBadLocation;
    else if (!fs::is_regular_file(fs::path(path_), ec) || ec)
        status_ = ErrFileNotFound;
}

File::~File() { Close(); }

GSErrCode File::GetDataLength(std::uint64_t* length) const
{
    if (status_ != 0)
        return status_;
    boost::system::error_code ec;
    const auto size = fs::file_size(fs::path(path_), ec);
    if (ec)
        return ErrFileNotFound;
    if (length != nullptr)
        *length = size;
    return 0;
}

GSErrCode File::Open(std::int32_t mode, std::int32_t)
{
    if (status_ != 0)
        return status_;
    if (handle_ != nullptr)
        return ErrFileAccess;
    if (mode != ReadMode || standin::base::TakeFileOpenFailure())
        return ErrFileAccess;
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (file == nullptr)
        return ErrFileAccess;
    handle_ = file;
    return 0;
}

GSErrCode File::ReadBin(char* buffer, std::uint64_t count, std::uint64_t* read)
{
    if (handle_ == nullptr || (buffer == nullptr && count > 0))
        return ErrFileAccess;
    const std::size_t got = count > 0 ? std::fread(buffer, 1, static_cast<std::size_t>(count),
                                                   static_cast<std::FILE*>(handle_))
                                      : 0;
    if (read != nullptr)
        *read = got;
    return got == count ? 0 : ErrFileAccess;
}

GSErrCode File::Close()
{
    if (handle_ == nullptr)
        return 0;
    std::fclose(static_cast<std::FILE*>(handle_));
    handle_ = nullptr;
    return 0;
}

Folder::Folder(const Location& location, std::int32_t) : path_(location.FileSystemPath())
{
    boost::system::error_code ec;
    if (location.GetStatus() != 0 || location.IsEmpty())
        status_ = ErrBadLocation;
    else if (!fs::is_directory(fs::path(path_), ec) || ec)
        status_ = ErrFileNotFound;
}

bool Folder::IsWriteable() const
{
    if (status_ != 0 || standin::base::FoldersForcedNotWriteable())
        return false;
    return ::access(path_.c_str(), W_OK) == 0;
}

}  // namespace IO
