// A deterministic generator of large, realistic CAD-data files: materials, line
// styles, sketches of lines, arcs and circles, parts of every solid kind with
// placements, and a tree of assemblies that shares its parts.
//
// Two kinds: a regular file, complete and tidy; and a rough one, as real exports
// come: a missing optional value about every 900 bytes, elements the import does
// not know, deep assemblies, many sketches and materials, and two solids in five
// extruded or revolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel::bench {

enum class CadKind { Regular, Rough };

struct GeneratedCad {
    std::string xml;
    std::size_t parts = 0;
    std::size_t solids = 0;
    std::size_t assemblies = 0;
    std::size_t components = 0;
    std::size_t sketches = 0;
    std::size_t materials = 0;
    std::size_t omissions = 0;  // optional values left out (rough files)
    std::size_t unknown = 0;    // elements of names the import does not know (rough files)
    std::size_t depth = 0;      // levels of assemblies
};

// About targetBytes of XML; the same seed and size give the same file.
GeneratedCad GenerateCad(std::size_t targetBytes, std::uint32_t seed = 1);
GeneratedCad GenerateRoughCad(std::size_t targetBytes, std::uint32_t seed = 1);
inline GeneratedCad GenerateCad(CadKind kind, std::size_t targetBytes, std::uint32_t seed = 1)
{
    return kind == CadKind::Rough ? GenerateRoughCad(targetBytes, seed) : GenerateCad(targetBytes, seed);
}

}  // namespace tarvel::bench
