// Fetches and unpacks a 50 MB zip artifact from the loopback server through
// DownloadArtifact, and the same with the curl command line and unzip; prints both
// times (best of several runs) and their ratio.
#include "CatalogueServer.hpp"
#include "HostSession.hpp"
#include "Main/Globals.hpp"
#include "TempDir.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Download.hpp"

#include <boost/filesystem/operations.hpp>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Entries of random bytes with a little repetition, so deflate has work but the
// archive stays about as large as its content.
void MakeArchive(const std::string& path, std::size_t totalBytes)
{
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    std::mt19937_64 random(42);
    const std::vector<std::pair<std::string, std::size_t>> entries = {
        {"model.xml", totalBytes * 9 / 10}, {"model.png", totalBytes / 10}};
    std::vector<char> chunk(1 << 20);
    for (const auto& [name, size] : entries) {
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 1);
        for (std::size_t done = 0; done < size; done += chunk.size()) {
            for (std::size_t i = 0; i < chunk.size(); i += 8) {
                const std::uint64_t value = random();
                std::copy_n(reinterpret_cast<const char*>(&value), 8, chunk.data() + i);
            }
            zipWriteInFileInZip(zip, chunk.data(), static_cast<unsigned>(std::min(chunk.size(), size - done)));
        }
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    tarvel::testing::TempDir temp;
    const auto special = temp.Path() / "special";
    const auto cli = temp.Path() / "cli";
    boost::filesystem::create_directories(special);
    boost::filesystem::create_directories(cli);
    const std::string archive = (temp.Path() / "artifact.zip").string();
    MakeArchive(archive, 50u << 20);
    const auto archiveBytes = boost::filesystem::file_size(archive);

    standin::HostOptions options;
    options.specialLocation = special.string();
    tarvel::tools::HostSession session(options);
    tarvel::InitializeAddOnGlobals();
    standin::services::CatalogueServer server;
    server.AddFileFromDisk("/files/artifact.zip", archive);
    const std::string url = server.Url("/files/artifact.zip");

    double addOn = 1e9, reference = 1e9;
    for (int run = 0; run < runs; ++run) {
        std::string localPath;
        auto start = Clock::now();
        if (!tarvel::DownloadArtifact(url, localPath, tarvel::FullDataPath(tarvel::tempFolder) + L"\\") ||
            localPath.empty()) {
            std::fprintf(stderr, "DownloadArtifact failed\n");
            return 1;
        }
        addOn = std::min(addOn, Seconds(Clock::now() - start));
        if (boost::filesystem::file_size(ostrel::Utf8StringToPath(localPath)) != (50u << 20) * 9 / 10) {
            std::fprintf(stderr, "unpacked entry has the wrong size\n");
            return 1;
        }

        const std::string command = "curl -s -o '" + (cli / "artifact.zip").string() + "' '" + url +
                                    "' && unzip -o -q '" + (cli / "artifact.zip").string() + "' -d '" +
                                    cli.string() + "'";
        start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "curl or unzip failed\n");
            return 1;
        }
        reference = std::min(reference, Seconds(Clock::now() - start));
    }
    std::printf("archive %.1f MB, best of %d runs\n", archiveBytes / 1048576.0, runs);
    std::printf("DownloadArtifact   %.3f s\n", addOn);
    std::printf("curl + unzip       %.3f s\n", reference);
    std::printf("ratio              %.2f (goal at most 1.3)\n", addOn / reference);
    return 0;
}
