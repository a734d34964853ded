#include "controllers/SettingsFile.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"

#include <boost/filesystem/operations.hpp>

#include <mutex>
#include <sstream>

namespace tarvel {
namespace {

void RemoveQuietly(const boost::filesystem::path& path)
{
    boost::system::error_code ignored;
    boost::filesystem::remove(path, ignored);
}

bool WriteWhole(const boost::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out = ostrel::OpenOutputStream(path);
    if (!out.is_open())
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
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
    const boost::filesystem::path file = ostrel::WStringToPath(path);
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
        boost::filesystem::copy_file(file, ostrel::WStringToPath(path + L".bad"),
                                     boost::filesystem::copy_options::overwrite_existing, error);
        if (error)
            return false;
    }
    boost::system::error_code error;
    const boost::filesystem::path temporary =
        boost::filesystem::unique_path(file.parent_path() / (file.filename().string() + ".%%%%-%%%%.tmp"), error);
    if (error)
        return false;
    if (!WriteWhole(temporary, text.str())) {
        RemoveQuietly(temporary);
        return false;
    }
    // A reader sees the old file or the new one, never a part of either.
    boost::filesystem::rename(temporary, file, error);
    if (error) {
        RemoveQuietly(temporary);
        return false;
    }
    return true;
}

}  // namespace tarvel
