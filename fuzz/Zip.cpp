// Zip extraction of a downloaded archive. The archive lies in the target folder, as
// a download leaves it in Temp; after each input nothing may have been written
// outside that folder: the sandbox around it holds only the target folder, an empty
// working folder and a canary file, and no absolute entry name came into being.
#include "FuzzSupport.hpp"

#include "ostrel/Text.hpp"
#include "transfer/Deployment.hpp"
#include "transfer/Zip.hpp"

#include <boost/filesystem.hpp>
#include <minizip/unzip.h>

#include <fstream>
#include <vector>

namespace fs = boost::filesystem;

namespace {

const std::string kCanary = "canary: must stay as it is\n";

fs::path Sandbox() { return fs::path(tarvel::fuzz::ScratchFolder()) / "zip"; }

// The names the archive's central directory gives, as far as it can be read.
std::vector<std::string> EntryNames(const std::string& archive)
{
    std::vector<std::string> names;
    unzFile zip = unzOpen64(archive.c_str());
    if (zip == nullptr)
        return names;
    for (int status = unzGoToFirstFile(zip); status == UNZ_OK && names.size() < 10000; status = unzGoToNextFile(zip)) {
        char name[1024];
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        names.emplace_back(name);
    }
    unzClose(zip);
    return names;
}

bool Absolute(const std::string& name)
{
    return !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tarvel::fuzz::StartHost();
    fs::remove_all(Sandbox());
    fs::create_directories(Sandbox() / "outside");
    fs::create_directories(Sandbox() / "cwd");
    std::ofstream(Sandbox() / "outside" / "canary.txt", std::ios::binary) << kCanary;
    // Relative names that escape would land beside the working folder, in the sandbox.
    fs::current_path(Sandbox() / "cwd");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Small limits: a larger archive is refused the same way, sooner.
    tarvel::Deployment deployment = tarvel::CurrentDeployment();
    deployment.maxZipEntries = 64;
    deployment.maxZipBytes = std::uint64_t{4} << 20;
    const tarvel::ScopedDeployment scoped(deployment);

    const fs::path target = Sandbox() / "target";
    fs::remove_all(target);
    fs::create_directories(target);
    const fs::path archive = target / "download.zip";
    {
        std::ofstream out(archive.string(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::vector<std::string> names = EntryNames(archive.string());
    std::vector<bool> existedBefore;
    for (const auto& name : names)
        existedBefore.push_back(Absolute(name) && fs::exists(fs::path(name)));

    std::string entry;
    tarvel::ExtractZip(ostrel::Utf8ToWString(archive.string()), ostrel::Utf8ToWString(target.string() + "/"), entry);

    // Nothing outside the target folder: walk the whole sandbox.
    for (fs::recursive_directory_iterator it(Sandbox()), end; it != end; ++it) {
        const fs::path path = it->path();
        const std::string text = path.string();
        const bool inTarget = text.rfind(target.string(), 0) == 0;
        const bool known = path == Sandbox() / "outside" || path == Sandbox() / "outside" / "canary.txt" ||
                           path == Sandbox() / "cwd" || path == target;
        if (!inTarget && !known) {
            std::fprintf(stderr, "written outside the target folder: %s\n", text.c_str());
            __builtin_trap();
        }
    }
    if (tarvel::fuzz::ReadWholeFile((Sandbox() / "outside" / "canary.txt").string()) != kCanary)
        __builtin_trap();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (Absolute(names[i]) && !existedBefore[i] && fs::exists(fs::path(names[i]))) {
            std::fprintf(stderr, "written to an absolute path: %s\n", names[i].c_str());
            __builtin_trap();
        }
    tarvel::fuzz::ClearReport();
    return 0;
}
