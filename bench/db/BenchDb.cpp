// Times and peak memory of loading a generated CAD-data file into the product
// database plus generating its GDL text, against a bare pugixml parse of the same
// file: in one process (load, generation and import alone, heap peaks), and as
// whole processes (cad2gdl FILE against a program that only calls load_file),
// alternating the two, medians of the pairs, with the machine's load.
//
//   bench_db [--kind regular|rough] [--pairs N] [--instructions] [--keep DIR] [MEGABYTES...]
//
// Both kinds of file and 5 and 50 MB by default; --instructions also counts the
// instructions of one run of each program under callgrind (independent of the load).
#include "CadGenerator.hpp"

#include "HostSession.hpp"

#include "db/GdlGeneration.hpp"
#include "db/Import.hpp"
#include "db/TarvelDB.hpp"

#include <boost/filesystem.hpp>
#include <malloc.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The heap is counted only in the runs that measure memory, so that counting does
// not slow the timed runs (it would burden many small allocations more than few big ones).
bool tracking = true;
std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void Count(long long delta)
{
    if (!tracking)
        return;
    const long long now = liveBytes.fetch_add(delta, std::memory_order_relaxed) + delta;
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void* Allocate(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    if (tracking)
        Count(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

void Release(void* p)
{
    if (p == nullptr)
        return;
    if (tracking)
        Count(-static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}

void* PugiAllocate(std::size_t size)
{
    void* p = std::malloc(size);
    if (p != nullptr)
        if (tracking)
            Count(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

// Peak heap above what was live when the measurement began.
class PeakScope {
public:
    PeakScope() : base_(liveBytes.load()) { peakBytes.store(base_); }
    long long Peak() const { return peakBytes.load() - base_; }

private:
    long long base_;
};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Measure {
    double seconds = 1e30;
    long long peak = 0;
    double load = 1e30;
    double generate = 1e30;
    bool valid = false;
    std::size_t textBytes = 0;
};

// Each run in a fresh child process, so that every measurement starts from the
// same cold heap (a library part is created once per product, in a process whose
// heap has not held such a file before). The fastest run counts; the peak is the
// child's heap peak during the work.
template <typename F>
Measure Best(int runs, F&& f)
{
    Measure best;
    for (int i = 0; i < runs; ++i) {
        int fds[2];
        if (pipe(fds) != 0)
            std::abort();
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            Measure m;
            PeakScope scope;
            const auto start = std::chrono::steady_clock::now();
            f(m);
            m.seconds = Seconds(start);
            m.peak = scope.Peak();
            if (write(fds[1], &m, sizeof m) != static_cast<ssize_t>(sizeof m))
                _exit(2);
            _exit(0);
        }
        close(fds[1]);
        Measure m;
        if (read(fds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m))
            std::abort();
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (m.seconds < best.seconds) {
            const long long peak = std::max(best.peak, m.peak);
            best = m;
            best.peak = peak;
        } else {
            best.peak = std::max(best.peak, m.peak);
        }
    }
    return best;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }


namespace {

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct ProcessRun {
    double seconds = 0;
    long maxRssKb = 0;
    int status = 0;
};

// Runs a program with its output sent to /dev/null (or to logPath), and waits for it.
ProcessRun RunProcess(const std::vector<std::string>& args, const std::string& logPath = "")
{
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        const int err = logPath.empty() ? null : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(null, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProcessRun run;
    struct rusage usage {};
    wait4(child, &run.status, 0, &usage);
    run.seconds = Seconds(start);
    run.maxRssKb = usage.ru_maxrss;
    return run;
}

// Whether a run of cad2gdl (or of the bare parse) went to its end: exit 0, or 4 when
// cad2gdl read the file whole but not all of it could be made as written (the
// generated files hold revolves whose profile crosses their axis).
bool Finished(int status)
{
    return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 4);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The instructions of one run under callgrind, or 0 when valgrind is not there.
double Instructions(const std::vector<std::string>& args, const boost::filesystem::path& folder)
{
    const std::string log = (folder / "callgrind.log").string();
    std::vector<std::string> command = {"/usr/bin/valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
                                        "--log-file=" + log};
    command.insert(command.end(), args.begin(), args.end());
    if (!boost::filesystem::exists(command[0]) || !Finished(RunProcess(command).status))
        return 0;
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t at = line.find("Collected : ");
        if (at != std::string::npos)
            return std::atof(line.c_str() + at + 12);
    }
    return 0;
}

struct ProcessFigures {
    double cad2gdl = 0;
    double parse = 0;
    double ratio = 0;
    double cad2gdlMb = 0;
    double parseMb = 0;
};

// cad2gdl FILE against the bare parse of FILE, alternating, the median of the pairs.
ProcessFigures CompareProcesses(const std::string& path, int pairs)
{
    const std::vector<std::string> tool = {CAD2GDL_PATH, path};
    const std::vector<std::string> bare = {BARE_PARSE_PATH, path};
    RunProcess(bare);  // the file into the page cache, the programs too
    if (!Finished(RunProcess(tool).status))
        std::printf("         cad2gdl did not finish cleanly on %s\n", path.c_str());
    std::vector<double> tools, parses, ratios, toolRss, parseRss;
    for (int i = 0; i < pairs; ++i) {
        // Alternate which goes first, so neither always meets the other's after-effects.
        ProcessRun t, p;
        if (i % 2 == 0) {
            p = RunProcess(bare);
            t = RunProcess(tool);
        } else {
            t = RunProcess(tool);
            p = RunProcess(bare);
        }
        tools.push_back(t.seconds);
        parses.push_back(p.seconds);
        ratios.push_back(t.seconds / p.seconds);
        toolRss.push_back(static_cast<double>(t.maxRssKb) / 1024);
        parseRss.push_back(static_cast<double>(p.maxRssKb) / 1024);
    }
    return {Median(tools), Median(parses), Median(ratios), Median(toolRss), Median(parseRss)};
}

struct InProcessFigures {
    double total = 0;
};

// Load plus generation and the bare parse inside this process (each run a fresh child).
InProcessFigures CompareInProcess(const std::string& path, int runs)
{
    const auto parseOnce = [&](Measure&) {
        std::ifstream stream(path, std::ios::binary);
        pugi::xml_document document;
        if (!document.load(stream))
            std::abort();
    };
    const auto totalOnce = [&](Measure& m) {
        const auto start = std::chrono::steady_clock::now();
        tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile(path);
        m.load = Seconds(start);
        const auto generateStart = std::chrono::steady_clock::now();
        tarvel::GdlWriter writer;
        tarvel::GenerateGdlFromDatabase(database, writer);
        const std::string master = writer.GetMasterScript();
        const std::string script = writer.GetScript();
        m.generate = Seconds(generateStart);
        m.valid = database.valid;
        m.textBytes = script.size() + master.size();
    };
    // Parse and load alternate, so that both meet the same load of the machine;
    // the ratio is the median of the pairs.
    Measure parse;
    Measure total;
    std::vector<double> ratios;
    for (int i = 0; i <= runs; ++i) {
        tracking = i == runs;  // the last pair measures memory only
        const Measure p = Best(1, parseOnce);
        const Measure t = Best(1, totalOnce);
        if (tracking) {
            parse.peak = p.peak;
            total.peak = t.peak;
            break;
        }
        ratios.push_back(t.seconds / p.seconds);
        parse.seconds = std::min(parse.seconds, p.seconds);
        if (t.seconds < total.seconds) {
            const long long peak = total.peak;
            total = t;
            total.peak = peak;
        }
    }
    tracking = false;
    std::printf("  in one process: parse %.3f s, load %.3f s + generation %.3f s = %.3f s (fastest runs), "
                "ratio %.2f (median of %d pairs)\n",
                parse.seconds, total.load, total.generate, total.seconds, Median(ratios), runs);
    std::printf("                  heap peak %.1f MB against the parse's %.1f MB: %.2f; text %.1f MB; valid %s\n",
                static_cast<double>(total.peak) / 1048576.0, static_cast<double>(parse.peak) / 1048576.0,
                static_cast<double>(total.peak) / static_cast<double>(parse.peak),
                static_cast<double>(total.textBytes) / 1048576.0, total.valid ? "yes" : "NO");
    const Measure import = Best(runs, [&](Measure& m) {
        std::ifstream stream(path, std::ios::binary);
        pugi::xml_document document;
        document.load(stream);
        tarvel::ImportContext context;
        tarvel::TarvelDB database;
        const auto start = std::chrono::steady_clock::now();
        tarvel::ImportTarvelDB(context, document.child("geom"), database);
        m.load = Seconds(start);
    });
    std::printf("                  import alone %.3f s\n", import.load);
    return {total.seconds};
}

}  // namespace

int main(int argc, char** argv)
{
    pugi::set_memory_management_functions(&PugiAllocate, &Release);
    tracking = false;
    std::vector<double> sizes;
    std::vector<tarvel::bench::CadKind> kinds = {tarvel::bench::CadKind::Regular, tarvel::bench::CadKind::Rough};
    int pairs = 7;
    bool instructions = false;
    std::string keep;
    if (argc == 3 && std::string(argv[1]) == "--profile-import") {
        // For a profiler: the import alone, a few times in this process.
        const auto cad = tarvel::bench::GenerateRoughCad(static_cast<std::size_t>(std::atof(argv[2]) * 1048576));
        pugi::xml_document document;
        document.load_buffer(cad.xml.data(), cad.xml.size());
        tarvel::tools::HostSession session;
        for (int i = 0; i < 5; ++i) {
            tarvel::ImportContext context;
            tarvel::TarvelDB database;
            const auto start = std::chrono::steady_clock::now();
            tarvel::ImportTarvelDB(context, document.child("geom"), database);
            std::printf("import %.3f s\n", Seconds(start));
            session.Report().Clear();
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--kind" && i + 1 < argc) {
            const std::string kind = argv[++i];
            kinds = {kind == "rough" ? tarvel::bench::CadKind::Rough : tarvel::bench::CadKind::Regular};
        } else if (arg == "--pairs" && i + 1 < argc) {
            pairs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--instructions") {
            instructions = true;
        } else if (arg == "--keep" && i + 1 < argc) {
            keep = argv[++i];
        } else {
            sizes.push_back(std::atof(argv[i]));
        }
    }
    if (sizes.empty())
        sizes = {5, 50};

    tarvel::tools::HostSession session;
    const auto folder = boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("bench_db_%%%%%%");
    boost::filesystem::create_directories(folder);
    std::printf("cores %ld; load at start %s\n", sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());

    for (const auto kind : kinds) {
        const char* kindName = kind == tarvel::bench::CadKind::Rough ? "rough" : "regular";
        ProcessFigures first;
        double firstMb = 0;
        for (double mb : sizes) {
            const auto cad = tarvel::bench::GenerateCad(kind, static_cast<std::size_t>(mb * 1024 * 1024));
            const std::string name = std::string(kindName) + "_" + std::to_string(static_cast<int>(mb)) + ".xml";
            const std::string path = (folder / name).string();
            {
                std::ofstream(path, std::ios::binary) << cad.xml;
            }
            if (!keep.empty())
                boost::filesystem::copy_file(path, boost::filesystem::path(keep) / name,
                                             boost::filesystem::copy_options::overwrite_existing);
            const double fileMb = static_cast<double>(cad.xml.size()) / 1048576.0;
            std::printf("\n%s file, %.1f MB: %zu materials, %zu sketches, %zu parts, %zu solids, %zu assemblies "
                        "(%zu components, %zu levels), %zu optional values missing, %zu unknown elements\n",
                        kindName, fileMb, cad.materials, cad.sketches, cad.parts, cad.solids, cad.assemblies,
                        cad.components, cad.depth, cad.omissions, cad.unknown);
            std::printf("  load before %s\n", LoadAverage().c_str());
            CompareInProcess(path, pairs);
            const ProcessFigures f = CompareProcesses(path, pairs);
            std::printf("  whole processes: cad2gdl %.3f s, bare load_file %.3f s, ratio %.2f (median of %d "
                        "alternating pairs)\n",
                        f.cad2gdl, f.parse, f.ratio, pairs);
            std::printf("                   peak RSS %.1f MiB against %.1f MiB: %.2f\n", f.cad2gdlMb, f.parseMb,
                        f.cad2gdlMb / f.parseMb);
            if (instructions) {
                const double t = Instructions({CAD2GDL_PATH, path}, folder);
                const double p = Instructions({BARE_PARSE_PATH, path}, folder);
                if (t > 0 && p > 0)
                    std::printf("                   instructions %.3g against %.3g: %.2f\n", t, p, t / p);
            }
            if (firstMb == 0) {
                first = f;
                firstMb = fileMb;
            } else {
                const double scale = fileMb / firstMb;
                std::printf("                   %.2fx the size of the first file: cad2gdl %.2fx its time and %.2fx "
                            "its peak (the bare parse %.2fx and %.2fx)\n",
                            scale, f.cad2gdl / first.cad2gdl, f.cad2gdlMb / first.cad2gdlMb, f.parse / first.parse,
                            f.parseMb / first.parseMb);
            }
            std::printf("  load after %s\n", LoadAverage().c_str());
            std::fflush(stdout);
        }
    }
    boost::filesystem::remove_all(folder);
    return 0;
}
