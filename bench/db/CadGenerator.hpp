// A deterministic generator of large, realistic CAD-data files: materials, line
// styles, sketches of lines, arcs and circles, parts of every solid kind with
// placements, and a tree of assemblies that shares its parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvel::bench {

struct GeneratedCad {
    std::string xml;
    std::size_t parts = 0;
    std::size_t solids = 0;
    std::size_t assemblies = 0;
};

// About targetBytes of XML; the same seed and size give the same file.
GeneratedCad GenerateCad(std::size_t targetBytes, std::uint32_t seed = 1);

}  // namespace tarvel::bench
