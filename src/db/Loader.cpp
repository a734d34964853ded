#include "db/Import.hpp"

#include "ostrel/Exceptions.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/importers/WellFormed.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <utf8.h>

#include <cstring>
#include <fstream>
#include <new>

namespace tarvel {
namespace {

void ReportImportError(const char* text) noexcept
{
    try {
        HostApi_Report(GS::UniString(text != nullptr && *text != '\0' ? text : "Unknown exception", GS::CC_Default),
                       false);
        HostApi_Report(GS::UniString("An error has occured while reading the database! See 'Session Report' for "
                                     "further details!",
                                     GS::CC_Default),
                       true);
    } catch (...) {
        // Out of memory for the report itself: the database stays marked not valid.
    }
}

pugi::xml_node DocumentElement(const pugi::xml_document& document, const char* name)
{
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element && std::strcmp(child.name(), name) == 0)
            return child;
    return pugi::xml_node();
}

}  // namespace

TarvelDB TarvelDB::LoadFromFile(const std::string& utf8Path)
{
    boost::filesystem::path path;
    try {
        path = ostrel::Utf8StringToPath(utf8Path);
    } catch (const utf8::exception&) {
        // A path that is no UTF-8 names no file that could be opened.
        throw ostrel::FileNotFoundException(utf8Path);
    }
    std::ifstream stream = ostrel::OpenInputStream(path);
    // A folder opens as a stream here (not on the host's system) but holds no file:
    // read as one it would be taken for a file too large to read.
    boost::system::error_code notFolder;
    if (!stream.is_open() || boost::filesystem::is_directory(path, notFolder))
        throw ostrel::FileNotFoundException(utf8Path);

    pugi::xml_document document;
    std::string fault;
    try {
        fault = ostrel::importers::LoadWellFormed(document, stream);
    } catch (const std::bad_alloc&) {
        throw ostrel::OstrelException("Not enough memory to read " + utf8Path);
    }
    const pugi::xml_node geom = DocumentElement(document, "geom");
    if (!geom)
        throw ostrel::OstrelException("Xml object geom not found in " + utf8Path);

    TarvelDB database;
    try {
        // A file that is not well-formed XML (a download cut short, a damaged or
        // hand-edited file) is not read at all: what the parser kept of it would
        // silently give a product with parts missing or values changed.
        if (!fault.empty())
            throw ostrel::importers::PugiXmlImportException("the CAD data is not well-formed XML: " + fault);
        ImportContext context;
        ImportTarvelDB(context, geom, database);
    } catch (const std::exception& error) {
        // Whatever stops the import (a reader's error, memory) ends it the same way:
        // reported, and the database not valid.
        database.valid = false;
        ReportImportError(error.what());
    } catch (...) {
        database.valid = false;
        ReportImportError(nullptr);
    }
    return database;
}

}  // namespace tarvel
