#include "transfer/Zip.hpp"

#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"

#include <boost/filesystem/operations.hpp>
#include <unzip.h>
#include <utf8.h>

#include <array>
#include <functional>
#include <vector>

namespace tarvel {
namespace {

constexpr std::size_t kReadPiece = 64 * 1024;

bool EndsWith(const std::string& text, const char* suffix)
{
    const std::string s(suffix);
    return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

struct Archive {
    unzFile file;
    ~Archive()
    {
        if (file != nullptr)
            unzClose(file);
    }
};

// The current entry's name and sizes; false when they cannot be read or the name is
// longer than the buffer.
bool CurrentEntry(unzFile file, std::string& name, unz_file_info64& info)
{
    std::array<char, kMaxZipEntryName + 1> buffer{};
    info = unz_file_info64{};
    if (unzGetCurrentFileInfo64(file, &info, buffer.data(), buffer.size(), nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (info.size_filename > kMaxZipEntryName)
        return false;
    name.assign(buffer.data(), info.size_filename);
    return true;
}

// One entry of the archive as the extraction sees it before writing anything.
struct PlannedEntry {
    std::string name;
    boost::filesystem::path target;  // empty: the entry is skipped
};

// Files this extraction wrote; removed again unless the extraction succeeds, so that
// a refused archive leaves nothing of it behind.
class WrittenFiles {
public:
    ~WrittenFiles()
    {
        if (kept_)
            return;
        for (const auto& file : files_) {
            boost::system::error_code ignored;
            boost::filesystem::remove(file, ignored);
        }
    }
    void Add(const boost::filesystem::path& file) { files_.push_back(file); }
    void Keep() { kept_ = true; }

private:
    std::vector<boost::filesystem::path> files_;
    bool kept_ = false;
};

// Looks at every entry before anything is written: names, the archive's own file,
// the number of entries and the bytes they declare. False refuses the archive.
bool PlanExtraction(unzFile file, const std::wstring& zipPath, const std::wstring& folder, const Deployment& limits,
                    std::vector<PlannedEntry>& plan)
{
    const boost::filesystem::path archivePath = ostrel::WStringToPath(zipPath);
    std::uint64_t declaredBytes = 0;
    int rc = unzGoToFirstFile(file);
    for (; rc == UNZ_OK; rc = unzGoToNextFile(file)) {
        if (plan.size() >= limits.maxZipEntries)
            return false;
        PlannedEntry entry;
        unz_file_info64 info{};
        if (!CurrentEntry(file, entry.name, info))
            return false;
        // An entry without a name has no file to go to; the others still do.
        const bool skipped = entry.name.empty() || EndsWith(entry.name, "/") || EndsWith(entry.name, "\\");
        if (!entry.name.empty() && !IsSafeZipEntryName(entry.name))
            return false;
        if (!skipped) {
            const boost::filesystem::path target = ostrel::WStringToPath(folder + ostrel::Utf8ToWString(entry.name));
            // Writing over the archive while reading it loses the entries after it.
            boost::system::error_code error;
            if (boost::filesystem::equivalent(target, archivePath, error))
                return false;
            declaredBytes += info.uncompressed_size;
            if (declaredBytes > limits.maxZipBytes)
                return false;
            // No folders are made: an entry in a folder that does not exist is left out.
            if (boost::filesystem::is_directory(target.parent_path(), error))
                entry.target = target;
        }
        plan.push_back(std::move(entry));
    }
    return rc == UNZ_END_OF_LIST_OF_FILE;
}

// The current entry into the target; false when it cannot be read whole, fails its
// check, cannot be written or passes the byte limit.
bool WriteEntry(unzFile file, const boost::filesystem::path& target, std::vector<char>& piece,
                std::uint64_t& totalBytes, std::uint64_t maxBytes, WrittenFiles& written,
                const std::function<bool()>& cancelled)
{
    if (unzOpenCurrentFile(file) != UNZ_OK)
        return false;
    std::ofstream out = ostrel::OpenOutputStream(target);
    if (!out.is_open()) {
        unzCloseCurrentFile(file);
        return false;
    }
    written.Add(target);
    int read = 0;
    while ((read = unzReadCurrentFile(file, piece.data(), static_cast<unsigned>(piece.size()))) > 0) {
        totalBytes += static_cast<std::uint64_t>(read);
        if (totalBytes > maxBytes || !out.write(piece.data(), read) || (cancelled && cancelled())) {
            unzCloseCurrentFile(file);
            return false;
        }
    }
    out.close();
    // The entry's check (CRC) is made when it is closed.
    const bool checked = unzCloseCurrentFile(file) == UNZ_OK;
    return read == 0 && !out.fail() && checked;
}

}  // namespace

bool IsSafeZipEntryName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxZipEntryName || !utf8::is_valid(name.begin(), name.end()))
        return false;
    if (name.front() == '/' || name.front() == '\\' || name.find(':') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos)
            end = name.size();
        if (name.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

bool ExtractZip(const std::wstring& zipPath, const std::wstring& folder, std::string& entryName,
                const std::function<bool()>& cancelled)
{
    entryName.clear();
    const Deployment limits = CurrentDeployment();
    Archive archive{unzOpen64(ostrel::WStringToPath(zipPath).string().c_str())};
    if (archive.file == nullptr)
        return false;

    std::vector<PlannedEntry> plan;
    if (!PlanExtraction(archive.file, zipPath, folder, limits, plan))
        return false;

    WrittenFiles written;
    std::vector<char> piece(kReadPiece);
    std::uint64_t totalBytes = 0;
    std::string chosen;
    int rc = unzGoToFirstFile(archive.file);
    for (const PlannedEntry& entry : plan) {
        std::string name;
        unz_file_info64 info{};
        // The directory is read a second time; it must not have changed.
        if (rc != UNZ_OK || !CurrentEntry(archive.file, name, info) || name != entry.name)
            return false;
        if (!entry.target.empty()) {
            if (!WriteEntry(archive.file, entry.target, piece, totalBytes, limits.maxZipBytes, written, cancelled))
                return false;
            // The first written entry, or the last written ".xml" one.
            if (chosen.empty() || EndsWith(name, ".xml"))
                chosen = name;
        }
        rc = unzGoToNextFile(archive.file);
    }
    if (chosen.empty())
        return false;
    written.Keep();
    entryName = chosen;
    return true;
}

}  // namespace tarvel
