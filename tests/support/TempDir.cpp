#include "TempDir.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarvel::testing {

TempDir::TempDir()
{
    path_ = boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("tarvel-%%%%-%%%%-%%%%");
    boost::filesystem::create_directories(path_);
}

TempDir::~TempDir()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const boost::filesystem::path& path)
{
    std::ifstream in(path.string(), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const boost::filesystem::path& path, const std::string& bytes)
{
    boost::filesystem::create_directories(path.parent_path());
    std::ofstream out(path.string(), std::ios::binary);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> FileNames(const boost::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : boost::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tarvel::testing
