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

#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

namespace {

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
    std::string master;
    std::string script;
    bool valid = false;
    try {
        tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile(file);
        valid = database.valid;
        tarvel::GdlWriter writer;
        try {
            tarvel::GenerateGdlFromDatabase(database, writer);
        } catch (...) {
            master = writer.GetMasterScript();
            script = writer.GetScript();
            throw;
        }
        master = writer.GetMasterScript();
        script = writer.GetScript();
    } catch (const std::exception& error) {
        exception = error.what();
    } catch (...) {
        exception = "unknown exception";
    }

    const auto entries = session.Report().Entries();
    if (json) {
        Json::Value out(Json::objectValue);
        out["master"] = master;
        out["script"] = script;
        out["report"] = Json::Value(Json::arrayValue);
        for (const auto& line : session.Report().Lines())
            out["report"].append(line);
        out["alerts"] = Json::Value(Json::arrayValue);
        for (const auto& alert : session.Report().Alerts())
            out["alerts"].append(alert);
        out["exception"] = exception ? Json::Value(*exception) : Json::Value(Json::nullValue);
        out["valid"] = valid;
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        builder["emitUTF8"] = true;
        std::cout << Json::writeString(builder, out) << '\n';
    } else {
        std::cout << master << script;
        const auto lines = session.Report().Lines();
        for (std::size_t i = 0; i < lines.size() && i < entries.size(); ++i)
            std::cerr << (entries[i].alert ? "alert: " : "report: ") << lines[i] << '\n';
        if (exception)
            std::cerr << "error: " << *exception << '\n';
    }
    return exception ? 1 : 0;
}
