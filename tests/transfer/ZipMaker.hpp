// Zip archives built for tests.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::testing {

// A zip archive of the entries, built with minizip (deflated, or stored when asked).
std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries, bool store = false);
// A small archive whose `entries` directory entries ("001", "002", ...) all point at
// one deflated run of `zeros` zero bytes: it unpacks to entries x zeros bytes.
std::string MakeOverlappingZip(int entries, std::size_t zeros);

}  // namespace tarvel::testing
