// cad2gdl: loads one CAD-data file into the product database and prints the GDL
// master text and 3D text the add-on generates for it, running inside the stand-in
// host like the add-on does.
//
// See kHelp for the options and the exit statuses.
#include "HostSession.hpp"

#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"

#include <json/json.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
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

constexpr const char* kUsage = "usage: cad2gdl [--master | --3d | --json] FILE\n";
constexpr const char* kHelp =
    "Loads a CAD data file into the product database and prints the GDL texts the add-on\n"
    "generates for it: the master script, a separating comment line, then the 3D script.\n"
    "The Session Report's lines go to standard error.\n"
    "\n"
    "  --master  only the master script\n"
    "  --3d      only the 3D script\n"
    "  --json    one JSON object: master, script, report, alerts, exception, valid\n"
    "  --help    this text\n"
    "\n"
    "Exit status (the same with --json): 0 the import was whole and the scripts were\n"
    "generated; 1 the file could not be read (missing, a folder, unreadable, no geom\n"
    "element) or generation failed; 2 wrong options; 3 the import was not whole (the file\n"
    "is cut, broken or not well-formed XML); 4 the import was whole but not all of it was\n"
    "made as written (a solid was refused, a reference named nothing, a number was not\n"
    "plain; the report's warnings say which). With 3 and 4 what was generated is printed\n"
    "all the same, with the report's lines.\n";

// The separator between the two scripts; a comment in GDL.
constexpr const char* kSeparator = "! ---------------- 3D script ----------------\n";

int Usage(const std::string& wrong)
{
    std::cerr << "cad2gdl: " << wrong << '\n' << kUsage;
    return 2;
}

// What keeps the file from being read, or nothing.
std::optional<std::string> Unreadable(const char* file)
{
    struct stat info {};
    if (stat(file, &info) != 0)
        return std::string(file) + (errno == ENOENT ? " does not exist" : ": " + std::string(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        return std::string(file) + " is a folder, not a CAD data file";
    if (access(file, R_OK) != 0)
        return std::string(file) + " cannot be read: " + std::strerror(errno);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    bool master = true;
    bool script = true;
    const char* mode = nullptr;
    const char* file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << '\n' << kHelp;
            return 0;
        }
        if (arg == "--json" || arg == "--master" || arg == "--3d") {
            if (mode != nullptr)
                return Usage(mode == arg ? arg + " is given twice" : std::string(mode) + " and " + arg + " exclude each other");
            mode = argv[i];
            json = arg == "--json";
            master = arg != "--3d";
            script = arg != "--master";
        } else if (arg.rfind("--", 0) == 0) {
            return Usage("unknown option " + arg);
        } else if (file == nullptr) {
            file = argv[i];
        } else {
            return Usage("one file at a time");
        }
    }
    if (file == nullptr)
        return Usage("no file given");
    if (const auto wrong = Unreadable(file); wrong && !json) {
        std::cerr << "cad2gdl: " << *wrong << '\n';
        return 1;
    }

    tarvel::tools::HostSession session;
    std::optional<std::string> exception;
    tarvel::GdlWriter writer;
    bool valid = false;
    std::size_t losses = 0;
    try {
        tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile(file);
        valid = database.valid;
        losses = database.lossWarnings;
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
        if (master)
            writer.WriteMasterScript(std::cout);
        if (master && script)
            std::cout << kSeparator;
        if (script)
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
    if (exception)
        return 1;
    if (!valid) {
        if (!json)
            std::cerr << "cad2gdl: the import of " << file << " was not whole; the scripts above are incomplete\n";
        return 3;
    }
    if (losses + writer.refusedSolids > 0) {
        if (!json)
            std::cerr << "cad2gdl: not all of " << file << " was made as written; the warnings above say what\n";
        return 4;
    }
    return 0;
}
