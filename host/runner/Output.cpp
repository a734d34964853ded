#include "Output.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace tarvel::runner {
namespace {

namespace fs = boost::filesystem;

constexpr const char* kNextMarker = ".tarvel-run.new";
constexpr const char* kHeader = "tarvel-host run folder: its next run removes what is listed here, nothing else";

// A run that died without a word made its last files after its last record: what came
// into the folder this long after it is not the run's.
constexpr std::int64_t kLastWords = 3'000'000'000;

std::string Reason(const boost::system::error_code& error) { return error.message(); }

std::int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t Nanoseconds(const timespec& time) { return std::int64_t{time.tv_sec} * 1'000'000'000 + time.tv_nsec; }

// What a file is now: its size and times. The status-change time moves with every
// change, also one that sets the modification time back.
struct Stamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
};

std::optional<Stamp> StampOf(const fs::path& path, bool& regular)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return std::nullopt;
    regular = S_ISREG(info.st_mode);
    return Stamp{static_cast<std::uintmax_t>(info.st_size), Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim)};
}

// The run that wrote the marker.
struct RunLine {
    long pid = 0;
    std::int64_t started = 0;
    std::int64_t alive = 0;
    bool ended = true;
};

struct Listing {
    std::optional<RunLine> run;
    // Files as a run listed them; `seconds`: listed by an older runner, whose times
    // were whole seconds of the modification time.
    struct File {
        Stamp stamp;
        bool seconds = false;
    };
    std::map<std::string, File> files;
    std::set<std::string> folders;
};

Listing ReadListing(const fs::path& marker)
{
    Listing listing;
    std::ifstream in(marker.string(), std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line != kHeader)
        return listing;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        std::getline(fields, kind, '\t');
        try {
            if (kind == "run") {
                RunLine run;
                std::string pid, started, alive, state;
                if (std::getline(fields, pid, '\t') && std::getline(fields, started, '\t') &&
                    std::getline(fields, alive, '\t') && std::getline(fields, state)) {
                    run.pid = std::stol(pid);
                    run.started = std::stoll(started);
                    run.alive = std::stoll(alive);
                    run.ended = state == "ended";
                    listing.run = run;
                }
            } else if (kind == "made") {
                std::string size, modified, changed, path;
                if (std::getline(fields, size, '\t') && std::getline(fields, modified, '\t') &&
                    std::getline(fields, changed, '\t') && std::getline(fields, path))
                    listing.files[path] = {{std::stoull(size), std::stoll(modified), std::stoll(changed)}, false};
            } else if (kind == "file") {
                std::string size, time, path;
                if (std::getline(fields, size, '\t') && std::getline(fields, time, '\t') && std::getline(fields, path))
                    listing.files[path] = {{std::stoull(size), std::stoll(time), 0}, true};
            } else if (kind == "folder") {
                std::string path;
                if (std::getline(fields, path))
                    listing.folders.insert(path);
            }
        } catch (const std::exception&) {
            // Not the runner's line: what it names stays.
        }
    }
    return listing;
}

