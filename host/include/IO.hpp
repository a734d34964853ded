// Stand-in for the host's input-output library: locations and the file system's
// special locations.
#pragma once

#include "GSRoot.hpp"

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
