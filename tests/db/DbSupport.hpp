// Helpers of the database tests: CAD-data fixtures written to files and loaded
// inside the stand-in host, GDL text split into lines.
#pragma once

#include "HostFixture.hpp"

#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"

#include <string>
#include <vector>

namespace tarvel::testing {

// The lines of a text whose every line ends with a line feed (the last, empty
// element after the final line feed is dropped).
std::vector<std::string> SplitLines(const std::string& text);

// A "geom" document around the given body.
std::string Geom(const std::string& body);

class DbFixture : public HostFixture {
protected:
    std::string WriteCad(const std::string& xml, const std::string& name = "cad.xml");
    TarvelDB LoadXml(const std::string& xml) { return TarvelDB::LoadFromFile(WriteCad(xml)); }
    // The report lines (alerts included) in order.
    std::vector<std::string> ReportLines() { return Report().Lines(); }
    std::vector<std::string> Warnings();  // only the import warning lines
};

// The 3D text of a database, generated with a fresh writer.
std::string Script(const TarvelDB& database);

}  // namespace tarvel::testing
