// What the online services hold, served by a CatalogueServer: the repository's
// profile file and repository files, library logos, the update changelog and the
// installer. The standard catalogue fills a server with all of it; tests build their
// own variants from the same pieces.
#pragma once

#include "CatalogueServer.hpp"

#include <cstdint>
#include <functional>
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

// A product of a library's catalogue: its pages, its data sheet and artifacts.
struct CatalogueProduct {
    std::string id;          // the catalogue's product id ("D-1")
    std::string name;        // shown, and the library part's name in the data sheet
    std::string group;       // product group
    std::string subtypeGid;  // the data sheet's subtype; empty for an object
    std::string modelFile;   // the configurator's model file name
    std::string culture;
    std::string section;
    double holeWidth = 0;    // openings only
    double holeHeight = 0;
    std::string cadXml;      // CAD data: one of examples/
    std::string dataSheet;   // served as the data sheet when set, in place of ProductDataSheetXml
};

// The configurator's answer to a posted configuration: the product id and the
// configuration rows (name, value) it received; a test may change them as a user
// would in the configurator.
using ConfiguratorChoice =
    std::function<void(const std::string& productId, std::vector<std::pair<std::string, std::string>>& rows)>;

// The data sheet of a product as the catalogue serves it.
std::string ProductDataSheetXml(const CatalogueProduct& product);
// The configuration rows (name, value, as UTF-8) of CAD data, read in the file's own
// encoding (a BOM, UTF-16, a declared Latin-1); none when it is no XML.
std::vector<std::pair<std::string, std::string>> CadConfigurationRows(const std::string& cadXml);
// The product's CAD data with the configuration rows' values in place of its own: the
// same bytes but for the values that changed, which are written in the file's own
// encoding (what it cannot carry as character references). CAD data that is no XML
// comes back as it is.
std::string ConfiguredCadXml(const std::string& cadXml,
                             const std::vector<std::pair<std::string, std::string>>& rows);
// The catalogue page's clipboard message for the artifacts JSON.
std::string CatalogueMessage(const std::string& artifactsJson);

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
    // Products by library id: every library's base URL serves a catalogue page, its
    // product pages and the configurator's handler page tvHandler.aspx.
    std::map<std::string, std::vector<CatalogueProduct>> products;
    // How many times a product's semaphore answers 404 before it is ready.
    int semaphoreNotReady = 1;
    ConfiguratorChoice configuratorChoice;
};
StandardCatalogue MakeStandardCatalogue(const CatalogueServer& server);

// Serves the standard catalogue (crs.json with the profiles TARVEL and NORDIC, their
// repository files, the logos, the changelog, the installer, and each library's pages
// under its base URL) on the server.
//
// Under a library's base URL: the catalogue page (with or without a query) links each
// product as "product-ID" to products/ID.html. A product page shows the product and
// its configuration and holds the element "add-to-project", which hands over the
// catalogue message of the product's artifacts (products/ID/ready, a semaphore;
// model.xml, attributes.xml, sheet.xml) in its data-clipboard attribute and its
// script. tvHandler.aspx takes the configurator's posted form and answers with the
// product page of the posted configuration, whose artifacts lie under configured/N/.
// Each library also has its callback, which the messages name.
void AddStandardCatalogue(CatalogueServer& server);
// Makes a product of the catalogue serve the user's own CAD data and data sheet (an
// empty text keeps the product's own). A data sheet that names a product id gives the
// product that id, so that the configurator knows a placed part of it; its product
// attribute name becomes the product's name on the pages. Answers the
// product's id; throws std::invalid_argument when the catalogue lacks the product.
std::string UseOwnArtifacts(StandardCatalogue& catalogue, const std::string& libraryId, const std::string& productId,
                            const std::string& cadXml, const std::string& dataSheet);

// The value of the data sheet's additional-information parameter of that id; empty
// when it has none or is no XML.
std::string DataSheetValue(const std::string& dataSheet, const std::string& id);
// What keeps the text from being read as a data sheet (no well-formed XML, another
// root or target), in words; empty when it is one.
std::string DataSheetProblem(const std::string& dataSheet);

// Adds a library for the user's own product to the repository, first, under a
// customer of its own: named `name` (or, when another library has that name, with a
// number after it), with no products yet. Answers its id.
std::string AddOwnLibrary(StandardCatalogue& catalogue, const CatalogueServer& server, const std::string& name);

// Adds a plain object (no opening subtype) of the given name with the user's CAD data
// to a library of the catalogue, with a data sheet of its own; answers its id, CAD-1.
// Throws std::invalid_argument when the catalogue lacks the library.
std::string AddOwnObject(StandardCatalogue& catalogue, const std::string& libraryId, const std::string& name,
                         const std::string& cadXml);

// Serves the given content, which may be a changed standard catalogue.
void AddCatalogue(CatalogueServer& server, const StandardCatalogue& catalogue);

}  // namespace standin::services
