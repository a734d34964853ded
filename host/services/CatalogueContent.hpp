// What the online services hold, served by a CatalogueServer: the repository's
// profile file and repository files, library logos, the update changelog and the
// installer. The standard catalogue fills a server with all of it; tests build their
// own variants from the same pieces.
#pragma once

#include "CatalogueServer.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace standin::services {

// Small pictures of one colour (0xRRGGBB): a PNG file and a baseline JPEG file.
std::string MakePng(int width, int height, std::uint32_t rgb);
std::string MakeJpeg(int width, int height, std::uint32_t rgb);

struct RepositoryLibrary {
    std::string id;
    // Culture code ("en-GB") to text.
    std::map<std::string, std::string> names;
    std::map<std::string, std::string> descriptions;
    std::string baseUrl;
    // Absolute address of the logo; empty: the member is left out.
    std::string logo;
    std::vector<std::string> targets{"archicad"};
};

struct RepositoryCustomer {
    std::string name;
    std::vector<RepositoryLibrary> libraries;
};

// The repository file: {"repository": {"customers": [{"name", "libraries": [...]}]}}.
std::string RepositoryJson(const std::vector<RepositoryCustomer>& customers);
// The profile file crs.json: {"storage": {"profiles": [{"id", "repository"}]}}.
std::string ProfilesJson(const std::vector<std::pair<std::string, std::string>>& idAndRepository);
// The changelog: one change set per version, in order, each with its product_version
// and a download_url.
std::string ChangelogXml(const std::vector<std::string>& versions);

// The paths the add-on asks for.
constexpr const char* kProfilesPath = "/repository/crs.json";
constexpr const char* kRepositoryPath = "/repository/repository.json";
constexpr const char* kChangelogPath = "/api/changelog";
constexpr const char* kInstallerPath = "/api/update";

// The standard catalogue's content, for a server at the given base URL.
struct StandardCatalogue {
    std::vector<std::pair<std::string, std::string>> profiles;  // id, repository address
    std::vector<RepositoryCustomer> customers;                   // of repository.json
    std::vector<RepositoryCustomer> nordicCustomers;             // of the NORDIC profile's file
    std::map<std::string, std::string> logos;                    // path to picture bytes
    std::vector<std::string> changelogVersions;
    std::string installer;
};
StandardCatalogue MakeStandardCatalogue(const CatalogueServer& server);

// Serves the standard catalogue (crs.json with the profiles TARVEL and NORDIC, their
// repository files, the logos, the changelog and the installer) on the server.
void AddStandardCatalogue(CatalogueServer& server);
// Serves the given content, which may be a changed standard catalogue.
void AddCatalogue(CatalogueServer& server, const StandardCatalogue& catalogue);

}  // namespace standin::services
