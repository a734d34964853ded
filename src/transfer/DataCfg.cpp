#include "transfer/DataCfg.hpp"

#include "ostrel/Text.hpp"
#include "ostrel/interop/Interop.hpp"

#include <istream>

namespace tarvel {
namespace {

std::string Trim(const std::string& text)
{
    const char* space = " \t\r\n\v\f";
    const std::size_t begin = text.find_first_not_of(space);
    if (begin == std::string::npos)
        return "";
    const std::size_t end = text.find_last_not_of(space);
    return text.substr(begin, end - begin + 1);
}

}  // namespace

void ReadDataCfg(std::istream& in, ConfigEntries& entries)
{
    entries.clear();
    std::string line;
    // A long line is read whole and cut, so the next line starts where it should.
    while (std::getline(in, line)) {
        if (line.size() > kMaxConfigLine)
            line.resize(kMaxConfigLine);
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        entries.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
}

void LoadDataCfg(ConfigEntries& entries)
{
    entries.clear();
    std::ifstream in = ostrel::OpenInputStream(
        ostrel::WStringToPath(ostrel::ac::interop::GetAddOnFolderFilePath(L"data.cfg")));
    if (!in.is_open())
        return;
    ReadDataCfg(in, entries);
}

std::string GetConfigValue(const ConfigEntries& entries, const std::string& key, const std::string& defaultValue)
{
    for (const auto& [k, v] : entries)
        if (k == key)
            return v;
    return defaultValue;
}

}  // namespace tarvel
