// Seeded random CAD-data documents for the checker: every entity kind, every
// operation and mode, shared and repeated children, odd values and odd ids.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel::testing {

std::string RandomCad(std::uint32_t seed);

}  // namespace tarvel::testing
