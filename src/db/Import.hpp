// The CAD-data import: the readers of the database's value types, the import's
// warning report and the import of a "geom" element into a database.
#pragma once

#include "db/Entities.hpp"
#include "db/TarvelDB.hpp"

#include "ostrel/importers/XmlImport.hpp"

#include <pugixml.hpp>

#include <string>

namespace ostrel::importers {

template <>
struct TypeLabel<tarvel::RGBColor> {
    static constexpr const char* value = "struct tarvel::RGBColor";
};
template <>
struct TypeLabel<tarvel::Style2D> {
    static constexpr const char* value = "class tarvel::Style2D";
};
template <>
struct TypeLabel<tarvel::Style3D> {
    static constexpr const char* value = "class tarvel::Style3D";
};
template <>
struct TypeLabel<std::wstring> {
    static constexpr const char* value =
        "class std::basic_string<char16_t,struct std::char_traits<char16_t>,class std::allocator<char16_t> >";
};

// "@blue", "@green", "@red", each optional.
template <>
tarvel::RGBColor ImportFromNode<tarvel::RGBColor>(const pugi::xml_node& element);
// "@colBlue", "@colGreen", "@colRed", "@layer", each optional.
template <>
tarvel::Style3D ImportFromNode<tarvel::Style3D>(const pugi::xml_node& element);

}  // namespace ostrel::importers

namespace tarvel {

// Readers that need the import's registry; found by the framework's Import<T>
// (element, query, context) through the context's namespace.
template <typename T>
T ImportFromNode(const pugi::xml_node& element, ImportContext& context);
// "@lineStyle" (looked up as a line style) and "@layer", each optional.
template <>
Style2D ImportFromNode<Style2D>(const pugi::xml_node& element, ImportContext& context);

// The warning for a missing optional value: "cad data xml import warning: empty "
// + query + ", node=" + element name, to the Session Report without an alert.
void ReportEmptyValue(const char* nodeName, const char* query);
// "cad data xml import warning: " + text: something the file asks that the database
// does not hold as written (a reference that names nothing, a number that is not
// plain). The import counts these in the database's lossWarnings.
void ReportImportWarning(const std::string& text);
// "not a plain number in " + query + ", node=" + element name, as ReportImportWarning.
void ReportNotPlainNumber(const char* nodeName, const char* query);

// Reads the sections of a "geom" element into the database, in their fixed order,
// and sets valid last. A reader error leaves by its exception with the database
// filled up to the element being read.
void ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom, TarvelDB& database);
TarvelDB ImportTarvelDB(ImportContext& context, const pugi::xml_node& geom);

}  // namespace tarvel
