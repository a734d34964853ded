#include "db/Import.hpp"

#include "ostrel/Exceptions.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"

#include <cstring>
#include <fstream>

namespace tarvel {
namespace {

void ReportImportError(const char* text)
{
    HostApi_Report(GS::UniString(text != nullptr && *text != '\0' ? text : "Unknown exception", GS::CC_Default), false);
    HostApi_Report(GS::UniString("An error has occured while reading the database! See 'Session Report' for further "
                                 "details!",
                                 GS::CC_Default),
                   true);
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
    std::ifstream stream = ostrel::OpenInputStream(ostrel::Utf8StringToPath(utf8Path));
    if (!stream.is_open())
        throw ostrel::FileNotFoundException(utf8Path);

    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load(stream);
    const pugi::xml_node geom = DocumentElement(document, "geom");
    if (!geom)
        throw ostrel::OstrelException("Xml object geom not found in " + utf8Path);

    TarvelDB database;
    ImportContext context;
    try {
        // A file that does not parse whole (a download cut short) is not read at all:
        // what the parser kept of it would silently give a product with parts missing.
        if (!parsed)
            throw ostrel::importers::PugiXmlImportException(std::string("the CAD data is not well-formed XML: ") +
                                                            parsed.description() + " at offset " +
                                                            std::to_string(parsed.offset));
        ImportTarvelDB(context, geom, database);
    } catch (const std::runtime_error& error) {
        ReportImportError(error.what());
    }
    return database;
}

}  // namespace tarvel
