// The library list built online: crs.json names the profile's repository file, which
// is merged into the libraries stored in Settings.xml. The input up to its first NUL
// byte is crs.json and the rest the repository file (without a NUL byte, the whole
// input is both); every request, the logos' too, goes to the in-process proxy.
// After each input: a failure leaves no list, ids are not doubled, each library is
// found by its id, and the saved list reads back as the stored list with the
// controller's libraries written over it and its new ones after it; files came into
// being only in the Images folder and as Settings.xml.
#include "FuzzSupport.hpp"

#include "controllers/LibraryController.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace fs = boost::filesystem;

namespace {

// The libraries stored before the repository is read; one of them is in the repository seeds.
const std::string kStoredSettings =
    "<?xml version=\"1.0\"?>\n<Settings>\n\t<ActiveLibraries>\n"
    "\t\t<Library id=\"windows-alu\" name=\"Windows\" logo=\"\" url=\"http://x/\" description=\"\" is_in_menu=\"false\" />\n"
    "\t\t<Library id=\"stored-only\" name=\"Stored\" logo=\"a.png\" url=\"\" description=\"d\" />\n"
    "\t</ActiveLibraries>\n</Settings>\n";

fs::path DataRoot() { return tarvel::fuzz::StartHostWithDataRoot(); }

void Fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    __builtin_trap();
}

// An attribute holds text up to its first NUL, with tabs as spaces, the way the
// settings file stores it.
std::wstring AsStored(std::wstring text)
{
    text.resize(std::wstring(text.c_str()).size());
    for (wchar_t& c : text)
        if (c == L'\t')
            c = L' ';
    return text;
}

using Row = std::tuple<std::wstring, std::wstring, std::wstring, std::wstring, std::wstring, bool>;

std::vector<Row> Rows(const std::vector<std::shared_ptr<tarvel::Library>>& libraries)
{
    std::vector<Row> rows;
    for (const auto& l : libraries)
        if (l->active)
            rows.emplace_back(AsStored(l->id), AsStored(l->name), AsStored(l->logo), AsStored(l->url),
                              AsStored(l->description), l->is_in_menu);
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DataRoot();
    tarvel::fuzz::KeepTransfersInProcess();
    static tarvel::Deployment deployment = tarvel::CurrentDeployment();
    deployment.connectTimeout = std::chrono::seconds(2);
    deployment.stallTime = std::chrono::seconds(2);
    static tarvel::ScopedDeployment scoped(deployment);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string profiles = input.substr(0, split);
    const std::string repository = split == std::string::npos ? input : input.substr(split + 1);
    tarvel::fuzz::SetTransferAnswer([&](const std::string& target) {
        return target.ends_with("/crs.json") ? profiles : repository;
    });
    const fs::path file = DataRoot() / "Settings.xml";
    std::ofstream(file.string(), std::ios::binary | std::ios::trunc) << kStoredSettings;

    const std::vector<Row> stored = Rows(tarvel::LibraryController(false).Libraries());

    bool reported = false;
    tarvel::RepositoryContext context{"en-GB", "TARVEL", [&](const std::string&, bool) { reported = true; }};
    tarvel::LibraryController controller(true, context);
    const auto& libraries = controller.Libraries();
    if (reported && !libraries.empty())
        Fail("a failed repository left a list");

    std::set<std::wstring> ids;
    for (const auto& library : libraries)
        if (!ids.insert(library->id).second)
            Fail("an id is in the list twice");
    for (const auto& library : libraries) {
        const std::string id = ostrel::WStringToUtf8(library->id);
        const bool wasActive = library->active;
        if (controller.ActivateLibrary(id) == wasActive || !library->active)
            Fail("a library is not activated by its id");
        std::wstring url;
        if (!controller.GetLibraryUrl(id, url) || url != library->url)
            Fail("a library's address is not found by its id");
    }
    if (!controller.SaveActiveLibraries(false))
        Fail("the list was not saved");
    // A save writes only what this controller changed or knows: a stored library it
    // does not hold (a failed repository holds none) stays.
    const std::vector<Row> own = Rows(libraries);
    std::vector<Row> expected;
    for (const Row& row : stored) {
        const auto mine = std::find_if(own.begin(), own.end(),
                                       [&](const Row& r) { return std::get<0>(r) == std::get<0>(row); });
        expected.push_back(mine != own.end() ? *mine : row);
    }
    for (const Row& row : own)
        if (std::none_of(stored.begin(), stored.end(), [&](const Row& r) { return std::get<0>(r) == std::get<0>(row); }))
            expected.push_back(row);
    if (Rows(tarvel::LibraryController(false).Libraries()) != expected)
        Fail("the saved list reads back otherwise");

    for (fs::recursive_directory_iterator it(tarvel::fuzz::ScratchFolder()), end; it != end; ++it) {
        const fs::path path = it->path();
        const bool above = DataRoot().string().rfind(path.string(), 0) == 0;
        const bool known = path == file || path == DataRoot() / "Temp" || path == DataRoot() / "Tarvel Library" ||
                           path.parent_path() == DataRoot() / "Images" || path == DataRoot() / "Images";
        if (!above && !known) {
            std::fprintf(stderr, "written: %s\n", path.string().c_str());
            Fail("a file came into being outside the Images folder and Settings.xml");
        }
    }
    for (fs::directory_iterator it(DataRoot() / "Images"), end; it != end; ++it)
        fs::remove_all(it->path());
    fs::remove(file);
    tarvel::fuzz::SetTransferAnswer(nullptr);
    tarvel::fuzz::ClearReport();
    return 0;
}
