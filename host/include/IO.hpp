// Stand-in for the host's input-output library: locations and the file system's
// special locations.
#pragma once

#include "GSRoot.hpp"

#include <cstdint>
#include <string>

namespace IO {

// A malformed path text, or a location the file system cannot give.
constexpr GSErrCode ErrBadLocation = static_cast<GSErrCode>(0x80010001u);

// A place in the file system, kept as UTF-8 path text in the host's notation.
// A backslash is a separator like a slash.
class Location {
public:
    Location() = default;
    explicit Location(const char* utf8Path) { Set(utf8Path); }
    explicit Location(const std::string& utf8Path) { Set(utf8Path.c_str()); }
    virtual ~Location() = default;
    Location(const Location&) = default;
    Location& operator=(const Location&) = default;

    // A null or empty text is malformed: the status becomes non-zero.
    GSErrCode Set(const char* utf8Path);
    void Clear();
    GSErrCode GetStatus() const { return status_; }
    bool IsEmpty() const { return path_.empty(); }

    GSErrCode AppendToLocal(const char* name);
    GSErrCode DeleteLastLocalName();
    GSErrCode GetLastLocalName(std::string* name) const;
    GSErrCode ToPath(GS::UniString* result) const;

    // The path text unchanged, as UTF-8.
    const std::string& PathText() const { return path_; }
    // The path with "/" as the only separator, for the file system.
    std::string FileSystemPath() const;

    // Equal folders compare equal: separators unified, a trailing one ignored.
    friend bool operator==(const Location& a, const Location& b);

private:
    std::string path_;
    GSErrCode status_ = 0;
};

class FileSystem {
public:
    using SpecialLocation = std::int32_t;
    GSErrCode GetSpecialLocation(SpecialLocation which, Location* result) const;
};

extern const FileSystem fileSystem;

}  // namespace IO

namespace IO {

// A file named by a location. Opened lazily: the constructor only looks whether it exists.
class File {
public:
    enum NotFoundMode { Fail = 0, Create = 1 };
    enum OpenMode { ReadMode = 0, WriteMode = 1 };
    enum AccessDeniedMode { AccessDeniedFail = 0, AccessDeniedReadOnly = 2 };

    File(const Location& location, std::int32_t notFoundMode = Fail);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Non-zero when the file is missing or is not a regular file.
    GSErrCode GetStatus() const { return status_; }
    GSErrCode GetDataLength(std::uint64_t* length) const;
    GSErrCode Open(std::int32_t mode, std::int32_t accessDenied = AccessDeniedFail);
    bool IsOpen() const { return handle_ != nullptr; }
    // Reads exactly count bytes; fewer is an error (the count read goes to *read).
    GSErrCode ReadBin(char* buffer, std::uint64_t count, std::uint64_t* read = nullptr);
    GSErrCode Close();

private:
    std::string path_;
    GSErrCode status_ = 0;
    void* handle_ = nullptr;
};

// A folder named by a location. Never created here.
class Folder {
public:
    enum NotFoundMode { Fail = 0, Ignore = 1 };

    Folder(const Location& location, std::int32_t notFoundMode = Fail);

    // Non-zero when the folder does not exist.
    GSErrCode GetStatus() const { return status_; }
    bool IsWriteable() const;

private:
    std::string path_;
    GSErrCode status_ = 0;
};

constexpr GSErrCode ErrFileNotFound = static_cast<GSErrCode>(0x80010002u);
constexpr GSErrCode ErrFileAccess = static_cast<GSErrCode>(0x80010003u);

}  // namespace IO
