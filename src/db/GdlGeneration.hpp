// The GDL generation: the master text (preamble and materials) and the 3D text
// (header, root assemblies and their placement) of one product database.
#pragma once

#include "db/GdlWriter.hpp"
#include "db/TarvelDB.hpp"

namespace tarvel {

// The writer as a fresh one. Throws what an emission throws (GdlGenerationException
// past the writer's bounds); the texts then hold what was written up to there.
void GenerateGdlFromDatabase(const TarvelDB& database, GdlWriter& writer);

}  // namespace tarvel

using tarvel::GenerateGdlFromDatabase;
