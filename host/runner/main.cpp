// tarvel-host: the stand-in host application with the add-on loaded into it. It
// starts the loopback online services and the stand-in host on a data root, loads the
// add-on's library file at run time as the host does, and takes the road a user takes
// with it, from the start-up through a product added from the catalogue and modified
// in the configurator to the unload. It exits 0 only when the whole road went as it
// should.
//
// Help() tells the options.
#include "Road.hpp"
#include "Session.hpp"
#include "Steps.hpp"

#include "Output.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <cstring>
#include <iostream>
#include <set>
#include <string>
#include <variant>

namespace {

namespace fs = boost::filesystem;
using tarvel::runner::Options;

constexpr const char* kUsage = "usage: tarvel-host [--out DIR] [--cad FILE] [--data-sheet FILE] [--addon FILE] [--verbose]\n";

void Help()
{
    std::cout << kUsage
              << "\n"
                 "Loads the add-on as the host does and takes a user's whole road with it, headless:\n"
                 "the start-up, a product added from the loopback catalogue and modified in the\n"
                 "configurator, undo and redo, the clean-up and the unload. Exits 0 when the whole\n"
                 "road went as it should, 1 when a step failed, 2 for wrong options or folders,\n"
                 "130 or 143 when Ctrl-C or SIGTERM ended it.\n"
                 "\n"
                 "  --out DIR          the data root, the saved parts and the pictures (default ./tarvel-run);\n"
                 "                     a new or empty folder, or one an earlier run made (--out=DIR too)\n"
                 "  --cad FILE         your own CAD data for the product: without --data-sheet it is\n"
                 "                     a plain object named after the file, placed with the object tool\n"
                 "  --data-sheet FILE  your own data sheet for the product (its subtype makes it a door,\n"
                 "                     a window or a skylight; examples/data-sheets has one of each)\n"
                 "  --addon FILE       the add-on's library file (default: the one built with the runner)\n"
                 "  --verbose          also the host-contract details: export table, registrations,\n"
                 "                     dialog resource and item numbers\n"
                 "  --help             this text\n";
}

const char* SignalName(int signal) { return signal == SIGINT ? "Ctrl-C" : signal == SIGTERM ? "SIGTERM" : "a signal"; }

// One line about what is wrong with the options, then exit status 2.
int Refuse(const std::string& line)
{
    std::cerr << "tarvel-host: " << line << '\n' << kUsage;
    return 2;
}

// The whole file, or what is wrong with it ("is a folder", "does not exist", ...).
std::string ReadWhole(const std::string& path, std::string& bytes)
{
    boost::system::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_not_found)
        return path + " does not exist";
    if (status.type() == fs::directory_file)
        return path + " is a folder, not a file";
    if (error)
        return path + " cannot be read: " + error.message();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return path + " cannot be read: " + std::strerror(errno);
    std::string all;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::string reason = std::strerror(errno);
            close(fd);
            return path + " cannot be read: " + reason;
        }
        if (n == 0)
            break;
        all.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    bytes = std::move(all);
    if (bytes.empty())
        return path + " is empty";
    return {};
}

// The folder as one absolute path without "." or ".." parts or a separator at its
// end, so that the transcript writes every path under it one way.
fs::path NormalFolder(const fs::path& out)
{
    fs::path normal = fs::absolute(out).lexically_normal();
    if (normal.filename() == "." && normal.has_parent_path())
        normal = normal.parent_path();
    return normal;
}

// The options, or the exit status after telling what is wrong with them.
std::variant<Options, int> ParseOptions(int argc, char** argv)
{
    Options options;
    options.addOn = TARVEL_ADDON_FILE;
    options.out = NormalFolder(options.out);
    std::set<std::string> given;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help();
            return 0;
        }
        // --out=DIR is --out DIR.
        std::optional<std::string> joined;
        if (const std::size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            joined = arg.substr(equals + 1);
            arg.erase(equals);
        }
        if (!given.insert(arg).second)
            return Refuse(arg + " is given twice");
        if (arg == "--verbose" && !joined) {
            options.verbose = true;
            continue;
        }
        const bool file = arg == "--cad" || arg == "--data-sheet" || arg == "--addon";
        const char* what = arg == "--out" ? "a folder" : file ? "a file" : nullptr;
        if (what == nullptr)
            return Refuse("unknown option " + std::string(argv[i]));
        if (joined ? joined->empty()
                   : i + 1 >= argc || std::string(argv[i + 1]).rfind("--", 0) == 0 || argv[i + 1][0] == '\0')
            return Refuse(arg + " needs " + what + " after it");
        const std::string value = joined ? *joined : argv[++i];
        if (arg == "--out") {
            options.out = NormalFolder(value);
            continue;
        }
        std::string bytes;
        if (const std::string wrong = ReadWhole(value, bytes); !wrong.empty())
            return Refuse(arg + ": " + wrong);
        if (arg == "--addon") {
            options.addOn = value;
        } else if (arg == "--cad") {
            options.cadFile = value;
            options.cadXml = std::move(bytes);
        } else {
            options.dataSheetFile = value;
            options.dataSheetXml = std::move(bytes);
        }
    }
    return options;
}

