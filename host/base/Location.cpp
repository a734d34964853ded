#include "IO.hpp"
#include "standin/Base.hpp"

#include <algorithm>

namespace standin::base {
GSErrCode TakeSpecialLocationFailure();

std::string NormalisePath(const std::string& path)
{
    std::string out;
    for (char c : path) {
        const char d = c == '\\' ? '/' : c;
        if (d == '/' && !out.empty() && out.back() == '/')
            continue;
        out.push_back(d);
    }
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return out;
}
}

namespace IO {
namespace {


bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

const FileSystem fileSystem;

GSErrCode Location::Set(const char* utf8Path)
{
    if (utf8Path == nullptr || *utf8Path == '\0') {
        path_.clear();
        status_ = ErrBadLocation;
        return status_;
    }
    path_ = utf8Path;
    status_ = 0;
    return 0;
}

void Location::Clear()
{
    path_.clear();
    status_ = 0;
}

GSErrCode Location::AppendToLocal(const char* name)
{
    if (name == nullptr || *name == '\0')
        return ErrBadLocation;
    if (!path_.empty() && !IsSeparator(path_.back()))
        path_.push_back('/');
    path_ += name;
    return 0;
}

GSErrCode Location::DeleteLastLocalName()
{
    std::string trimmed = path_;
    while (trimmed.size() > 1 && IsSeparator(trimmed.back()))
        trimmed.pop_back();
    const auto pos = trimmed.find_last_of("/\\");
    // A root has no last name to remove.
    if (pos == std::string::npos || pos + 1 == trimmed.size())
        return ErrBadLocation;
    path_ = trimmed.substr(0, pos == 0 ? 1 : pos);
    return 0;
}

GSErrCode Location::GetLastLocalName(std::string* name) const
{
    std::string trimmed = path_;
    while (trimmed.size() > 1 && IsSeparator(trimmed.back()))
        trimmed.pop_back();
    const auto pos = trimmed.find_last_of("/\\");
    *name = pos == std::string::npos ? trimmed : trimmed.substr(pos + 1);
    return 0;
}

GSErrCode Location::ToPath(GS::UniString* result) const
{
    if (result == nullptr)
        return ErrBadLocation;
    if (status_ != 0)
        return status_;
    *result = GS::UniString(path_.c_str(), GS::CC_UTF8);
    return 0;
}

std::string Location::FileSystemPath() const
{
    std::string out = path_;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

bool operator==(const Location& a, const Location& b) { return standin::base::NormalisePath(a.path_) == standin::base::NormalisePath(b.path_); }

GSErrCode FileSystem::GetSpecialLocation(SpecialLocation which, Location* result) const
{
    if (const GSErrCode injected = standin::base::TakeSpecialLocationFailure(); injected != 0)
        return injected;
    if (result == nullptr)
        return ErrBadLocation;
    const auto path = standin::base::SpecialLocation(which);
    if (!path)
        return ErrBadLocation;
    return result->Set(path->c_str());
}

}  // namespace IO
