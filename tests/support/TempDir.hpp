#pragma once

#include <boost/filesystem/path.hpp>

#include <string>
#include <vector>

namespace tarvel::testing {

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const boost::filesystem::path& Path() const { return path_; }
    std::string Utf8() const { return path_.string(); }

private:
    boost::filesystem::path path_;
};

// Whole-file helpers for fixtures.
std::string ReadFile(const boost::filesystem::path& path);
void WriteFile(const boost::filesystem::path& path, const std::string& bytes);
// The names of what a folder holds, sorted.
std::vector<std::string> FileNames(const boost::filesystem::path& folder);

// Whether the text holds the part (a refusal's or a page's wording).
inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace tarvel::testing
