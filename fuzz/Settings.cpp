// Settings.xml in the data root, read and rewritten through the controllers the
// add-on uses. After each input: a file that did not parse is kept beside as
// Settings.xml.bad with its bytes; what the add-on writes reads back whole, with the
// stored libraries; and nothing but those two files came into being.
#include "FuzzSupport.hpp"

#include "controllers/LibraryController.hpp"
#include "controllers/SettingsController.hpp"
#include "controllers/SettingsFile.hpp"

#include <boost/filesystem.hpp>

#include <cstdio>
#include <fstream>
#include <set>
#include <vector>

namespace fs = boost::filesystem;

namespace {

fs::path DataRoot() { return tarvel::fuzz::StartHostWithDataRoot(); }

void Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    __builtin_trap();
}

std::vector<std::wstring> StoredIds()
{
    std::vector<std::wstring> ids;
    const tarvel::LibraryController stored(false);
    for (const auto& library : stored.Libraries())
        ids.push_back(library->id);
    return ids;
}

tarvel::SettingsLoad Load()
{
    pugi::xml_document document;
    return tarvel::LoadSettingsDocument(tarvel::SettingsFilePath(), document);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DataRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const fs::path file = DataRoot() / "Settings.xml";
    const fs::path bad = DataRoot() / "Settings.xml.bad";
    {
        std::ofstream out(file.string(), std::ios::binary | std::ios::trunc);
        out.write(input.data(), static_cast<std::streamsize>(input.size()));
    }
    const tarvel::SettingsLoad load = Load();

    tarvel::SettingsController settings;
    std::string value;
    settings.GetAttribute(L"AutoUpdateEnabled", value);
    settings.GetAttribute(L"LastUpdateCheck", value);
    const std::vector<std::wstring> stored = StoredIds();

    if (!settings.SetAttribute(L"Update", L"AutoUpdateEnabled", "yes"))
        Fail("the rewrite failed");
    if (load == tarvel::SettingsLoad::Damaged && tarvel::fuzz::ReadWholeFile(bad.string()) != input)
        Fail("the damaged file is not kept as Settings.xml.bad");
    if (load != tarvel::SettingsLoad::Damaged && fs::exists(bad))
        Fail("a file that parsed was moved aside");
    if (Load() != tarvel::SettingsLoad::Loaded)
        Fail("the rewritten file does not parse");
    if (!settings.GetAttribute(L"AutoUpdateEnabled", value) || value != "yes")
        Fail("the written value does not read back");
    if (StoredIds() != stored)
        Fail("the rewrite lost or changed stored libraries");

    // The library list's own rewrite of the file, from what it read.
    tarvel::LibraryController libraries(false);
    if (!libraries.SaveActiveLibraries(false))
        Fail("the library list's rewrite failed");
    if (Load() != tarvel::SettingsLoad::Loaded || StoredIds() != stored)
        Fail("the library list's rewrite does not read back");

    // Only the file and its damaged copy are new in the data root; nothing elsewhere.
    const std::set<fs::path> allowed = {file, bad, DataRoot() / "Images", DataRoot() / "Temp",
                                        DataRoot() / "Tarvel Library"};
    for (fs::recursive_directory_iterator it(tarvel::fuzz::ScratchFolder()), end; it != end; ++it) {
        const fs::path path = it->path();
        const bool above = DataRoot().string().rfind(path.string(), 0) == 0;
        if (!above && allowed.count(path) == 0) {
            std::fprintf(stderr, "written: %s\n", path.string().c_str());
            Fail("a file came into being outside Settings.xml");
        }
    }
    fs::remove(file);
    fs::remove(bad);
    tarvel::fuzz::ClearReport();
    return 0;
}
