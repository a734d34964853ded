// "data.cfg" beside the add-on file: installation-wide key=value settings, read
// afresh, whole, each time one is needed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace tarvel {

using ConfigEntries = std::vector<std::pair<std::string, std::string>>;

// Longest line content kept; the rest of a longer line is dropped.
constexpr std::size_t kMaxConfigLine = 254;

// Empties the entries, then fills them from the file in file order; a missing or
// unreadable file leaves them empty.
void LoadDataCfg(ConfigEntries& entries);
// The same from any stream (the file's reader).
void ReadDataCfg(std::istream& in, ConfigEntries& entries);
// The value of the first entry with exactly this key, or defaultValue.
std::string GetConfigValue(const ConfigEntries& entries, const std::string& key, const std::string& defaultValue);

}  // namespace tarvel
