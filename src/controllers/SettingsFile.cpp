#include "controllers/SettingsFile.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <sstream>

namespace tarvel {
namespace {

namespace fs = boost::filesystem;

// A write's temporary file lies beside the file it replaces: its name, then this.
constexpr const char* kTemporaryModel = ".%%%%-%%%%.tmp";
// Longer chains of symbolic links count as a loop.
constexpr int kMaxLinks = 40;

void RemoveQuietly(const fs::path& path)
{
    boost::system::error_code ignored;
    fs::remove(path, ignored);
}

// The file a write replaces: the path itself, or where its chain of symbolic links
// ends (a link to a file not made yet: that file), so that the link stays a link.
// False for a chain that does not end.
bool FollowLinks(fs::path& file)
{
    for (int links = 0; links <= kMaxLinks; ++links) {
        boost::system::error_code error;
        if (fs::symlink_status(file, error).type() != fs::symlink_file)
            return true;
        const fs::path target = fs::read_symlink(file, error);
        if (error)
            return false;
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    return false;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// "<file name>.XXXX-XXXX.tmp" with the hexadecimal digits the model gives.
bool IsTemporaryName(const std::string& name, const std::string& fileName)
{
    const std::string model = fileName + kTemporaryModel;
    if (name.size() != model.size() || name.compare(0, fileName.size(), fileName) != 0)
        return false;
    for (std::size_t i = fileName.size(); i < model.size(); ++i)
        if (model[i] == '%' ? !IsHexDigit(name[i]) : name[i] != model[i])
            return false;
    return true;
}

// The path still names the open file (the same inode).
bool Names(int fd, const fs::path& path)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// A new temporary file beside the target, open for writing and locked until it is
// closed. The lock tells a write under way from one that died: the system releases it
// with the process. -1 when none could be made.
int CreateLockedTemporary(const fs::path& target, fs::path& temporary)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        boost::system::error_code error;
        temporary = fs::unique_path(target.parent_path() / (target.filename().string() + kTemporaryModel), error);
        if (error)
            return -1;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return -1;
        }
        // A start-up's clean-up (of another host process) may have taken the file away
        // before the lock: then another name.
        if (::flock(fd, LOCK_EX) == 0 && Names(fd, temporary))
            return fd;
        if (Names(fd, temporary))
            ::unlink(temporary.c_str());
        ::close(fd);
    }
    return -1;
}

// Writes the bytes and forces them to the disk, so that the rename over the old file
// never leaves an empty or partial one behind after a crash. The file gets the mode
// when one is given.
bool WriteDurably(int fd, const std::string& bytes, std::optional<fs::perms> mode)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    if (mode && ::fchmod(fd, static_cast<mode_t>(*mode & fs::perms_mask)) != 0)
        return false;
    return ::fsync(fd) == 0;
}

// A temporary file of a write that died: no one holds its lock. It is removed.
void RemoveIfAbandoned(const fs::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    // Still the same file: a write that ended meanwhile has renamed it away.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && Names(fd, path))
        ::unlink(path.c_str());
    ::close(fd);
}

}  // namespace

std::wstring SettingsFilePath() { return FullDataPath(settingsFile); }

SettingsLoad LoadSettingsDocument(const std::wstring& path, pugi::xml_document& document)
{
    document.reset();
    const boost::filesystem::path file = ostrel::WStringToPath(path);
    // A folder in the file's place opens as a stream on some systems: it is no file.
    boost::system::error_code error;
    if (!boost::filesystem::is_regular_file(file, error))
        return SettingsLoad::Missing;
    std::ifstream in = ostrel::OpenInputStream(file);
    if (!in.is_open())
        return SettingsLoad::Missing;
    const pugi::xml_parse_result result = document.load(in, pugi::parse_default, pugi::encoding_auto);
    return result ? SettingsLoad::Loaded : SettingsLoad::Damaged;
}

bool RewriteSettings(const std::wstring& path, const std::function<void(pugi::xml_node settings)>& change)
{
    const fs::path file = ostrel::WStringToPath(path);
    const std::string rootName = ostrel::WStringToUtf8(settingsElementName);

    std::lock_guard lock(DataFilesMutex());
    pugi::xml_document document;
    const SettingsLoad load = LoadSettingsDocument(path, document);
    pugi::xml_node root = document.child(rootName.c_str());
    if (!root)
        root = document.append_child(rootName.c_str());
    change(root);

    std::ostringstream text;
    document.save(text, "\t", pugi::format_indent, pugi::encoding_auto);

    if (load == SettingsLoad::Damaged) {
        // The user's file is not lost for what did not parse: it stays beside.
        boost::system::error_code error;
        fs::copy_file(file, ostrel::WStringToPath(path + L".bad"), fs::copy_options::overwrite_existing, error);
        if (error)
            return false;
    }
    // A symbolic link stays one: the file it leads to is replaced.
    fs::path target = file;
    if (!FollowLinks(target))
        return false;
    // The file keeps its mode; a new one gets the default.
    std::optional<fs::perms> mode;
    boost::system::error_code missing;
    if (const fs::file_status status = fs::status(target, missing); fs::is_regular_file(status))
        mode = status.permissions();
    fs::path temporary;
    const int fd = CreateLockedTemporary(target, temporary);
    if (fd < 0)
        return false;
    bool written = WriteDurably(fd, text.str(), mode);
    if (written) {
        // A reader sees the old file or the new one, never a part of either.
        boost::system::error_code error;
        fs::rename(temporary, target, error);
        written = !error;
    }
    if (!written)
        RemoveQuietly(temporary);
    // The lock goes with the close, after the rename (the bytes are on the disk).
    ::close(fd);
    return written;
}

void RemoveStaleSettingsTemporaries(const std::wstring& path)
{
    fs::path file = ostrel::WStringToPath(path);
    if (!FollowLinks(file))
        return;
    const std::string fileName = file.filename().string();
    std::lock_guard lock(DataFilesMutex());
    boost::system::error_code error;
    for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end; it.increment(error)) {
        boost::system::error_code ignored;
        const fs::path& entry = it->path();
        if (IsTemporaryName(entry.filename().string(), fileName) &&
            fs::symlink_status(entry, ignored).type() == fs::regular_file)
            RemoveIfAbandoned(entry);
    }
}

}  // namespace tarvel
