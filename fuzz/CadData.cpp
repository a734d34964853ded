// The CAD-data import with the GDL generation: any file must load (or be refused with
// a report or an exception) and generate within the writer's bounds, never crash. A
// file that is not well-formed XML, in whatever encoding, is refused with its report.
#include "FuzzSupport.hpp"

#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"

#include <exception>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tarvel::fuzz::StartHost();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path =
        tarvel::fuzz::WriteScratchFile("cad.xml", std::string_view(reinterpret_cast<const char*>(data), size));
    try {
        const tarvel::TarvelDB database = tarvel::TarvelDB::LoadFromFile(path);
        tarvel::GdlWriter writer;
        // Small bounds: an input that asks for more text is refused just the same, sooner.
        writer.textLimit = std::size_t{8} << 20;
        writer.emissionLimit = 100000;
        tarvel::GenerateGdlFromDatabase(database, writer);
        (void)writer.GetMasterScript();
        (void)writer.GetScript();
    } catch (const std::exception&) {
        // A refused file: no "geom", or a generation past its bounds.
    }
    tarvel::fuzz::ClearReport();
    return 0;
}
