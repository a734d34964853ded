// tarvel-host: the stand-in host application with the add-on loaded into it. It
// starts the loopback online services and the stand-in host on a data root, loads the
// add-on's library file at run time as the host does, and takes the road a user takes
// with it, from the start-up through a product added from the catalogue and modified
// in the configurator to the unload. It exits 0 only when the whole road went as it
// should.
//
//   tarvel-host [--out DIR] [--cad FILE] [--data-sheet FILE] [--addon FILE]
//     --out DIR          the data root and everything the run leaves (default ./tarvel-run)
//     --cad FILE         the product's CAD data, in place of the catalogue's own
//     --data-sheet FILE  the product's data sheet, in place of the catalogue's own
//     --addon FILE       the add-on's library file (default: the one built with the runner)
#include "Road.hpp"
#include "Session.hpp"
#include "Steps.hpp"

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

namespace {

namespace fs = boost::filesystem;
using tarvel::runner::Options;

// A folder the runner made holds this file; only such a folder is emptied for a new run.
constexpr const char* kMarker = ".tarvel-run";

int Usage()
{
    std::cerr << "usage: tarvel-host [--out DIR] [--cad FILE] [--data-sheet FILE] [--addon FILE]\n";
    return 2;
}

std::optional<std::string> ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return bytes.str();
}

// The options, or none after telling what is wrong with them.
std::optional<Options> ParseOptions(int argc, char** argv)
{
    Options options;
    options.addOn = TARVEL_ADDON_FILE;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc || (arg != "--out" && arg != "--addon" && arg != "--cad" && arg != "--data-sheet"))
            return std::nullopt;
        const std::string value = argv[++i];
        if (arg == "--out") {
            options.out = value;
        } else if (arg == "--addon") {
            options.addOn = value;
        } else {
            const auto bytes = ReadWhole(value);
            if (!bytes || bytes->empty()) {
                std::cerr << "tarvel-host: " << value << (bytes ? " is empty\n" : " cannot be read\n");
                return std::nullopt;
            }
            (arg == "--cad" ? options.cadFile : options.dataSheetFile) = value;
            (arg == "--cad" ? options.cadXml : options.dataSheetXml) = *bytes;
        }
    }
    return options;
}

// An empty folder for the run: a new one, or one an earlier run left. Anything else
// is the user's and stays as it is.
bool PrepareOutput(const fs::path& out)
{
    boost::system::error_code error;
    if (fs::exists(out, error)) {
        if (!fs::is_directory(out, error)) {
            std::cerr << "tarvel-host: " << out.string() << " is not a folder\n";
            return false;
        }
        if (!fs::is_empty(out, error) && !fs::exists(out / kMarker, error)) {
            std::cerr << "tarvel-host: " << out.string()
                      << " holds files of another program; give an empty or new folder with --out\n";
            return false;
        }
        for (fs::directory_iterator it(out), end; it != end; ++it)
            fs::remove_all(it->path());
    }
    fs::create_directories(out);
    std::ofstream(fs::path(out / kMarker).string()) << "made by tarvel-host; emptied by its next run\n";
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return Usage();
    try {
        if (!PrepareOutput(options->out))
            return 2;
    } catch (const std::exception& e) {
        std::cerr << "tarvel-host: " << e.what() << '\n';
        return 2;
    }

    const auto start = tarvel::runner::Clock::now();
    tarvel::runner::Road road(std::cout);
    std::vector<std::string> summary;
    {
        tarvel::runner::Session session(road, *options);
        tarvel::runner::RunRoad(session);
        summary = session.summary;
    }
    const std::string took = tarvel::runner::Milliseconds(tarvel::runner::Clock::now() - start);
    if (!road.Completed()) {
        std::cout << "road failed at step " << road.Steps() << ": " << road.FailedStep() << " (after " << took
                  << ")\n";
        return 1;
    }
    std::cout << "road completed: " << road.Steps() << " steps in " << took << "\n";
    for (const std::string& line : summary)
        std::cout << "  " << line << "\n";
    return 0;
}
