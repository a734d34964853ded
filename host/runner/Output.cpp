#include "Output.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

std::string Reason(const boost::system::error_code& error) { return error.message(); }

// A listed path must stay inside the folder.
bool Inside(const fs::path& relative)
{
    if (relative.empty() || relative.is_absolute() || relative.has_root_path())
        return false;
    return std::none_of(relative.begin(), relative.end(), [](const fs::path& part) { return part == ".."; });
}

struct Listing {
    // File: its size and time; a folder is listed without them.
    std::map<std::string, std::pair<std::uintmax_t, std::time_t>> files;
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
        if (kind == "file") {
            std::string size, time, path;
            if (std::getline(fields, size, '\t') && std::getline(fields, time, '\t') && std::getline(fields, path) &&
                Inside(path)) {
                try {
                    listing.files[path] = {std::stoull(size), static_cast<std::time_t>(std::stoll(time))};
                } catch (const std::exception&) {
                    // Not the runner's line: what it names stays.
                }
            }
        } else if (kind == "folder") {
            std::string path;
            if (std::getline(fields, path) && Inside(path))
                listing.folders.insert(path);
        }
    }
    return listing;
}

// Everything under `out` but the marker, in the walk's order.
std::vector<fs::path> Entries(const fs::path& out, boost::system::error_code& error)
{
    std::vector<fs::path> entries;
    for (fs::recursive_directory_iterator it(out, error), end; !error && it != end; it.increment(error))
        if (it->path().parent_path() != out ||
            (it->path().filename() != kOutputMarker && it->path().filename() != kNextMarker))
            entries.push_back(it->path().lexically_relative(out));
    return entries;
}

// A listed file that is still as the run left it.
bool Unchanged(const fs::path& file, const std::pair<std::uintmax_t, std::time_t>& sizeAndTime)
{
    boost::system::error_code error;
    return fs::symlink_status(file, error).type() == fs::regular_file &&
           fs::file_size(file, error) == sizeAndTime.first && !error &&
           fs::last_write_time(file, error) == sizeAndTime.second && !error;
}

// What in the folder no run made: anything not listed, or changed since.
std::vector<fs::path> Foreign(const fs::path& out, const std::vector<fs::path>& entries, const Listing& listing)
{
    std::vector<fs::path> foreign;
    boost::system::error_code error;
    for (const fs::path& relative : entries) {
        const fs::path path = out / relative;
        if (fs::symlink_status(path, error).type() == fs::directory_file && listing.folders.count(relative.string()))
            continue;
        const auto file = listing.files.find(relative.string());
        if (file != listing.files.end() && Unchanged(path, file->second))
            continue;
        foreign.push_back(relative);
    }
    return foreign;
}

// Removes the listed files, then the listed folders, the deepest first.
void RemoveListed(const fs::path& out, const Listing& listing)
{
    boost::system::error_code error;
    for (const auto& [path, sizeAndTime] : listing.files)
        if (Unchanged(out / path, sizeAndTime))
            fs::remove(out / path, error);
    for (auto it = listing.folders.rbegin(); it != listing.folders.rend(); ++it) {
        const fs::path folder = out / *it;
        if (fs::symlink_status(folder, error).type() == fs::directory_file && fs::is_empty(folder, error))
            fs::remove(folder, error);
    }
}

}  // namespace

std::optional<std::string> PrepareOutput(const fs::path& out, std::uintmax_t needBytes)
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
    } else if (fs::exists(out / kOutputMarker, error)) {
        // An earlier run's folder: its files go only when nothing else is in it.
        const Listing listing = ReadListing(out / kOutputMarker);
        const std::vector<fs::path> entries = Entries(out, error);
        if (error)
            return "the output folder " + name + " cannot be read: " + Reason(error);
        const std::vector<fs::path> foreign = Foreign(out, entries, listing);
        if (!foreign.empty())
            return name + " is an earlier run's folder, but " + (out / foreign.front()).string() +
                   (foreign.size() > 1 ? " and " + std::to_string(foreign.size() - 1) + " more files"
                                       : std::string()) +
                   " in it did not come from that run, so nothing was removed; move " +
                   (foreign.size() > 1 ? "them" : "it") + " away or give another folder with --out";
        RemoveListed(out, listing);
    } else {
        const bool empty = fs::is_empty(out, error);
        if (error)
            return "the output folder " + name + " cannot be read: " + Reason(error);
        if (!empty)
            return name + " holds files and is no earlier run's folder; give a new or empty folder with --out";
    }

    if (const auto written = RecordOutput(out))
        return written;
    const fs::space_info space = fs::space(out, error);
    if (!error && space.available < needBytes)
        return name + " has " + std::to_string(space.available / (1024 * 1024)) + " MB free; the run needs about " +
               std::to_string((needBytes + 1024 * 1024 - 1) / (1024 * 1024)) + " MB";
    return std::nullopt;
}

std::optional<std::string> RecordOutput(const fs::path& out)
{
    boost::system::error_code error;
    std::ostringstream text;
    text << kHeader << '\n';
    for (const fs::path& relative : Entries(out, error)) {
        const fs::path path = out / relative;
        boost::system::error_code entryError;
        const fs::file_type type = fs::symlink_status(path, entryError).type();
        if (type == fs::directory_file) {
            text << "folder\t" << relative.string() << '\n';
        } else if (type == fs::regular_file) {
            const std::uintmax_t size = fs::file_size(path, entryError);
            const std::time_t time = fs::last_write_time(path, entryError);
            if (!entryError && relative.string().find('\n') == std::string::npos)
                text << "file\t" << size << '\t' << time << '\t' << relative.string() << '\n';
        }
    }
    // Written whole or not at all: an earlier marker stays until the new one is complete.
    const fs::path marker = out / kOutputMarker;
    const fs::path next = out / kNextMarker;
    {
        std::ofstream file(next.string(), std::ios::binary | std::ios::trunc);
        const std::string bytes = text.str();
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        if (!file) {
            const std::string reason = std::strerror(errno);
            fs::remove(next, error);
            return "the output folder " + out.string() + " cannot be written: " + reason;
        }
    }
    fs::rename(next, marker, error);
    if (error) {
        boost::system::error_code ignored;
        fs::remove(next, ignored);
        return "the output folder " + out.string() + " cannot be written: " + Reason(error);
    }
    return std::nullopt;
}

}  // namespace tarvel::runner
