// The run's output folder. A run holds a lock on it while it runs, so that a second
// run into it is refused at once, and keeps a marker file in it that lists every file
// and folder the run made (with each file's size and times) and whether the run ended,
// so that the next run into the same folder removes exactly those and nothing of the
// user's, also after a run that was killed.
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace tarvel::runner {

// The marker file in a run's folder.
constexpr const char* kOutputMarker = ".tarvel-run";

class RunFolder {
public:
    // Takes `out` for this run: a new folder is made, an empty one taken, an earlier
    // run's own files removed; it must be writable with at least `needBytes` free.
    // Answers the folder, held until it is destroyed, or what is wrong in one line;
    // then nothing was removed that a run did not make, and a folder another run
    // holds was not touched.
    static std::variant<std::unique_ptr<RunFolder>, std::string> Take(const boost::filesystem::path& out,
                                                                      std::uintmax_t needBytes);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // Writes the marker with everything now in the folder; `ended` once the run has
    // made all it makes. From any thread. Answers what went wrong, if anything; a
    // folder that could not be walked whole keeps its earlier marker.
    std::optional<std::string> Record(bool ended);

private:
    RunFolder(boost::filesystem::path out, int lock);

    const boost::filesystem::path out_;
    const int lock_;
    const std::int64_t started_;
    std::mutex mutex_;
};

}  // namespace tarvel::runner
