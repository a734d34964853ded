#include "controllers/SettingsFile.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>
#include <optional>
#include <sstream>

namespace tarvel {
namespace {

namespace fs = boost::filesystem;

// A write's temporary file lies beside the file it replaces: its name, then this.
constexpr const char* kTemporaryModel = ".%%%%-%%%%.tmp";
// A temporary file this old belongs to no write under way (a write takes a moment),
// also not to one of another host process on the same data root.
constexpr std::chrono::minutes kStaleAge{10};
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

// Writes the bytes into a new file and forces them to the disk before it is closed,
// so that a rename over the old file never leaves an empty or partial one behind
// after a crash. The file gets the mode when one is given.
bool WriteDurably(const fs::path& path, const std::string& bytes, std::optional<fs::perms> mode)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool good = true;
    for (std::size_t done = 0; good && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            good = false;
    }
    if (good && mode)
        good = ::fchmod(fd, static_cast<mode_t>(*mode & fs::perms_mask)) == 0;
    if (good)
        good = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        good = false;
    return good;
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
    boost::system::error_code error;
    const fs::path temporary = fs::unique_path(target.parent_path() / (target.filename().string() + kTemporaryModel), error);
    if (error)
        return false;
    if (!WriteDurably(temporary, text.str(), mode)) {
        RemoveQuietly(temporary);
        return false;
    }
    // A reader sees the old file or the new one, never a part of either.
    fs::rename(temporary, target, error);
    if (error) {
        RemoveQuietly(temporary);
        return false;
    }
    return true;
}

void RemoveStaleSettingsTemporaries(const std::wstring& path)
{
    fs::path file = ostrel::WStringToPath(path);
    if (!FollowLinks(file))
        return;
    const std::string fileName = file.filename().string();
    const std::time_t before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() - kStaleAge);
    std::lock_guard lock(DataFilesMutex());
    boost::system::error_code error;
    for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end; it.increment(error)) {
        boost::system::error_code ignored;
        const fs::path& entry = it->path();
        if (!IsTemporaryName(entry.filename().string(), fileName) ||
            fs::symlink_status(entry, ignored).type() != fs::regular_file)
            continue;
        const std::time_t written = fs::last_write_time(entry, ignored);
        if (!ignored && written < before)
            RemoveQuietly(entry);
    }
}

}  // namespace tarvel