// Watches for Ctrl-C and SIGTERM, which every other thread has blocked, and keeps the
// run's marker fresh meanwhile, so that a run killed outright is known by the next.
// The first signal asks the road to end; a second one, or a road that has not ended
// in time, ends the process after a last record. A second signal within a second of
// the first is the same request: `timeout` and a terminal may send one signal to the
// process and again to its group.
class Watch {
public:
    Watch(tarvel::runner::RunFolder& folder, const tarvel::runner::Road& road, const sigset_t& signals)
        : folder_(folder), road_(road), signals_(signals), thread_([this] { Run(); })
    {
    }
    ~Watch()
    {
        stop_ = true;
        thread_.join();
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    // The signal that asked the road to end, 0 for none.
    const std::atomic<int>& Interrupted() const { return interrupted_; }

private:
    void Run()
    {
        using namespace std::chrono_literals;
        std::chrono::steady_clock::time_point first;
        while (!stop_) {
            const timespec wait{0, 250'000'000};
            const int signal = sigtimedwait(&signals_, nullptr, &wait);
            const auto now = std::chrono::steady_clock::now();
            if (signal > 0) {
                if (interrupted_ == 0) {
                    interrupted_ = signal;
                    first = now;
                } else if (now - first >= 1s) {
                    EndNow(std::string(SignalName(signal)) + " again");
                }
                continue;
            }
            if (interrupted_ != 0 && now - first > 20s)
                EndNow("the road did not end within 20 s of " + std::string(SignalName(interrupted_)));
            folder_.Record(false);
        }
    }

    [[noreturn]] void EndNow(const std::string& why)
    {
        folder_.Record(false);
        const std::string line = "tarvel-host: " + why + ": the run ends at once at " + road_.Where() +
                                 ", without its clean-up; the next run into the folder removes what it made\n";
        [[maybe_unused]] const ssize_t written = ::write(2, line.data(), line.size());
        _exit(128 + interrupted_);
    }

    tarvel::runner::RunFolder& folder_;
    const tarvel::runner::Road& road_;
    const sigset_t signals_;
    std::atomic<bool> stop_{false};
    std::atomic<int> interrupted_{0};
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so that every thread inherits it: only the
    // watch takes these signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto parsed = ParseOptions(argc, argv);
    if (const int* status = std::get_if<int>(&parsed))
        return *status;
    const Options* options = &std::get<Options>(parsed);
    // The run writes a few megabytes, and the user's files a few times over (downloaded,
    // then in two saved parts).
    const std::uintmax_t need = 16u * 1024 * 1024 + 4 * (options->cadXml.size() + options->dataSheetXml.size());
    std::unique_ptr<tarvel::runner::RunFolder> folder;
    try {
        auto taken = tarvel::runner::RunFolder::Take(options->out, need);
        if (const std::string* wrong = std::get_if<std::string>(&taken)) {
            std::cerr << "tarvel-host: " << *wrong << '\n';
            return 2;
        }
        folder = std::move(std::get<std::unique_ptr<tarvel::runner::RunFolder>>(taken));
    } catch (const std::exception& e) {
        std::cerr << "tarvel-host: the output folder " << options->out.string() << " cannot be used: " << e.what()
                  << '\n';
        return 2;
    }

    const auto start = tarvel::runner::Clock::now();
    tarvel::runner::Road road(std::cout);
    std::vector<std::string> summary;
    int interrupted = 0;
    {
        Watch watch(*folder, road, signals);
        {
            tarvel::runner::Session session(road, *options, *folder, watch.Interrupted());
            tarvel::runner::RunRoad(session);
            summary = session.summary;
        }
        interrupted = watch.Interrupted();
    }
    // The next run removes what this one made, and only that.
    if (const auto wrong = folder->Record(true))
        std::cerr << "tarvel-host: " << *wrong << '\n';
    const std::string took = tarvel::runner::Milliseconds(tarvel::runner::Clock::now() - start);
    if (!road.Completed() && interrupted != 0) {
        std::cout << "road interrupted at step " << road.Steps() << ": " << road.FailedStep() << " ("
                  << SignalName(interrupted) << ", after " << took << ")" << std::endl;
        return 128 + interrupted;
    }
    if (!road.Completed()) {
        std::cout << "road failed at step " << road.Steps() << ": " << road.FailedStep() << " (after " << took
                  << ")\n  because " << road.Failure() << "\n";
        return 1;
    }
    std::cout << "road completed: " << road.Steps() << " steps in " << took << "\n";
    for (const std::string& line : summary)
        std::cout << "  " << line << "\n";
    return 0;
}