// Whether the path is a plain file (a link, even to one, is not).
bool IsPlainFile(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Everything under `out` but the markers, sorted (a folder before what it holds). Only
// what this walk finds is ever removed: it stays inside the folder and follows no link.
// A marker's name that is no plain file is the user's, like anything else.
std::vector<fs::path> Entries(const fs::path& out, boost::system::error_code& error)
{
    std::vector<fs::path> entries;
    for (fs::recursive_directory_iterator it(out, error), end; !error && it != end; it.increment(error))
        if (it->path().parent_path() != out ||
            (it->path().filename() != kOutputMarker && it->path().filename() != kNextMarker) ||
            !IsPlainFile(it->path()))
            entries.push_back(it->path().lexically_relative(out));
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Whether the file is still as the run listed it.
bool Unchanged(const Stamp& now, const Listing::File& listed)
{
    if (listed.seconds)
        return now.size == listed.stamp.size && now.modified / 1'000'000'000 == listed.stamp.modified;
    return now.size == listed.stamp.size && now.modified == listed.stamp.modified &&
           now.changed == listed.stamp.changed;
}

struct Sorted {
    std::vector<fs::path> files;    // the runs' files, to remove
    std::vector<fs::path> folders;  // the runs' folders, removed when empty
    std::vector<fs::path> foreign;  // what no run made: anything not listed, or changed since
};

Sorted Sort(const fs::path& out, const std::vector<fs::path>& entries, const Listing& listing)
{
    Sorted sorted;
    // A run that was killed: what came while it ran is its own, listed or not.
    const bool died = listing.run && !listing.run->ended;
    const auto whileItRan = [&](const Stamp& stamp) {
        return died && stamp.changed >= listing.run->started - 1'000'000'000 &&
               stamp.changed <= listing.run->alive + kLastWords;
    };
    for (const fs::path& relative : entries) {
        const fs::path path = out / relative;
        bool regular = false;
        const auto stamp = StampOf(path, regular);
        boost::system::error_code error;
        const bool folder = fs::symlink_status(path, error).type() == fs::directory_file;
        if (stamp && folder && (listing.folders.count(relative.string()) != 0 || whileItRan(*stamp))) {
            sorted.folders.push_back(relative);
            continue;
        }
        const auto file = listing.files.find(relative.string());
        if (stamp && regular && ((file != listing.files.end() && Unchanged(*stamp, file->second)) || whileItRan(*stamp))) {
            sorted.files.push_back(relative);
            continue;
        }
        sorted.foreign.push_back(relative);
    }
    return sorted;
}

// Removes the runs' files, then their folders, the deepest first, and the unfinished
// marker a run may have left.
void Remove(const fs::path& out, const Sorted& sorted)
{
    boost::system::error_code error;
    for (const fs::path& file : sorted.files)
        fs::remove(out / file, error);
    for (auto it = sorted.folders.rbegin(); it != sorted.folders.rend(); ++it)
        if (fs::is_empty(out / *it, error) && !error)
            fs::remove(out / *it, error);
    fs::remove(out / kNextMarker, error);
}

std::string TimeOfDay(std::int64_t nanoseconds)
{
    const std::time_t seconds = static_cast<std::time_t>(nanoseconds / 1'000'000'000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Them(std::size_t count) { return count > 1 ? "them" : "it"; }

std::string AndMore(std::size_t count)
{
    return count > 1 ? " and " + std::to_string(count - 1) + " more" : std::string();
}

}  // namespace

RunFolder::RunFolder(fs::path out, int lock) : out_(std::move(out)), lock_(lock), started_(Now()) {}

RunFolder::~RunFolder() { ::close(lock_); }

std::variant<std::unique_ptr<RunFolder>, std::string> RunFolder::Take(const fs::path& out, std::uintmax_t needBytes)
{
    const std::string name = out.string();
    boost::system::error_code error;
    const fs::file_status status = fs::status(out, error);
    if (status.type() == fs::file_not_found) {
        fs::create_directories(out, error);
        if (error)
            return "the output folder " + name + " cannot be made: " + Reason(error);
    } else if (error) {
        return "the output folder " + name + " cannot be looked at: " + Reason(error);
    } else if (status.type() != fs::directory_file) {
        return name + " is a file, not a folder; give a new or empty folder with --out";
    }

    // Held until the run ends; the system lets go of it however the run ends.
    const int lock = ::open(out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock < 0)
        return "the output folder " + name + " cannot be read: " + std::strerror(errno);
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        ::close(lock);
        if (reason != EWOULDBLOCK)
            return "the output folder " + name + " cannot be locked: " + std::strerror(reason);
        const Listing listing = ReadListing(out / kOutputMarker);
        std::string holder = "another run";
        if (listing.run && !listing.run->ended)
            holder = "the run of process " + std::to_string(listing.run->pid) + ", started " +
                     TimeOfDay(listing.run->started);
        return "the output folder " + name + " is in use by " + holder +
               "; nothing in it was touched; wait until it ends or give another folder with --out";
    }
    std::unique_ptr<RunFolder> folder(new RunFolder(out, lock));

    const std::vector<fs::path> entries = Entries(out, error);
    if (error)
        return "the output folder " + name + " cannot be read: " + Reason(error);
    if (IsPlainFile(out / kOutputMarker)) {
        // An earlier run's folder: its files go only when nothing else is in it.
        const Sorted sorted = Sort(out, entries, ReadListing(out / kOutputMarker));
        if (!sorted.foreign.empty())
            return name + " is an earlier run's folder, but " + (out / sorted.foreign.front()).string() +
                   AndMore(sorted.foreign.size()) + " in it did not come from that run, so nothing was removed; move " +
                   Them(sorted.foreign.size()) + " away or give another folder with --out";
        Remove(out, sorted);
    } else if (!entries.empty()) {
        return name + " holds " + (out / entries.front()).string() + AndMore(entries.size()) +
               " and is no earlier run's folder, so nothing was removed; give a new or empty folder with --out";
    }

    const fs::space_info space = fs::space(out, error);
    if (!error && space.available < needBytes)
        return name + " has " + std::to_string(space.available / (1024 * 1024)) + " MB free; the run needs about " +
               std::to_string((needBytes + 1024 * 1024 - 1) / (1024 * 1024)) + " MB";
    // Before anything is made: a run killed from here on is known as this one.
    if (const auto written = folder->Record(false))
        return *written;
    return folder;
}

std::optional<std::string> RunFolder::Record(bool ended)
{
    std::lock_guard lock(mutex_);
    boost::system::error_code error;
    std::ostringstream text;
    text << kHeader << '\n'
         << "run\t" << ::getpid() << '\t' << started_ << '\t' << Now() << '\t' << (ended ? "ended" : "running") << '\n';
    const std::vector<fs::path> entries = Entries(out_, error);
    // A walk that broke off (the add-on removed a file meanwhile) would leave out what
    // it did not reach: the marker before it stays, and the next record comes soon.
    if (error)
        return ended ? std::optional<std::string>("the output folder " + out_.string() +
                                                  " cannot be listed: " + Reason(error))
                     : std::nullopt;
    for (const fs::path& relative : entries) {
        const std::string path = relative.string();
        if (path.find('\n') != std::string::npos)
            continue;
        bool regular = false;
        const auto stamp = StampOf(out_ / relative, regular);
        if (!stamp)
            continue;
        if (fs::symlink_status(out_ / relative, error).type() == fs::directory_file)
            text << "folder\t" << path << '\n';
        else if (regular)
            text << "made\t" << stamp->size << '\t' << stamp->modified << '\t' << stamp->changed << '\t' << path << '\n';
    }
    // Written whole or not at all: an earlier marker stays until the new one is complete.
    // The new one is a file of its own, made afresh, never one a link leads to.
    const fs::path marker = out_ / kOutputMarker;
    const fs::path next = out_ / kNextMarker;
    if (IsPlainFile(next))
        ::unlink(next.c_str());
    std::string failure;
    if (const int file = ::open(next.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644); file < 0) {
        failure = std::strerror(errno);
    } else {
        const std::string bytes = text.str();
        for (std::size_t done = 0; done < bytes.size() && failure.empty();) {
            const ssize_t n = ::write(file, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n == 0 || errno != EINTR)
                failure = n == 0 ? "nothing more could be written" : std::strerror(errno);
        }
        if (::close(file) != 0 && failure.empty())
            failure = std::strerror(errno);
        if (!failure.empty())
            ::unlink(next.c_str());
    }
    if (!failure.empty())
        return "the output folder " + out_.string() + " cannot be written: " + failure;
    fs::rename(next, marker, error);
    if (error) {
        boost::system::error_code ignored;
        fs::remove(next, ignored);
        return "the output folder " + out_.string() + " cannot be written: " + Reason(error);
    }
    return std::nullopt;
}

}  // namespace tarvel::runner
