// Times and peak heap of loading a generated CAD-data file into the product
// database plus generating its GDL text, against a bare pugixml parse of the same
// file. Usage: bench_db [MEGABYTES...]   (default 5 and 50)
#include "CadGenerator.hpp"

#include "HostSession.hpp"

#include "db/GdlGeneration.hpp"
#include "db/Import.hpp"
#include "db/TarvelDB.hpp"

#include <boost/filesystem.hpp>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>
#include <pugixml.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void Count(long long delta)
{
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
    Count(static_cast<long long>(malloc_usable_size(p)));
    return p;
}

void Release(void* p)
{
    if (p == nullptr)
        return;
    Count(-static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}

void* PugiAllocate(std::size_t size)
{
    void* p = std::malloc(size);
    if (p != nullptr)
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

int main(int argc, char** argv)
{
    pugi::set_memory_management_functions(&PugiAllocate, &Release);
    std::vector<double> sizes;
    if (argc == 3 && std::string(argv[1]) == "--profile-import") {
        // For a profiler: the import alone, a few times in this process.
        const auto cad = tarvel::bench::GenerateCad(static_cast<std::size_t>(std::atof(argv[2]) * 1048576));
        pugi::xml_document document;
        document.load_buffer(cad.xml.data(), cad.xml.size());
        tarvel::tools::HostSession session;
        for (int i = 0; i < 5; ++i) {
            tarvel::ImportContext context;
            tarvel::TarvelDB database;
            const auto start = std::chrono::steady_clock::now();
            tarvel::ImportTarvelDB(context, document.child("geom"), database);
            std::printf("import %.3f s\n", Seconds(start));
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atof(argv[i]));
    if (sizes.empty())
        sizes = {5, 50};

    tarvel::tools::HostSession session;
    const auto folder = boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("bench_db_%%%%%%");
    boost::filesystem::create_directories(folder);

    std::printf("%8s %9s %8s %10s %10s %10s %10s %7s %10s %10s %7s %7s\n", "MB", "solids", "parts", "parse s",
                "load s", "gen s", "total s", "ratio", "parse MB", "peak MB", "ratio", "valid");
    double firstTotal = 0;
    std::size_t firstSolids = 0;
    for (double mb : sizes) {
        const auto cad = tarvel::bench::GenerateCad(static_cast<std::size_t>(mb * 1024 * 1024));
        const std::string path = (folder / ("cad_" + std::to_string(static_cast<int>(mb)) + ".xml")).string();
        {
            std::ofstream(path, std::ios::binary) << cad.xml;
        }
        const double fileMb = static_cast<double>(cad.xml.size()) / (1024.0 * 1024.0);
        const int runs = 5;

        const Measure parse = Best(runs, [&](Measure&) {
            std::ifstream stream(path, std::ios::binary);
            pugi::xml_document document;
            if (!document.load(stream))
                std::abort();
        });
        const Measure total = Best(runs, [&](Measure& m) {
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
        });
        const double loadSeconds = total.load;
        const double generateSeconds = total.generate;
        const bool valid = total.valid;
        const std::size_t scriptBytes = total.textBytes;
        std::printf("%8.1f %9zu %8zu %10.3f %10.3f %10.3f %10.3f %7.2f %10.1f %10.1f %7.2f %7s\n", fileMb, cad.solids,
                    cad.parts, parse.seconds, loadSeconds, generateSeconds, total.seconds,
                    total.seconds / parse.seconds, static_cast<double>(parse.peak) / 1048576.0,
                    static_cast<double>(total.peak) / 1048576.0,
                    static_cast<double>(total.peak) / static_cast<double>(parse.peak), valid ? "yes" : "NO");
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
        const double importSeconds = import.load;
        std::printf("         import alone %.3f s\n", importSeconds);
        std::printf("         generated text %.1f MB, report lines %zu\n",
                    static_cast<double>(scriptBytes) / 1048576.0, session.Report().Entries().size());
        if (firstSolids == 0) {
            firstSolids = cad.solids;
            firstTotal = total.seconds;
        } else {
            std::printf("         %.2fx the solids of the first file take %.2fx its time\n",
                        static_cast<double>(cad.solids) / static_cast<double>(firstSolids),
                        total.seconds / firstTotal);
        }
        session.Report().Clear();
    }
    boost::filesystem::remove_all(folder);
    return 0;
}
