// cad2gdl: loads one CAD-data file into the product database and prints the GDL
// master text and 3D text the add-on generates for it, running inside the stand-in
// host like the add-on does.
//
//   cad2gdl FILE          the master text, then the 3D text; report lines on stderr
//   cad2gdl --json FILE   {"master", "script", "report", "alerts", "exception", "valid"}
#include "HostSession.hpp"

#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"

#include <json/json.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

namespace {

// Appends the UTF-8 of a report line; plain ASCII is narrowed directly. The test and
// the copy are separate loops, each simple enough to run on whole vectors of units.
void AppendUtf8(std::string& out, const std::u16string& units)
{
    char16_t high = 0;
    for (const char16_t unit : units)
        high |= unit;
    if (high >= 0x80) {
        out += GS::UniString(units).ToUtf8();
        return;
    }
    const std::size_t at = out.size();
    out.resize(at + units.size());
    std::copy(units.begin(), units.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

std::string Utf8(const std::u16string& units)
{
    std::string text;
    AppendUtf8(text, units);
    return text;
}

int Usage()
{
    std::cerr << "usage: cad2gdl [--json] FILE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0 && !json)
            json = true;
        else if (file == nullptr)
            file = argv[i];
        else
            return Usage();
    }
    if (file == nullptr)
        return Usage();

    tarvel::tools::HostSession session;
    std::optional<std::string> exception;
    tarvel::GdlWriter writer;
    bool valid = false;
    try {
        tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile(file);
        valid = database.valid;
        // Whatever was generated before an error is printed too.
        tarvel::GenerateGdlFromDatabase(database, writer);
    } catch (const std::exception& error) {
        exception = error.what();
    } catch (...) {
        exception = "unknown exception";
    }

    if (json) {
        Json::Value out(Json::objectValue);
        out["master"] = writer.GetMasterScript();
        out["script"] = writer.GetScript();
        out["report"] = Json::Value(Json::arrayValue);
        out["alerts"] = Json::Value(Json::arrayValue);
        session.Report().ForEach([&](const standin::ReportEntry& entry) {
            out["report"].append(Utf8(entry.text));
            if (entry.alert)
                out["alerts"].append(Utf8(entry.text));
        });
        out["exception"] = exception ? Json::Value(*exception) : Json::Value(Json::nullValue);
        out["valid"] = valid;
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        builder["emitUTF8"] = true;
        std::cout << Json::writeString(builder, out) << '\n';
    } else {
        writer.WriteMasterScript(std::cout);
        writer.WriteScript(std::cout);
        std::cout.flush();
        // The report in one write: a file can give many thousand lines.
        std::string report;
        std::size_t size = 0;
        session.Report().ForEach([&](const standin::ReportEntry& entry) { size += entry.text.size() + 8; });
        report.reserve(size);
        session.Report().ForEach([&](const standin::ReportEntry& entry) {
            report += entry.alert ? "alert: " : "report: ";
            AppendUtf8(report, entry.text);
            report += '\n';
        });
        if (exception)
            report += "error: " + *exception + '\n';
        std::cerr.write(report.data(), static_cast<std::streamsize>(report.size()));
    }
    return exception ? 1 : 0;
}
