// The run's output folder. A run leaves a marker file in it that lists every file and
// folder the run made (with each file's size and time), so that the next run into the
// same folder removes exactly those and nothing of the user's.
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace tarvel::runner {

// The marker file in a run's folder.
constexpr const char* kOutputMarker = ".tarvel-run";

// Makes `out` ready for a run: a new folder is made, an empty one taken, an earlier
// run's own files removed. It must be writable with at least `needBytes` free. Answers
// what is wrong, in one line, when the folder cannot be used; then nothing was removed
// that the runner did not make.
std::optional<std::string> PrepareOutput(const boost::filesystem::path& out, std::uintmax_t needBytes);

// Writes the marker with everything now in `out`; answers what went wrong, if anything.
std::optional<std::string> RecordOutput(const boost::filesystem::path& out);

}  // namespace tarvel::runner
