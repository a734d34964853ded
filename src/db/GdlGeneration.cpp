#include "db/GdlGeneration.hpp"

#include <algorithm>
#include <functional>
#include <vector>

namespace tarvel {
namespace {

constexpr const char* kMasterPreamble[] = {
    "DEFINE EMPTY_FILL \"Background\" FILLTYPES_MASK 7",
    "DIM\ttmp_C4D_ShNoise_Color1_5[3]",
    "  tmp_C4D_ShNoise_Color1_5[1] = 0.3367346938776",
    "  tmp_C4D_ShNoise_Color1_5[2] = 0.3367346938776",
    "  tmp_C4D_ShNoise_Color1_5[3] = 0.3367346938776",
    "DIM\ttmp_C4D_ShNoise_RelativeScale_5[3]",
    "  tmp_C4D_ShNoise_RelativeScale_5[1] = 1",
    "  tmp_C4D_ShNoise_RelativeScale_5[2] = 3.55",
    "  tmp_C4D_ShNoise_RelativeScale_5[3] = 1",
    "DIM\ttmp_C4D_ChCol_Color[3]",
    "",
};

double UnitDivisor(const std::wstring& unit, double current)
{
    if (unit == L"mm")
        return 1000;
    if (unit == L"cm")
        return 100;
    if (unit == L"dm")
        return 10;
    if (unit == L"m")
        return 1;
    return current;
}

}  // namespace

void GenerateGdlFromDatabase(const TarvelDB& database, GdlWriter& writer)
{
    for (const char* line : kMasterPreamble)
        writer.AppendMasterUtf8(line);
    for (const auto& material : database.materials)
        if (material)
            material->EmitGDL(writer);

    writer.unitDivisor = UnitDivisor(database.unit, writer.unitDivisor);
    AssignResultIds(database, writer);

    for (const char* line : {"BODY -1", "MODEL SOLID", "PEN 1", "MATERIAL 0", ""})
        writer.AppendUtf8(line);

    // A root is an assembly that no other listed assembly lists (by identity). The
    // listed children are kept sorted in one flat list: a file has thousands of them.
    std::vector<const Element*> listedByOther;
    for (const auto& assembly : database.assemblies) {
        if (!assembly)
            continue;
        for (const auto& child : assembly->children)
            if (child && child.get() != assembly.get())
                listedByOther.push_back(child.get());
    }
    std::sort(listedByOther.begin(), listedByOther.end(), std::less<const Element*>());
    for (const auto& assembly : database.assemblies) {
        if (!assembly || std::binary_search(listedByOther.begin(), listedByOther.end(),
                                            static_cast<const Element*>(assembly.get()), std::less<const Element*>()))
            continue;
        assembly->EmitGDL(writer);
        // Nothing below changes the names: they are read in place.
        for (const auto& name : writer.groupNames) {
            if (name.empty())
                continue;
            std::string& line = writer.Scratch();
            line.assign("PLACEGROUP ");
            AppendUtf8Of(line, name);
            writer.AppendUtf8(line);
            writer.AppendUtf8("");
        }
    }
}

}  // namespace tarvel
