#include "transfer/Zip.hpp"

#include "ostrel/Text.hpp"

#include <unzip.h>
#include <utf8.h>

#include <array>
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

// The current entry's name; false when it cannot be read or is longer than the buffer.
bool CurrentEntryName(unzFile file, std::string& name)
{
    std::array<char, kMaxZipEntryName + 1> buffer{};
    unz_file_info64 info{};
    if (unzGetCurrentFileInfo64(file, &info, buffer.data(), buffer.size(), nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (info.size_filename > kMaxZipEntryName)
        return false;
    name.assign(buffer.data(), info.size_filename);
    return true;
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

bool ExtractZip(const std::wstring& zipPath, const std::wstring& folder, std::string& entryName)
{
    entryName.clear();
    Archive archive{unzOpen64(ostrel::WStringToPath(zipPath).string().c_str())};
    if (archive.file == nullptr)
        return false;

    // Every name is checked before anything is written: a hostile archive leaves nothing.
    std::vector<std::string> names;
    for (int rc = unzGoToFirstFile(archive.file); rc == UNZ_OK; rc = unzGoToNextFile(archive.file)) {
        std::string name;
        if (!CurrentEntryName(archive.file, name) || !IsSafeZipEntryName(name))
            return false;
        names.push_back(std::move(name));
    }
    if (names.empty() || unzGoToFirstFile(archive.file) != UNZ_OK)
        return false;

    std::vector<char> piece(kReadPiece);
    for (std::size_t i = 0;; ++i) {
        std::string name;
        if (!CurrentEntryName(archive.file, name) || i >= names.size() || name != names[i] ||
            unzOpenCurrentFile(archive.file) != UNZ_OK)
            return false;
        const bool isFolder = EndsWith(name, "/") || EndsWith(name, "\\");
        // The name as stored: an entry inside a folder that does not exist is not written.
        std::ofstream out;
        if (!isFolder)
            out = ostrel::OpenOutputStream(ostrel::WStringToPath(folder + ostrel::Utf8ToWString(name)));
        int read = 0;
        while ((read = unzReadCurrentFile(archive.file, piece.data(), static_cast<unsigned>(piece.size()))) > 0)
            if (out.is_open())
                out.write(piece.data(), read);
        const bool written = !out.is_open() || (out.close(), !out.fail());
        if (read < 0 || !written) {
            unzCloseCurrentFile(archive.file);
            return false;
        }
        if (unzCloseCurrentFile(archive.file) != UNZ_OK)
            return false;
        if (i == 0 || EndsWith(name, ".xml"))
            entryName = name;
        if (unzGoToNextFile(archive.file) != UNZ_OK)
            return true;
    }
}

}  // namespace tarvel
